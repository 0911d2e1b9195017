#include "platform/Error.h"

#include <cstring>

namespace rivanet {

AppError AppError::FromErrno(int err, const std::string& path) {
  std::string text = std::strerror(err);
  if (!path.empty()) text += ": " + path;
  return AppError(err, std::move(text), ErrorScheme::Os);
}

std::string AppError::Source() const {
  switch (m_scheme) {
    case ErrorScheme::Os:
      return "OS";
    case ErrorScheme::Gdal:
      return "GDAL";
    case ErrorScheme::Sqlite:
      return "SQLite";
    case ErrorScheme::Program:
      break;
  }
  return kAppTitle;
}

std::string VersionText() {
  return std::string(kAppTitle) + " " + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

}  // namespace rivanet
