#pragma once

#include <filesystem>
#include <string>

namespace rivanet::gis {

// The rectangle that the header of a .shp states for all its shapes: readers take it on trust
// to place the feature class on a map and to skip it in searches elsewhere.
struct Extent {
  double minX = 0;
  double minY = 0;
  double maxX = 0;
  double maxY = 0;
  bool operator==(const Extent&) const = default;
};

// What the headers of <folder>/<name>.shp and of its .shx state (letter case ignored). The .shx
// repeats the .shp's header and some readers take the extent from there (GDAL does), others
// from the .shp, so both have to be right. AppError naming the file when there is no such
// shapefile or a header cannot be read.
struct HeaderExtents {
  Extent shp;
  Extent shx;
};
HeaderExtents ReadHeaderExtents(const std::filesystem::path& folder, const std::string& name);
// Writes `extent` into the headers of <folder>/<name>.shp and its .shx (their x and y bounds;
// nothing else changes). GDAL's own writing takes the bounds from the first record even when
// that has no shape, so a copy through it can keep a wrong header.
void WriteHeaderExtents(const std::filesystem::path& folder, const std::string& name,
                        const Extent& extent);
// The extent of the shapes themselves, read from every feature; all zeros when no feature has
// a shape (as a shapefile's header then says).
Extent ShapesExtent(const std::filesystem::path& folder, const std::string& name);

}  // namespace rivanet::gis
