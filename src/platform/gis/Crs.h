#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/gis/GridTypes.h"

namespace rivanet::gis {

// What decides whether grids can be joined by copying blocks of cells or must be resampled:
// the same coordinate system, the same cell size, and cell edges on the same lines.

// True when both texts (WKT, in GDAL's or ESRI's dialect) describe the same coordinate
// system, whatever the names they give it. Two empty texts (no coordinate system) are the
// same; an empty and a non-empty one are not. AppError when a text is no coordinate system.
bool SameCrs(const std::string& wktA, const std::string& wktB);

// Cell sizes equal to within a relative 1e-9, as stored sizes differ in the last digits.
bool SameCellSize(const GridGeometry& a, const GridGeometry& b);

// Where b's top-left cell lies in a's cells: b's column 0 is a's column `cols`, b's row 0 is
// a's row `rows` (either may be negative).
struct CellOffset {
  std::int64_t cols = 0;
  std::int64_t rows = 0;
  bool operator==(const CellOffset&) const = default;
};

// The offset when the cells of b lie exactly on those of a (same cell size, origins a whole
// number of cells apart, to within 1e-6 of a cell); none when b would have to be resampled.
// Coordinate systems are not compared: see SameCrs.
std::optional<CellOffset> AlignedOffset(const GridGeometry& a, const GridGeometry& b);

}  // namespace rivanet::gis
