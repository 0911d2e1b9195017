#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rivanet {

struct RunContext;
namespace schema {
struct Schema;
}

// The mosaic inputs of one grid: the grid folder of every accepted workspace, in list order.
struct MosaicInput {
  std::string grid;  // the grid's name in the workspace layout ("cat")
  std::vector<std::filesystem::path> paths;
};

// What the list check hands on: one input list per grid of the layout, in the layout's order,
// for the grid phase; the accepted workspace folders in list order; and their number.
struct MosaicInputs {
  std::vector<MosaicInput> grids;
  std::vector<std::filesystem::path> workspaces;
  std::int16_t workspaceCount = 0;
  // The input lists alone, one per grid in the layout's order.
  std::vector<std::vector<std::filesystem::path>> Paths() const {
    std::vector<std::vector<std::filesystem::path>> paths;
    for (const MosaicInput& grid : grids) paths.push_back(grid.paths);
    return paths;
  }
};

// A folder or file the run reads inside every workspace, and what messages call it.
struct WorkspaceItem {
  const char* role;  // "grid folder", "feature class folder", "feature class file", "table"
  std::filesystem::path path;
};

// The grid folders, the feature class folders (each once), the feature classes' .shp, .shx
// and .dbf files and the tables of the layout inside `workspace`.
std::vector<WorkspaceItem> ReadItems(const schema::Schema& layout,
                                     const std::filesystem::path& workspace);

// Reads the list once, makes sure every workspace has its grids, each one the mosaic can open
// (headers only), and that there are at least two workspaces. A workspace, or a folder the run
// reads in it, that a case-sensitive file system holds in several letter cases, none as
// listed, is refused. On a failure it reports the reason (box in window runs, log line) and
// returns nothing; the output folder has not been touched.
std::optional<MosaicInputs> CheckWorkspaceList(RunContext& ctx,
                                               const std::filesystem::path& inputFolder,
                                               const std::filesystem::path& listFile);

}  // namespace rivanet
