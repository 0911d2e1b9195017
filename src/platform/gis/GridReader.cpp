#include "platform/gis/GridReader.h"

#include <cmath>
#include <limits>

#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {

struct GridReader::Impl {
  fs::path file;  // for messages: the .tif, or the ArcInfo grid folder
  DatasetPtr ds;
  GDALRasterBand* band = nullptr;
  GridGeometry geometry;
  CellType type = CellType::Int32;
  std::optional<std::int32_t> noData;
  int blockWidth = 0;
  int blockHeight = 0;
};

GridReader::GridReader(const fs::path& gridFolder) : m_impl(std::make_unique<Impl>()) {
  QuietGdal quiet;
  Impl& r = *m_impl;
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
  r.band->GetBlockSize(&r.blockWidth, &r.blockHeight);
}

GridReader::~GridReader() {
  if (m_impl && m_impl->ds) {
    QuietGdal quiet;
    m_impl->ds.reset();
  }
}

const GridGeometry& GridReader::Geometry() const { return m_impl->geometry; }
CellType GridReader::Type() const { return m_impl->type; }
std::optional<std::int32_t> GridReader::NoData() const { return m_impl->noData; }
int GridReader::BlockWidth() const { return m_impl->blockWidth; }
int GridReader::BlockHeight() const { return m_impl->blockHeight; }

void GridReader::ReadRows(int firstRow, int rowCount, std::int32_t* cells) {
  Impl& r = *m_impl;
  if (firstRow < 0 || rowCount < 0 || rowCount > r.geometry.rows - firstRow)
    throw FileError(kErrSubscriptOutOfRange,
                    "Rows " + std::to_string(firstRow) + " to " +
                        std::to_string(firstRow + rowCount - 1) + " outside the grid's " +
                        std::to_string(r.geometry.rows) + " rows",
                    r.file);
  if (rowCount == 0) return;
  QuietGdal quiet;
  CPLErrorReset();
  if (r.band->RasterIO(GF_Read, 0, firstRow, r.geometry.cols, rowCount, cells, r.geometry.cols,
                       rowCount, GDT_Int32, 0, 0, nullptr) != CE_None)
    throw GdalError("Cannot read grid cells", r.file);
}

}  // namespace rivanet::gis
