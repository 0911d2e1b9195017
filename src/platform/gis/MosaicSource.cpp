#include "platform/gis/MosaicSource.h"

#include <gdalwarper.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "platform/gis/Crs.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

// How far (in cells) a resampled input's edge may lie past a cell line and still end on it:
// a projected extent is never exact (a datum shift of a tenth of a millimetre would otherwise
// add a row of cells).
constexpr double kEdgeTolerance = 1e-3;
// Marks the cells a resampled input does not cover when it has no NoData of its own. The
// resampled cells travel as int32, so this is no value an 8- or 16-bit input can hold.
constexpr std::int32_t kUncovered = std::numeric_limits<std::int32_t>::min();
// Inputs stored in taller blocks than this (a whole-grid strip) are read a few rows at a time
// through RasterIO instead, so that memory stays small.
constexpr int kMaxBlockHeight = 512;
// Rows read at a time through RasterIO.
constexpr int kRowsPerRead = 256;

// One block as stored, decoded before its cells go into an input's buffer. Shared by the inputs
// a thread lays, one after the other: each input keeps its decoded rows, not its raw block, so
// that a window meeting many small inputs does not hold a block for each.
std::vector<unsigned char>& BlockScratch() {
  thread_local std::vector<unsigned char> block;
  return block;
}

struct Extent {
  double minX, minY, maxX, maxY;
};

struct TransformerReleaser {
  void operator()(void* arg) const {
    if (arg != nullptr) GDALDestroyTransformer(arg);
  }
};
using TransformerPtr = std::unique_ptr<void, TransformerReleaser>;

void GeoTransformOf(const GridGeometry& g, double t[6]) {
  const double values[6] = {g.originX, g.cellSize, 0, g.originY, 0, -g.cellSize};
  std::copy(values, values + 6, t);
}

const char* WktOrNull(const std::string& wkt) { return wkt.empty() ? nullptr : wkt.c_str(); }

// From the cells of `from` to the coordinates of `toWkt` (dstTransform null) or to the cells
// of the grid `dstTransform` describes.
TransformerPtr Transformer(const OpenedGrid& from, const std::string& toWkt,
                           const double* dstTransform) {
  double src[6];
  GeoTransformOf(from.geometry, src);
  CPLErrorReset();
  TransformerPtr t(GDALCreateGenImgProjTransformer3(WktOrNull(from.geometry.crsWkt), src,
                                                    WktOrNull(toWkt), dstTransform));
  if (!t) throw GdalError("Cannot project grid onto the mosaic's coordinate system", from.file);
  return t;
}

// The cells GDAL suggests for `grid` in the coordinate system `wkt` (their size and origin).
void SuggestedCells(const OpenedGrid& grid, const std::string& wkt, double transform[6]) {
  const TransformerPtr t = Transformer(grid, wkt, nullptr);
  int cols = 0;
  int rows = 0;
  double e[4] = {};
  CPLErrorReset();
  if (GDALSuggestedWarpOutput2(grid.ds.get(), GDALGenImgProjTransform, t.get(), transform, &cols,
                               &rows, e, 0) != CE_None)
    throw GdalError("Cannot project grid onto the mosaic's coordinate system", grid.file);
}

// The box around `grid`'s outline in the coordinate system `wkt`. The outline is traced point
// by point along the four edges, because a projection bends them. (GDAL's suggested extent is
// rounded to whole cells of its own choosing, which can cut off the input's last cells or add
// an empty row or column.)
Extent ProjectedOutline(const OpenedGrid& grid, const std::string& wkt) {
  constexpr int kSteps = 64;  // points per edge
  const double cols = grid.geometry.cols;
  const double rows = grid.geometry.rows;
  std::vector<double> x;
  std::vector<double> y;
  for (int i = 0; i <= kSteps; ++i) {
    const double f = static_cast<double>(i) / kSteps;
    for (const auto& [px, py] : {std::pair{f * cols, 0.0}, std::pair{f * cols, rows},
                                 std::pair{0.0, f * rows}, std::pair{cols, f * rows}}) {
      x.push_back(px);
      y.push_back(py);
    }
  }
  std::vector<double> z(x.size(), 0.0);
  std::vector<int> ok(x.size(), FALSE);
  const TransformerPtr t = Transformer(grid, wkt, nullptr);
  CPLErrorReset();
  GDALGenImgProjTransform(t.get(), FALSE, static_cast<int>(x.size()), x.data(), y.data(), z.data(),
                          ok.data());
  Extent e{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
           -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!ok[i] || !std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
    e = {std::min(e.minX, x[i]), std::min(e.minY, y[i]), std::max(e.maxX, x[i]),
         std::max(e.maxY, y[i])};
  }
  if (!(e.minX < e.maxX && e.minY < e.maxY))
    throw FileError(kErrInvalidArgument,
                    "Cannot project grid onto the mosaic's coordinate system: its outline does "
                    "not map there",
                    grid.file);
  return e;
}

