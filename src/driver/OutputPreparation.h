#pragma once

#include <filesystem>
#include <optional>

namespace rivanet {

struct RunContext;

// The skeleton folder named by the settings file, when it exists. When it does not, the
// reason has been reported (box in interactive runs, log line) and nothing is returned.
std::optional<std::filesystem::path> FindSkeletonFolder(RunContext& ctx);

// The scratch copy of the skeleton that some phases collect into: <app>/Work.
std::filesystem::path WorkFolder(const RunContext& ctx);

// Clears the output folder's workspace folders and fills it and the Work folder from the
// skeleton. Any failing file operation throws AppError.
void PrepareOutput(RunContext& ctx, const std::filesystem::path& skeletonFolder,
                   const std::filesystem::path& outputFolder);

}  // namespace rivanet
