#include "driver/OutputPreparation.h"

#include <string>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunContext.h"
#include "runctl/Settings.h"
#include "runctl/Window.h"

namespace fs = std::filesystem;

namespace rivanet {

std::optional<fs::path> FindSkeletonFolder(RunContext& ctx) {
  const fs::path settings = ctx.appFolder / (std::string(kAppTitle) + ".ini");
  // The value is taken as written, always below the application folder.
  const fs::path skeleton =
      ctx.appFolder.string() + "/" + ReadIniValue("Working", "SkelPath", settings, ctx.files);
  if (ctx.files.FolderExists(skeleton)) return skeleton;
  const std::string message = "The " + DisplayPath(skeleton) + " folder is missing";
  if (ctx.interactive) ctx.window.MessageBox(message);
  ctx.log.LogEvent(message);
  return std::nullopt;
}

fs::path WorkFolder(const RunContext& ctx) { return ctx.appFolder / "Work"; }

void PrepareOutput(RunContext& ctx, const fs::path& skeletonFolder, const fs::path& outputFolder) {
  FileSystem& files = ctx.files;
  auto deleteIfPresent = [&](const char* name) {
    if (files.FolderExists(outputFolder / name)) files.DeleteFolder(outputFolder / name);
  };
  deleteIfPresent("Drainage");
  deleteIfPresent("elev_unit");
  files.CreateFolder(outputFolder / "elev_unit");
  deleteIfPresent("fac_fdr_unit");
  files.CreateFolder(outputFolder / "fac_fdr_unit");
  deleteIfPresent("hydrography");
  deleteIfPresent("hydrologicunits");

  const fs::path everything = skeletonFolder / "*";
  files.CopyFolder(everything, outputFolder);
  files.CopyFile(everything, outputFolder);

  const fs::path work = WorkFolder(ctx);
  if (!files.FolderExists(work)) files.CreateFolder(work);
  files.CopyFolder(everything, work);
  files.CopyFile(everything, work);
}

}  // namespace rivanet
