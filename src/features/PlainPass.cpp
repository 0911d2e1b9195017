#include "features/PlainPass.h"

#include "platform/gis/FeatureReader.h"
#include "platform/gis/FeatureWriter.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "runctl/WorkspaceList.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

// Copies every feature of one workspace's class into the output, in file order.
void LoadFeatureclass(RunContext& ctx, const fs::path& folder, const std::string& name,
                      gis::FeatureWriter& out, PassCounts& counts) {
  InProcedure("LoadFeatureclass", [&] {
    const std::unique_ptr<gis::FeatureReader> in = OpenInput("OpenFeatureClass", folder, name);
    if (!in) {
      TellInputMissing(ctx, folder, name);
      return;
    }
    const gis::FieldMapping mapping = MapInput(ctx, out, *in);
    while (in->Next()) {
      ++counts.read;
      AddFields(out, *in, mapping);
      out.InsertStaged(*in, mapping);
      ++counts.written;
    }
  });
}

}  // namespace

PassCounts AppendPlain(RunContext& ctx, const PhasePlaces& places, const schema::FeatureClass& fc) {
  PassCounts counts;
  InProcedure("ProcessWSList", [&] {
    const fs::path outFolder = ClassFolder(ctx, places.output, fc);
    const std::unique_ptr<gis::FeatureWriter> out = OpenOutput(outFolder, fc.name);
    if (!out) {
      TellOutputMissing(ctx, outFolder, fc.name);
      return;
    }
    WorkspaceList list(ctx.files, places.list);
    std::string workspace;
    while (list.Next(workspace)) {
      StopIfCancelled(ctx);
      ShowAppending(ctx, fc.name, workspace);
      LoadFeatureclass(ctx, ClassFolder(ctx, places.input / workspace, fc), fc.name, *out, counts);
    }
    out->Close();
    counts.shapes = out->ShapesExtent();
  });
  return counts;
}

}  // namespace rivanet
