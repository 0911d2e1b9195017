#include "features/PassSupport.h"

#include "platform/files/FileSystem.h"
#include "platform/gis/FeatureReader.h"
#include "platform/gis/FeatureWriter.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"
#include "runctl/RunMessages.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {

std::string CountsText(const std::string& name, const PassCounts& counts, bool deduplicated) {
  std::string text = name + ": " + std::to_string(counts.read) + " features read, " +
                     std::to_string(counts.written) + " written";
  if (deduplicated)
    text += ", " + std::to_string(counts.duplicates) +
            " passed over as duplicates of an earlier Comid, " + std::to_string(counts.noComid) +
            " passed over for an empty Comid";
  return text;
}

fs::path ClassFolder(RunContext& ctx, const fs::path& workspace, const schema::FeatureClass& fc) {
  return ctx.files.Resolve(fc.folder.empty() ? workspace : workspace / fc.folder);
}

std::unique_ptr<gis::FeatureReader> OpenInput(std::string_view procedure, const fs::path& folder,
                                              const std::string& name) {
  return InProcedure(procedure, [&] { return gis::FeatureReader::Open(folder, name); });
}

std::unique_ptr<gis::FeatureWriter> OpenOutput(const fs::path& folder, const std::string& name) {
  return InProcedure("OpenFeatureClass", [&] { return gis::FeatureWriter::Open(folder, name); });
}

void TellOutputMissing(RunContext& ctx, const fs::path& folder, const std::string& name) {
  Tell(ctx, MessageKind::Logged, "Output file not found: " + DisplayPath(folder) + " " + name);
}

void TellInputMissing(RunContext& ctx, const fs::path& folder, const std::string& name) {
  Tell(ctx, MessageKind::Logged,
       "Can't find input feature class: " + DisplayPath(folder) + " " + name);
}

gis::FieldMapping MapInput(RunContext& ctx, const gis::FeatureWriter& out,
                           const gis::FeatureReader& in) {
  gis::FieldMapping mapping = out.MapFields(in);
  if (!mapping.ProjectedFrom().empty())
    ctx.log.LogEvent("Feature class " + DisplayPath(in.File()) + " was projected from " +
                     mapping.ProjectedFrom() + " to " + mapping.ProjectedTo() +
                     ", the output's coordinate system");
  if (mapping.UnreadablePrj())
    ctx.log.LogEvent("Feature class " + DisplayPath(in.File()) +
                     " has a .prj whose coordinate system cannot be read: its shapes are "
                     "taken as they are");
  if (!mapping.DroppedValues().empty())
    ctx.log.LogEvent("Feature class " + DisplayPath(in.File()) + " has shapes with " +
                     mapping.DroppedValues() +
                     ", which the output's class does not hold: they are appended without them");
  return mapping;
}

void AddFields(gis::FeatureWriter& out, const gis::FeatureReader& in,
               const gis::FieldMapping& mapping) {
  InProcedure("AddFields", [&] { out.Stage(in, mapping); });
}

void ShowAppending(RunContext& ctx, const std::string& name, const std::string& workspace) {
  ctx.feedback.Status("Appending " + name + " for Workspace: " + workspace);
}

}  // namespace rivanet
