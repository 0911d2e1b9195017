#include "platform/gis/GridOpen.h"

#include <cmath>
#include <limits>
#include <string>

#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {

OpenedGrid OpenGrid(const fs::path& gridFolder) {
  OpenedGrid r;
  const GridFolder where = LocateGrid(gridFolder);
  const bool tiff = where.HasTif();
  r.file = tiff ? where.tif : where.folder;
  r.ds = OpenDataset(r.file, GDAL_OF_RASTER | GDAL_OF_READONLY, {tiff ? "GTiff" : "AIG"}, {},
                     "Cannot open grid");
  if (r.ds->GetRasterCount() < 1) throw FileError(kErrInvalidArgument, "Grid has no band", r.file);
  r.band = r.ds->GetRasterBand(1);

  double t[6] = {};
  if (r.ds->GetGeoTransform(t) != CE_None)
    throw FileError(kErrInvalidArgument, "Grid has no georeferencing", r.file);
  const bool northUp = t[2] == 0 && t[4] == 0 && t[1] > 0 && t[5] < 0;
  if (!northUp || std::fabs(t[1] + t[5]) > 1e-9 * t[1])
    throw FileError(kErrInvalidArgument, "Grid is not north-up with square cells", r.file);
  r.geometry.originX = t[0];
  r.geometry.originY = t[3];
  r.geometry.cellSize = t[1];
  r.geometry.cols = r.ds->GetRasterXSize();
  r.geometry.rows = r.ds->GetRasterYSize();
  const char* wkt = r.ds->GetProjectionRef();
  r.geometry.crsWkt = wkt != nullptr ? wkt : "";

  const GDALDataType stored = r.band->GetRasterDataType();
  switch (stored) {
    case GDT_Byte:
      r.type = CellType::UInt8;
      break;
    case GDT_Int16:
    case GDT_UInt16:
    case GDT_Int32:
      r.type = CellType::Int32;
      break;
    default: {
      const char* name = GDALGetDataTypeName(stored);
      throw FileError(kErrInvalidArgument,
                      std::string("Unsupported cell type ") + (name != nullptr ? name : "unknown") +
                          " (integer grids only)",
                      r.file);
    }
  }
  int hasNoData = 0;
  const double noData = r.band->GetNoDataValue(&hasNoData);
  // A NoData that no int32 cell can equal marks no cell, so it is as good as none.
  if (hasNoData != 0 && std::isfinite(noData) && noData == std::floor(noData) &&
      noData >= std::numeric_limits<std::int32_t>::min() &&
      noData <= std::numeric_limits<std::int32_t>::max())
    r.noData = static_cast<std::int32_t>(noData);
  return r;
}

}  // namespace rivanet::gis
