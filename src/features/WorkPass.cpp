#include "features/WorkPass.h"

#include "features/ComidSet.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/FeatureReader.h"
#include "platform/gis/FeatureWriter.h"
#include "platform/gis/GridFolder.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "runctl/WorkspaceList.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

constexpr const char* kComid = "Comid";

// The first feature of each Comid of one workspace's class goes to the output (nothing when
// the output is missing: then the features are only read, as the collecting pass would).
void LoadFeatureclassWork(RunContext& ctx, const fs::path& folder, const std::string& name,
                          gis::FeatureWriter* out, int outComid, ComidSet& seen,
                          PassCounts& counts) {
  InProcedure("LoadFeatureclassWork", [&] {
    const std::unique_ptr<gis::FeatureReader> in = OpenInput("OpenFeatureClass1", folder, name);
    if (!in) {
      TellInputMissing(ctx, folder, name);
      return;
    }
    if (in->FindField(kComid) < 0)
      throw gis::FileError(kErrInvalidArgument, name + " has no field " + kComid, in->File());
    if (out == nullptr) {
      while (in->Next()) ++counts.read;
      return;
    }
    const gis::FieldMapping mapping = MapInput(ctx, *out, *in);
    while (in->Next()) {
      ++counts.read;
      // The Comid is compared as the output field holds it.
      AddFields(*out, *in, mapping);
      const std::string_view comid = out->StagedText(outComid);
      if (InProcedure("IsInArray", [&] { return seen.SeenBefore(comid); })) {
        ++(comid.empty() ? counts.noComid : counts.duplicates);
        continue;
      }
      InProcedure("LoadFeatureclassFinal", [&] { out->InsertStaged(*in, mapping); });
      ++counts.written;
    }
  });
}

}  // namespace

PassCounts AppendViaWork(RunContext& ctx, const PhasePlaces& places,
                         const schema::FeatureClass& fc) {
  PassCounts counts;
  const fs::path workFolder = ClassFolder(ctx, places.work, fc);
  const fs::path outFolder = ClassFolder(ctx, places.output, fc);
  const auto finalPass = [](auto&& body) {
    return InProcedure("ProcessWSListFinal", body, kModuleSubMain, ErrorTail::BoxAlways);
  };

  // The Work copy would collect the features; without it nothing is collected, and the final
  // pass finds nothing to copy.
  const bool workCopy = InProcedure("ProcessWSListWork", [&] {
    if (OpenInput("OpenFeatureClass1", workFolder, fc.name)) return true;
    TellOutputMissing(ctx, workFolder, fc.name);
    return false;
  });
  if (!workCopy) {
    finalPass([&] {
      if (OpenOutput(outFolder, fc.name))
        TellInputMissing(ctx, workFolder, fc.name);
      else
        TellOutputMissing(ctx, outFolder, fc.name);
    });
    return counts;
  }

  // Open before the workspaces are read: the first feature of each Comid goes straight there.
  std::unique_ptr<gis::FeatureWriter> out;
  int outComid = -1;
  finalPass([&] {
    out = OpenOutput(outFolder, fc.name);
    if (out)
      outComid = InProcedure("LoadFeatureclassFinal", [&] {
        const int field = out->FindField(kComid);
        if (field < 0)
          throw gis::FileError(kErrInvalidArgument, fc.name + " has no field " + kComid,
                               out->File());
        return field;
      });
  });

  ComidSet seen;
  InProcedure("ProcessWSListWork", [&] {
    WorkspaceList list(ctx.files, places.list);
    std::string workspace;
    while (list.Next(workspace)) {
      StopIfCancelled(ctx);
      ShowAppending(ctx, fc.name, workspace);
      LoadFeatureclassWork(ctx, ClassFolder(ctx, places.input / workspace, fc), fc.name, out.get(),
                           outComid, seen, counts);
    }
  });

  finalPass([&] {
    if (!out) {
      TellOutputMissing(ctx, outFolder, fc.name);
      return;
    }
    InProcedure("LoadFeatureclassFinal", [&] { out->Close(); });
    counts.shapes = out->ShapesExtent();
  });
  return counts;
}

}  // namespace rivanet
