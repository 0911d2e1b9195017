#include "driver/OutputPreparation.h"

#include <algorithm>
#include <string>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "runctl/RunContext.h"
#include "runctl/Settings.h"
#include "runctl/RunMessages.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {

std::optional<fs::path> FindSkeletonFolder(RunContext& ctx) {
  const fs::path settings = ctx.appFolder / (std::string(kAppTitle) + ".ini");
  // The value is taken as written, always below the application folder.
  const fs::path skeleton =
      ctx.appFolder.string() + "/" + ReadIniValue("Working", "SkelPath", settings, ctx.files);
  if (ctx.files.FolderExists(skeleton)) return skeleton;
  Tell(ctx, MessageKind::Logged, "The " + DisplayPath(skeleton) + " folder is missing");
  return std::nullopt;
}

fs::path WorkFolder(const RunContext& ctx) { return ctx.appFolder / "Work"; }

void PrepareOutput(RunContext& ctx, const fs::path& skeletonFolder, const fs::path& outputFolder) {
  FileSystem& files = ctx.files;
  // The workspace folders are replaced; those that hold no feature class (grids only) do
  // not come with the skeleton and start empty.
  const auto& featureClasses = ctx.layout.featureClasses;
  for (const std::string& folder : schema::WorkspaceFolders(ctx.layout)) {
    if (files.FolderExists(outputFolder / folder)) files.DeleteFolder(outputFolder / folder);
    const bool fromSkeleton =
        std::any_of(featureClasses.begin(), featureClasses.end(), [&](const schema::FeatureClass& fc) {
          return SameIgnoringCase(fc.folder.substr(0, fc.folder.find('/')), folder);
        });
    if (!fromSkeleton) files.CreateFolder(outputFolder / folder);
  }

  const fs::path everything = skeletonFolder / "*";
  files.CopyFolder(everything, outputFolder);
  files.CopyFile(everything, outputFolder);

  const fs::path work = WorkFolder(ctx);
  if (!files.FolderExists(work)) files.CreateFolder(work);
  files.CopyFolder(everything, work);
  files.CopyFile(everything, work);
}

}  // namespace rivanet
