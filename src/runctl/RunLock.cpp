#include "runctl/RunLock.h"

#include <optional>
#include <string>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"

namespace rivanet {

FileLock LockApplicationFolder(const std::filesystem::path& appFolder) {
  std::optional<FileLock> lock = FileLock::TryLock(appFolder / (std::string(kAppTitle) + ".lock"));
  if (!lock) {
    throw AppError(kErrFileAlreadyOpen, "The application folder " + DisplayPath(appFolder) +
                                            " is in use by another run");
  }
  return std::move(*lock);
}

}  // namespace rivanet
