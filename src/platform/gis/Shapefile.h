#pragma once

// The files of one shapefile: <name>.shp and every companion that shares its base name
// (.shx .dbf .prj .cpg .sbn .sbx .qix .shp.xml ...). A shapefile is found, deleted and renamed
// as a whole, with names matched whatever their letter case, because workspaces come from a
// file system that does not tell "RVXArea.SHP" from "rvxarea.shp".

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rivanet::gis {

// The largest a .shp or .dbf may grow: its record offsets are signed 32-bit numbers, so
// readers refuse what lies beyond 2 GB.
inline constexpr std::uint64_t kShapefileSizeLimit = 2147483647;

struct ShapefileParts {
  std::filesystem::path shp;               // as found on disk
  std::filesystem::path shx;               // empty when absent
  std::filesystem::path dbf;               // empty when absent
  std::filesystem::path cpg;               // empty when absent
  std::vector<std::filesystem::path> all;  // every file of the shapefile, .shp included
};

// The files of <folder>/<name>.shp, or nothing when there is no such .shp (or no such folder).
std::optional<ShapefileParts> FindShapefile(const std::filesystem::path& folder,
                                            const std::string& name);

// Removes every file of the shapefile; nothing to remove is no error. AppError naming the file
// that could not be removed.
void DeleteShapefile(const std::filesystem::path& folder, const std::string& name);

// Gives every file of shapefile `from` the base name `to`, keeping each file's extension.
// Refuses (AppError) when a file of shapefile `to` exists, so nothing is overwritten.
void RenameShapefile(const std::filesystem::path& folder, const std::string& from,
                     const std::string& to);

}  // namespace rivanet::gis
