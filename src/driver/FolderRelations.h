#pragma once

#include <filesystem>
#include <vector>

namespace rivanet {

struct RunContext;

// The outcome of a folder check. A refused check has reported why (box in window runs, log
// line); when what it protects lies in the run's own scratch folders (Work, Temp), the run must
// not delete them at its end either.
enum class FolderCheck { Passed, Refused, RefusedInScratch };

// Before anything is touched: the skeleton must not be or hold the application folder nor lie
// in Work or Temp; the output folder must not be or hold the input folder, the application
// folder, the skeleton or the scratch folders, nor lie in the skeleton or the scratch
// folders; the input folder must not lie in the scratch folders. An output folder inside the
// input folder, beside the workspaces, is allowed.
FolderCheck CheckFolderPlaces(RunContext& ctx, const std::filesystem::path& inputFolder,
                              const std::filesystem::path& outputFolder,
                              const std::filesystem::path& skeletonFolder);

// Once the list is read: the output folder must not be, hold or lie in a listed workspace,
// no workspace may lie in the scratch folders, and nothing the run reads in a workspace (a
// link may lead anywhere) may be or lie in the output folder or the scratch folders. The list
// file, read again after the output is prepared, must not lie in the output's workspace
// folders or the scratch folders, nor be replaced by a workspace's text file.
FolderCheck CheckWorkspacePlaces(RunContext& ctx, const std::filesystem::path& outputFolder,
                                 const std::filesystem::path& listFile,
                                 const std::vector<std::filesystem::path>& workspaces);

}  // namespace rivanet
