#pragma once

#include <filesystem>
#include <optional>

namespace rivanet {

struct RunContext;

// The skeleton folder that [Working] SkelPath of the settings file names, below the
// application folder. When the settings file is missing, names no folder, or the folder does
// not exist, the reason has been reported (box in window runs, log line) and nothing is
// returned: without a skeleton named on purpose there is nothing to copy.
std::optional<std::filesystem::path> FindSkeletonFolder(RunContext& ctx);

// True when the settings file's other values are usable (GridCompressionLevel, read by the
// grid phase long after the output has been cleared); otherwise the reason has been reported.
bool CheckSettingsValues(RunContext& ctx);

// True when the skeleton holds every folder, feature class (.shp, .shx, .dbf) and table
// (.dbf) of the workspace layout; otherwise the first missing item has been reported. Checked
// before the output is prepared, so a bad skeleton never costs the previous output.
bool CheckSkeletonContents(RunContext& ctx, const std::filesystem::path& skeletonFolder);

}  // namespace rivanet
