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

// The extent in the header of <folder>/<name>.shp (letter case ignored); AppError naming the
// file when there is none or it cannot be read.
Extent HeaderExtent(const std::filesystem::path& folder, const std::string& name);
// The extent of the shapes themselves, read from every feature; all zeros when no feature has
// a shape (as a shapefile's header then says).
Extent ShapesExtent(const std::filesystem::path& folder, const std::string& name);

}  // namespace rivanet::gis
