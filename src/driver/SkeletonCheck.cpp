#include "driver/SkeletonCheck.h"

#include <string>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "runctl/Settings.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {

std::optional<fs::path> FindSkeletonFolder(RunContext& ctx) {
  const fs::path settings = ctx.appFolder / (std::string(kAppTitle) + ".ini");
  const std::string missing = "The skeleton folder is missing: the settings file ";
  if (!ctx.files.FileExists(settings)) {
    Tell(ctx, MessageKind::Logged, missing + DisplayPath(settings) + " does not exist");
    return std::nullopt;
  }
  const std::string value = ReadIniValue("Working", "SkelPath", settings, ctx.files);
  if (value.empty()) {
    // An empty value would make the application folder itself the skeleton.
    Tell(ctx, MessageKind::Logged,
         missing + DisplayPath(settings) + " gives no SkelPath in its [Working] section");
    return std::nullopt;
  }
  // The value is taken as written, always below the application folder.
  const fs::path skeleton = ctx.appFolder.string() + "/" + value;
  if (ctx.files.FolderExists(skeleton)) return skeleton;
  Tell(ctx, MessageKind::Logged, "The " + DisplayPath(skeleton) + " folder is missing");
  return std::nullopt;
}

bool CheckSettingsValues(RunContext& ctx) {
  try {
    ReadGridCompressionLevel(ctx.appFolder / (std::string(kAppTitle) + ".ini"), ctx.files);
    return true;
  } catch (const AppError& e) {
    Tell(ctx, MessageKind::Logged, "Error: " + e.Description());
    return false;
  }
}

bool CheckSkeletonContents(RunContext& ctx, const fs::path& skeletonFolder) {
  const auto missing = [&](const char* kind, const fs::path& path) {
    Tell(ctx, MessageKind::Logged,
         std::string("Error: The skeleton ") + kind + " " + DisplayPath(path) + " is missing.");
    return false;
  };
  for (const schema::FeatureClass& fc : ctx.layout.featureClasses) {
    const fs::path folder = fc.folder.empty() ? skeletonFolder : skeletonFolder / fc.folder;
    if (!ctx.files.FolderExists(folder)) return missing("folder", folder);
    for (const char* extension : {".shp", ".shx", ".dbf"}) {
      const fs::path file = folder / (fc.name + extension);
      if (!ctx.files.FileExists(file)) return missing("file", file);
    }
  }
  for (const schema::Table& table : ctx.layout.tables) {
    const fs::path file = skeletonFolder / (table.name + ".dbf");
    if (!ctx.files.FileExists(file)) return missing("file", file);
  }
  return true;
}

}  // namespace rivanet
