#pragma once

#include <string>

namespace rivanet::gis {

// A grid is a folder. The program writes <grid>/<grid>.tif (tiled GeoTIFF, DEFLATE,
// PREDICTOR=2, BIGTIFF=IF_SAFER) and, where the grid has a value attribute table,
// <grid>/<grid>.tif.vat.dbf (dBASE: Value, Count, then further fields). It reads those and
// ESRI ArcInfo binary grid folders (hdr.adf, w001001.adf, ...).

// UInt8 for 8-bit grids; Int32 for every other integer grid. Cells travel as int32 either way.
enum class CellType { UInt8, Int32 };

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
