#pragma once

#include <filesystem>

namespace rivanet {

struct RunContext;

// The scratch copy of the skeleton that some phases collect into: <app>/Work.
std::filesystem::path WorkFolder(const RunContext& ctx);
// The grid phase's scratch folder: <app>/Temp.
std::filesystem::path TempFolder(const RunContext& ctx);

// Clears the output folder's workspace folders and fills it and the Work folder from the
// skeleton. Any failing file operation throws AppError.
void PrepareOutput(RunContext& ctx, const std::filesystem::path& skeletonFolder,
                   const std::filesystem::path& outputFolder);

}  // namespace rivanet
