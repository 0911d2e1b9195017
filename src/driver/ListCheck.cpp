#include "driver/ListCheck.h"

#include <limits>

#include "driver/WorkspaceList.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunContext.h"
#include "runctl/Window.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

// The four grids every workspace must have, in the order they are tested.
struct RequiredGrid {
  const char* folder;
  const char* grid;
  std::string MosaicInputs::*list;
};
const RequiredGrid kRequiredGrids[] = {
    {"drainage", "cat", &MosaicInputs::cat},
    {"elev_unit", "elev_cm", &MosaicInputs::elev},
    {"fac_fdr_unit", "fac", &MosaicInputs::fac},
    {"fac_fdr_unit", "fdr", &MosaicInputs::fdr},
};

void ReportCheckFailure(RunContext& ctx, const std::string& message) {
  if (ctx.interactive) ctx.window.MessageBox(message);
  ctx.log.LogEvent(message);
}

}  // namespace

std::optional<MosaicInputs> CheckWorkspaceList(RunContext& ctx, const fs::path& inputFolder,
                                               const fs::path& listFile) {
  MosaicInputs inputs;
  WorkspaceList list(ctx.files, listFile);
  std::string name;
  while (list.Next(name)) {
    const fs::path workspace = inputFolder / name;
    for (const auto& required : kRequiredGrids) {
      const fs::path grid = workspace / required.folder / required.grid;
      if (!ctx.files.FolderExists(grid)) {
        ReportCheckFailure(ctx, "Error: The " + DisplayPath(grid) + " is missing.");
        return std::nullopt;
      }
    }
    if (inputs.workspaceCount == std::numeric_limits<std::int16_t>::max()) {
      throw AppError(kErrOverflow, "Overflow: " + DisplayPath(listFile) + " lists more than " +
                                       std::to_string(inputs.workspaceCount) + " workspaces");
    }
    for (const auto& required : kRequiredGrids) {
      inputs.*required.list += DisplayPath(workspace / required.folder / required.grid) + ";";
    }
    ++inputs.workspaceCount;
  }
  if (inputs.workspaceCount > 1) {
    for (const auto& required : kRequiredGrids) (inputs.*required.list).pop_back();
    return inputs;
  }
  ReportCheckFailure(ctx, "Error: There was one or fewer entries in " + DisplayPath(listFile));
  return std::nullopt;
}

}  // namespace rivanet
