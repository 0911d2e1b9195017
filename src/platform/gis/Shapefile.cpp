#include "platform/gis/Shapefile.h"

#include <algorithm>
#include <system_error>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

// The part of `file` after "<name>." when the file belongs to shapefile `name`: one more
// extension (".dbf", ".sbn") or the .shp's own side files (".shp.xml"), but not another
// shapefile whose name merely starts the same ("catchment.old.shp").
std::optional<std::string> CompanionExtension(const std::string& file, const std::string& name) {
  if (file.size() <= name.size() + 1 || file[name.size()] != '.' || !StartsIgnoringCase(file, name))
    return std::nullopt;
  std::string ext = file.substr(name.size() + 1);
  if (ext.find('.') != std::string::npos && !StartsIgnoringCase(ext, "shp.")) return std::nullopt;
  return ext;
}

struct Companion {
  fs::path path;
  std::string ext;  // as on disk, without the leading dot
};

std::vector<Companion> Companions(const fs::path& folder, const std::string& name) {
  std::vector<Companion> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (auto ext = CompanionExtension(it->path().filename().string(), name))
      found.push_back({it->path(), std::move(*ext)});
  }
  if (ec && ec != std::errc::no_such_file_or_directory)
    throw AppError::FromErrno(ec.value(), DisplayPath(folder));
  // A repeatable order, so that a failure part-way always stops at the same file.
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.path < b.path; });
  return found;
}

fs::path ResolvedFolder(const fs::path& folder) { return MakeFileSystem()->Resolve(folder); }

}  // namespace

std::optional<ShapefileParts> FindShapefile(const fs::path& folder, const std::string& name) {
  ShapefileParts parts;
  for (const Companion& c : Companions(ResolvedFolder(folder), name)) {
    // On a file system that tells letter case apart, "a.shp" and "a.SHP" may both exist;
    // the exact spelling wins, as it would when the names are looked up one by one.
    const auto take = [&](fs::path& slot, const char* wanted) {
      if (!SameIgnoringCase(c.ext, wanted)) return;
      if (slot.empty() || c.path.filename() == name + "." + wanted) slot = c.path;
    };
    take(parts.shp, "shp");
    take(parts.shx, "shx");
    take(parts.dbf, "dbf");
    take(parts.cpg, "cpg");
    parts.all.push_back(c.path);
  }
  if (parts.shp.empty()) return std::nullopt;
  return parts;
}

void DeleteShapefile(const fs::path& folder, const std::string& name) {
  for (const Companion& c : Companions(ResolvedFolder(folder), name)) {
    std::error_code ec;
    if (!fs::remove(c.path, ec) && ec) throw AppError::FromErrno(ec.value(), DisplayPath(c.path));
  }
}

void RenameShapefile(const fs::path& folder, const std::string& from, const std::string& to) {
  const fs::path where = ResolvedFolder(folder);
  const std::vector<Companion> existing = Companions(where, to);
  if (!existing.empty())
    throw FileError(kErrFileAlreadyExists,
                    "Cannot rename shapefile " + from + ", a file of " + to + " is in the way",
                    existing.front().path);
  for (const Companion& c : Companions(where, from)) {
    const fs::path target = where / (to + "." + c.ext);
    std::error_code ec;
    fs::rename(c.path, target, ec);
    if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(c.path));
  }
}

}  // namespace rivanet::gis
