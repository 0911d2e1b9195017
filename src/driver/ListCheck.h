#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace rivanet {

struct RunContext;

// The grid paths of all accepted workspaces, one ";"-joined list per grid, for the mosaics.
struct MosaicInputs {
  std::string cat;
  std::string elev;
  std::string fac;
  std::string fdr;
  std::int16_t workspaceCount = 0;
};

// Reads the list once, makes sure every workspace has its four grids and that there are at
// least two workspaces. On a failure it reports the reason (box in interactive runs, log
// line) and returns nothing; the output folder has not been touched.
std::optional<MosaicInputs> CheckWorkspaceList(RunContext& ctx,
                                               const std::filesystem::path& inputFolder,
                                               const std::filesystem::path& listFile);

}  // namespace rivanet
