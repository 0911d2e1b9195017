#include "driver/ListCheck.h"

#include <algorithm>
#include <limits>
#include <set>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/GridMosaic.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "runctl/WorkspaceList.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {

namespace {

// True when the run can tell which folder every item it reads in `workspace` is, and the
// workspace has its grid folders, each holding a grid the mosaic can open; otherwise the first
// problem has been reported. A grid found unreadable here costs the user nothing; found by the
// grid phase, it would cost the output the run has cleared by then.
bool Usable(RunContext& ctx, const fs::path& workspace) {
  // Before anything asks whether they exist, which would refuse them as an error report.
  for (const WorkspaceItem& item : ReadItems(ctx.layout, workspace)) {
    if (const std::optional<std::string> ambiguity = ctx.files.Ambiguity(item.path)) {
      Tell(ctx, MessageKind::Logged, "Error: " + *ambiguity + ".");
      return false;
    }
  }
  for (const auto& grid : ctx.layout.grids) {
    const fs::path folder = workspace / grid.folder / grid.name;
    if (!ctx.files.FolderExists(folder)) {
      Tell(ctx, MessageKind::Logged, "Error: The " + DisplayPath(folder) + " is missing.");
      return false;
    }
  }
  for (const auto& grid : ctx.layout.grids) {
    const fs::path folder = workspace / grid.folder / grid.name;
    try {
      gis::CheckMosaicInput(folder);
    } catch (const AppError& e) {
      Tell(ctx, MessageKind::Logged,
           "Error: The " + DisplayPath(folder) +
               " is no grid the run can read: " + e.Description() + ".");
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<WorkspaceItem> ReadItems(const schema::Schema& layout, const fs::path& workspace) {
  std::vector<WorkspaceItem> items;
  for (const schema::Grid& grid : layout.grids)
    items.push_back({"grid folder", workspace / grid.folder / grid.name});
  std::vector<std::string> folders;
  for (const schema::FeatureClass& fc : layout.featureClasses) {
    if (fc.folder.empty() || std::ranges::any_of(folders, [&](const std::string& folder) {
          return SameIgnoringCase(folder, fc.folder);
        }))
      continue;  // the workspace folder itself, or a folder already named
    folders.push_back(fc.folder);
    items.push_back({"feature class folder", workspace / fc.folder});
  }
  for (const schema::FeatureClass& fc : layout.featureClasses)
    for (const char* extension : {".shp", ".shx", ".dbf"})
      items.push_back({"feature class file", workspace / fc.folder / (fc.name + extension)});
  for (const schema::Table& table : layout.tables)
    items.push_back({"table", workspace / (table.name + ".dbf")});
  return items;
}

std::optional<MosaicInputs> CheckWorkspaceList(RunContext& ctx, const fs::path& inputFolder,
                                               const fs::path& listFile) {
  const auto& grids = ctx.layout.grids;
  MosaicInputs inputs;
  for (const auto& grid : grids) inputs.grids.push_back({grid.name, {}});

  WorkspaceList list(ctx.files, listFile);
  std::string name;
  std::set<fs::path> examined;  // a workspace listed twice is appended twice, examined once
  while (list.Next(name)) {
    const fs::path workspace = inputFolder / name;
    if (examined.insert(workspace).second && !Usable(ctx, workspace)) return std::nullopt;
    if (inputs.workspaceCount == std::numeric_limits<std::int16_t>::max()) {
      throw AppError(kErrOverflow, "Overflow: " + DisplayPath(listFile) + " lists more than " +
                                       std::to_string(inputs.workspaceCount) + " workspaces");
    }
    for (std::size_t i = 0; i < grids.size(); ++i)
      inputs.grids[i].paths.push_back(workspace / grids[i].folder / grids[i].name);
    inputs.workspaces.push_back(workspace);
    ++inputs.workspaceCount;
  }
  if (inputs.workspaceCount > 1) return inputs;
  Tell(ctx, MessageKind::Logged,
       "Error: There was one or fewer entries in " + DisplayPath(listFile));
  return std::nullopt;
}

}  // namespace rivanet
