#include "platform/gis/GridFolder.h"

#include <system_error>

#include "platform/files/FileSystem.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// "a/b/" and "a/b" name the same grid folder.
fs::path WithoutTrailingSlash(fs::path path) {
  while (path.has_relative_path() && path.filename().empty()) path = path.parent_path();
  return path;
}

}  // namespace

bool GridFolder::HasTif() const { return IsFile(tif); }
bool GridFolder::IsArcInfo() const { return !HasTif() && IsFile(hdr); }

GridFolder FindGridFolder(const fs::path& gridFolder) {
  const auto files = MakeFileSystem();
  GridFolder where;
  where.folder = files->Resolve(WithoutTrailingSlash(gridFolder));
  where.name = where.folder.filename().string();
  where.tif = files->Resolve(where.folder / (where.name + ".tif"));
  where.hdr = files->Resolve(where.folder / "hdr.adf");
  return where;
}

GridFolder LocateGrid(const fs::path& gridFolder) {
  GridFolder where = FindGridFolder(gridFolder);
  std::error_code ec;
  if (!fs::is_directory(where.folder, ec))
    throw FileError(kErrPathNotFound, "Grid folder not found", where.folder);
  if (!where.HasTif() && !where.IsArcInfo())
    throw FileError(kErrFileNotFound,
                    "No grid in folder (neither " + where.name + ".tif nor hdr.adf)", where.folder);
  return where;
}

AppError FileError(long number, const std::string& text, const fs::path& file) {
  return AppError(number, text + ": " + DisplayPath(file));
}

}  // namespace rivanet::gis
