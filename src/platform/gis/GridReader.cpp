#include "platform/gis/GridReader.h"

#include "platform/gis/GridFolder.h"
#include "platform/gis/GridOpen.h"

namespace fs = std::filesystem;

namespace rivanet::gis {

struct GridReader::Impl {
  OpenedGrid grid;
  int blockWidth = 0;
  int blockHeight = 0;
};

GridReader::GridReader(const fs::path& gridFolder) : m_impl(std::make_unique<Impl>()) {
  QuietGdal quiet;
  m_impl->grid = OpenGrid(gridFolder);
  m_impl->grid.band->GetBlockSize(&m_impl->blockWidth, &m_impl->blockHeight);
}

GridReader::~GridReader() {
  if (m_impl && m_impl->grid.ds) {
    QuietGdal quiet;
    m_impl->grid.ds.reset();
  }
}

const GridGeometry& GridReader::Geometry() const { return m_impl->grid.geometry; }
CellType GridReader::Type() const { return m_impl->grid.type; }
std::optional<std::int32_t> GridReader::NoData() const { return m_impl->grid.noData; }
int GridReader::BlockWidth() const { return m_impl->blockWidth; }
int GridReader::BlockHeight() const { return m_impl->blockHeight; }

void GridReader::ReadRows(int firstRow, int rowCount, std::int32_t* cells) {
  OpenedGrid& r = m_impl->grid;
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
