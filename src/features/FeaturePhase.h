#pragma once

#include <filesystem>

namespace rivanet {

struct RunContext;

// The feature class phase of a run: appends every feature class of the workspaces that
// `list` names (inside `input`) into the output workspace, in the layout's order and by its
// routes, then repairs the catchment extent after the catchments. `work` is the Work folder,
// the scratch copy of the skeleton. Logs what each class read and wrote, and the phase's time;
// asks whether to stop between workspaces and between classes.
void AppendFeatureClasses(RunContext& ctx, const std::filesystem::path& input,
                          const std::filesystem::path& output, const std::filesystem::path& work,
                          const std::filesystem::path& list);

}  // namespace rivanet
