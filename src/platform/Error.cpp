#include "platform/Error.h"

#include <cstring>

namespace rivanet {

AppError AppError::FromErrno(int err, const std::string& path) {
  std::string text = std::strerror(err);
  if (!path.empty()) text += ": " + path;
  return AppError(err, std::move(text), "OS");
}

std::string VersionText() {
  return std::string(kAppTitle) + " " + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

}  // namespace rivanet
