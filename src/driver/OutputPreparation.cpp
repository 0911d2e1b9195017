#include "driver/OutputPreparation.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {

fs::path WorkFolder(const RunContext& ctx) { return ctx.appFolder / "Work"; }

fs::path TempFolder(const RunContext& ctx) { return ctx.appFolder / "Temp"; }

void PrepareOutput(RunContext& ctx, const fs::path& skeletonFolder, const fs::path& outputFolder) {
  FileSystem& files = ctx.files;
  // The workspace folders are replaced; those that hold no feature class (grids only) do
  // not come with the skeleton and start empty.
  const auto& featureClasses = ctx.layout.featureClasses;
  // Nothing is deleted before it is clear that all of it can be replaced: a folder the run may
  // not change is refused whole instead of being left half deleted.
  const fs::path everything = skeletonFolder / "*";
  files.RequireWritable(outputFolder, false);
  for (const std::string& folder : schema::WorkspaceFolders(ctx.layout)) {
    const fs::path path = outputFolder / folder;
    if (files.FolderExists(path))
      files.RequireWritable(path, true);
    else if (files.FileExists(path) || files.IsLink(path))
      throw AppError::FromErrno(ENOTDIR, DisplayPath(files.Resolve(path)));  // a file there
  }
  files.RequireCopyable(everything, outputFolder);
  for (const std::string& folder : schema::WorkspaceFolders(ctx.layout)) {
    if (files.FolderExists(outputFolder / folder)) files.DeleteFolder(outputFolder / folder);
    const bool fromSkeleton = std::any_of(
        featureClasses.begin(), featureClasses.end(), [&](const schema::FeatureClass& fc) {
          return SameIgnoringCase(fc.folder.substr(0, fc.folder.find('/')), folder);
        });
    if (!fromSkeleton) files.CreateFolder(outputFolder / folder);
  }

  files.CopyFolder(everything, outputFolder);
  files.CopyFile(everything, outputFolder);

  // A Work folder an earlier run left (one that was stopped before its closing steps) may
  // hold that run's scratch files and half-filled classes: the run starts from a fresh one.
  // DeleteFolder removes a link there without following it.
  const fs::path work = WorkFolder(ctx);
  if (files.FolderExists(work)) files.DeleteFolder(work);
  files.CreateFolder(work);
  files.CopyFolder(everything, work);
  files.CopyFile(everything, work);
}

}  // namespace rivanet