GridGeometry LatticeGeometry(const Lattice& lattice) {
  return {lattice.originX, lattice.originY, lattice.cellSize, 1, 1, lattice.crsWkt};
}

std::string Shown(double cellSize) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", cellSize);
  return text;
}

// Why an input cannot be copied cell for cell; empty when it can.
std::string ResampleReason(const OpenedGrid& input, const Lattice& lattice) {
  if (!SameCrs(input.geometry.crsWkt, lattice.crsWkt)) return "another coordinate system";
  const GridGeometry cells = LatticeGeometry(lattice);
  if (!SameCellSize(cells, input.geometry))
    return "cell size " + Shown(input.geometry.cellSize) + " instead of " + Shown(lattice.cellSize);
  if (!AlignedOffset(cells, input.geometry)) return "cell edges off the first grid's lines";
  return {};
}

}  // namespace

Lattice LatticeOf(const OpenedGrid& first, const std::string& coordinateSystem) {
  const GridGeometry& g = first.geometry;
  if (coordinateSystem.empty() || SameCrs(coordinateSystem, g.crsWkt))
    return {g.originX, g.originY, g.cellSize, g.crsWkt};
  double t[6];
  SuggestedCells(first, coordinateSystem, t);
  return {t[0], t[3], t[1], coordinateSystem};
}

MosaicSource::MosaicSource(const fs::path& gridFolder)
    : m_folder(gridFolder), m_grid(OpenGrid(gridFolder)) {}

void MosaicSource::Reopen() {
  OpenedGrid again = OpenGrid(m_folder);
  const GridGeometry& was = m_grid.geometry;
  const GridGeometry& is = again.geometry;
  if (is.cols != was.cols || is.rows != was.rows || is.originX != was.originX ||
      is.originY != was.originY || is.cellSize != was.cellSize || again.type != m_grid.type ||
      again.noData != m_grid.noData)
    throw FileError(kErrInvalidArgument, "Grid changed while the mosaic was being made",
                    m_grid.file);
  m_grid = std::move(again);
  m_band = m_grid.band;
}

void MosaicSource::Close() {
  if (m_warped) return;
  m_band = nullptr;
  m_grid.band = nullptr;
  m_grid.ds.reset();
}

std::optional<std::string> MosaicSource::Place(const Lattice& lattice) {
  const std::string reason = ResampleReason(m_grid, lattice);
  if (!reason.empty()) {
    PlaceResampled(lattice);
    return reason;
  }
  const CellOffset at = *AlignedOffset(LatticeGeometry(lattice), m_grid.geometry);
  m_band = m_grid.band;
  m_noData = m_grid.noData;
  m_col0 = at.cols;
  m_row0 = at.rows;
  m_cols = m_grid.geometry.cols;
  m_rows = m_grid.geometry.rows;
  m_band->GetBlockSize(&m_blockWidth, &m_blockHeight);
  m_byBlocks = m_blockWidth > 0 && m_blockHeight > 0 && m_blockHeight <= kMaxBlockHeight;
  Close();
  return std::nullopt;
}

