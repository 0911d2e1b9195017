#include "driver/OutputPreparation.h"

#include <algorithm>
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

  // A leftover Work folder is reused; one that leads out of the application folder (a link)
  // is not the run's to fill, and is replaced by a folder of its own.
  const fs::path work = WorkFolder(ctx);
  if (files.FolderExists(work) && files.Relate(work, ctx.appFolder) != FolderRelation::Inside)
    files.DeleteFolder(work);
  if (!files.FolderExists(work)) files.CreateFolder(work);
  files.CopyFolder(everything, work);
  files.CopyFile(everything, work);
}

}  // namespace rivanet
