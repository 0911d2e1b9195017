#pragma once

#include <cstdint>
#include <string>

namespace rivanet::gis {

// A grid is a folder. The program writes <grid>/<grid>.tif (tiled GeoTIFF, DEFLATE,
// PREDICTOR=2, BIGTIFF=IF_SAFER) and, where the grid has a value attribute table,
// <grid>/<grid>.tif.vat.dbf (dBASE: Value, Count, then further fields). It reads those and
// ESRI ArcInfo binary grid folders (hdr.adf, w001001.adf, ...).

// UInt8 for 8-bit grids; Int32 for every other integer grid. Cells travel as int32 either way.
enum class CellType { UInt8, Int32 };

// The NoData of the grids the program writes: the values ArcGIS marks NoData with in 32-bit
// signed and 8-bit unsigned grids.
inline constexpr std::int32_t kInt32NoData = -2147483647;
inline constexpr std::int32_t kUInt8NoData = 255;
constexpr std::int32_t NoDataOf(CellType type) {
  return type == CellType::UInt8 ? kUInt8NoData : kInt32NoData;
}

// Georeferencing of a north-up grid: top-left corner, square cells.
struct GridGeometry {
  double originX = 0;  // x of the left edge
  double originY = 0;  // y of the top edge
  double cellSize = 0;
  int cols = 0;
  int rows = 0;
  std::string crsWkt;  // empty: no coordinate system
};

}  // namespace rivanet::gis