// The cells covering the input's extent, filled by a virtual dataset that warps it there.
void MosaicSource::PlaceResampled(const Lattice& lattice) {
  const GridGeometry& g = m_grid.geometry;
  const Extent e = SameCrs(g.crsWkt, lattice.crsWkt)
                       ? Extent{g.originX, g.originY - g.rows * g.cellSize,
                                g.originX + g.cols * g.cellSize, g.originY}
                       : ProjectedOutline(m_grid, lattice.crsWkt);
  const double cs = lattice.cellSize;
  const double c0 = std::floor((e.minX - lattice.originX) / cs + kEdgeTolerance);
  const double c1 = std::ceil((e.maxX - lattice.originX) / cs - kEdgeTolerance);
  const double r0 = std::floor((lattice.originY - e.maxY) / cs + kEdgeTolerance);
  const double r1 = std::ceil((lattice.originY - e.minY) / cs - kEdgeTolerance);
  const double limit = std::numeric_limits<int>::max();
  if (!(c1 - c0 >= 1 && r1 - r0 >= 1 && c1 - c0 < limit && r1 - r0 < limit))
    throw FileError(kErrOverflow, "Grid does not fit on the cells of the mosaic", m_grid.file);
  m_col0 = static_cast<std::int64_t>(c0);
  m_row0 = static_cast<std::int64_t>(r0);
  m_cols = static_cast<int>(c1 - c0);
  m_rows = static_cast<int>(r1 - r0);

  double dst[6] = {lattice.originX + c0 * cs, cs, 0, lattice.originY - r0 * cs, 0, -cs};
  TransformerPtr transformer = Transformer(m_grid, lattice.crsWkt, dst);
  const std::int32_t fill = m_grid.noData.value_or(kUncovered);
  GDALWarpOptions* wo = GDALCreateWarpOptions();
  wo->hSrcDS = m_grid.ds.get();
  wo->eResampleAlg = GRA_NearestNeighbour;
  wo->eWorkingDataType = GDT_Int32;
  wo->nBandCount = 1;
  wo->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int)));
  wo->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int)));
  wo->panSrcBands[0] = wo->panDstBands[0] = 1;
  if (m_grid.noData) {
    wo->padfSrcNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double)));
    wo->padfSrcNoDataReal[0] = *m_grid.noData;
  }
  wo->padfDstNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double)));
  wo->padfDstNoDataReal[0] = fill;
  wo->papszWarpOptions = CSLSetNameValue(wo->papszWarpOptions, "INIT_DEST", "NO_DATA");
  wo->pfnTransformer = GDALGenImgProjTransform;
  wo->pTransformerArg = transformer.get();
  CPLErrorReset();
  GDALDatasetH vrt = GDALCreateWarpedVRT(m_grid.ds.get(), m_cols, m_rows, dst, wo);
  GDALDestroyWarpOptions(wo);
  if (vrt == nullptr) throw GdalError("Cannot resample grid", m_grid.file);
  transformer.release();  // the virtual dataset owns it now
  m_warped.reset(GDALDataset::FromHandle(vrt));
  m_band = m_warped->GetRasterBand(1);
  if (m_band->GetRasterDataType() != GDT_Int32)
    throw FileError(kErrInternal, "Resampled grid does not deliver 32-bit cells", m_grid.file);
  m_noData = fill;
  m_byBlocks = false;
}

void MosaicSource::Shift(std::int64_t cols, std::int64_t rows) {
  m_col0 -= cols;
  m_row0 -= rows;
}

bool MosaicSource::Meets(const CellWindow& window) const {
  return window.top < m_row0 + m_rows && m_row0 < window.top + window.rows &&
         window.left < m_col0 + m_cols && m_col0 < window.left + window.cols;
}

void MosaicSource::OverlayRow(int row, int left, int cols, std::int32_t* cells) {
  if (row < m_row0 || row >= m_row0 + m_rows) return;
  const std::int64_t from = std::max<std::int64_t>(left, m_col0);
  const std::int64_t to = std::min<std::int64_t>(left + cols, m_col0 + m_cols);
  if (from >= to) return;
  const std::size_t width = static_cast<std::size_t>(to - from);
  const std::int32_t* src =
      Row(static_cast<int>(row - m_row0), static_cast<int>(from - m_col0), static_cast<int>(width));
  std::int32_t* dst = cells + (from - left);
  if (!m_noData) {
    std::memcpy(dst, src, width * sizeof(std::int32_t));
    return;
  }
  // A blend rather than a branch, so that several cells go at once.
  const std::int32_t skip = *m_noData;
  for (std::size_t c = 0; c < width; ++c) dst[c] = src[c] != skip ? src[c] : dst[c];
}

void MosaicSource::Done(const CellWindow& window) {
  if (window.top + window.rows >= m_row0 + m_rows) Release();  // done with it in this strip
}

void MosaicSource::Release() {
  // Swapped out, not assigned {}: assigning keeps the capacity, and every input ever laid
  // would hold its buffers until the mosaic ends.
  std::vector<std::int32_t>().swap(m_buffer);
  m_bufferRows = 0;
  Close();
}

const std::int32_t* MosaicSource::Row(int row, int left, int cols) {
  if (row < m_bufferFirst || row >= m_bufferFirst + m_bufferRows || left < m_bufferLeft ||
      left + cols > m_bufferLeft + m_bufferCols) {
    if (m_band == nullptr) Reopen();
    m_bufferLeft = left;
    m_bufferCols = cols;
    if (m_byBlocks)
      LoadBlockRow(row / m_blockHeight);
    else
      LoadRows(row);
  }
  return m_buffer.data() +
         static_cast<std::size_t>(row - m_bufferFirst) * static_cast<std::size_t>(m_bufferCols) +
         static_cast<std::size_t>(left - m_bufferLeft);
}

// Decodes the blocks of one block row that reach into the buffered columns straight into the
// buffer: no block passes through GDAL's cache, and none is decoded twice in a strip however
// the mosaic's rows fall across the input's blocks.
void MosaicSource::LoadBlockRow(int blockRow) {
  const GDALDataType stored = m_band->GetRasterDataType();
  const int size = GDALGetDataTypeSizeBytes(stored);
  const std::size_t cols = static_cast<std::size_t>(m_bufferCols);
  m_bufferFirst = blockRow * m_blockHeight;
  m_bufferRows = std::min(m_blockHeight, m_rows - m_bufferFirst);
  m_buffer.resize(cols * static_cast<std::size_t>(m_blockHeight));
  std::vector<unsigned char>& block = BlockScratch();
  block.resize(static_cast<std::size_t>(m_blockWidth) * m_blockHeight * size);
  const int end = m_bufferLeft + m_bufferCols;
  for (int blockCol = m_bufferLeft / m_blockWidth; blockCol * m_blockWidth < end; ++blockCol) {
    CPLErrorReset();
    if (m_band->ReadBlock(blockCol, blockRow, block.data()) != CE_None)
      throw ReadFailure(m_bufferFirst, m_bufferRows, blockCol * m_blockWidth,
                        std::min(m_blockWidth, m_cols - blockCol * m_blockWidth));
    // The part of the block inside the buffered columns.
    const int from = std::max(blockCol * m_blockWidth, m_bufferLeft);
    const int to = std::min({(blockCol + 1) * m_blockWidth, end, m_cols});
    const std::size_t skip = static_cast<std::size_t>(from - blockCol * m_blockWidth) * size;
    for (int r = 0; r < m_bufferRows; ++r)
      GDALCopyWords(block.data() + static_cast<std::size_t>(r) * m_blockWidth * size + skip, stored,
                    size,
                    m_buffer.data() + static_cast<std::size_t>(r) * cols + (from - m_bufferLeft),
                    GDT_Int32, sizeof(std::int32_t), to - from);
  }
}

void MosaicSource::LoadRows(int first) {
  m_bufferFirst = first;
  m_bufferRows = std::min(kRowsPerRead, m_rows - first);
  m_buffer.resize(static_cast<std::size_t>(m_bufferCols) * kRowsPerRead);
  CPLErrorReset();
  if (m_band->RasterIO(GF_Read, m_bufferLeft, first, m_bufferCols, m_bufferRows, m_buffer.data(),
                       m_bufferCols, m_bufferRows, GDT_Int32, 0, 0, nullptr) != CE_None)
    throw ReadFailure(first, m_bufferRows, m_bufferLeft, m_bufferCols);
}

// A failed read names the cells: the input's own rows and columns, or the mosaic's for an
// input being resampled.
AppError MosaicSource::ReadFailure(int firstRow, int rows, int firstCol, int cols) const {
  return GdalError("Cannot read the cells in rows " + std::to_string(firstRow) + " to " +
                       std::to_string(firstRow + rows - 1) + ", columns " +
                       std::to_string(firstCol) + " to " + std::to_string(firstCol + cols - 1) +
                       (m_warped ? " of the grid, resampled onto the mosaic's cells"
                                 : " of the grid; the file may be damaged or cut short"),
                   m_grid.file);
}

}  // namespace rivanet::gis
