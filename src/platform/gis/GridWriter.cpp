#include "platform/gis/GridWriter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <system_error>
#include <vector>

#include "platform/files/FileSystem.h"
#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

constexpr int kTile = kGridTileRows;

// A name no other writer uses, in this process or another, and that no grid, value attribute
// table or side file of the grid can have (those all start with "<name>.tif"). It does not end
// in ".tif" either: a write cut off by a kill leaves a file that no GIS takes for a grid.
std::string TemporaryName(const std::string& grid) {
  static const unsigned processToken = std::random_device{}();
  static std::atomic<unsigned> counter{0};
  return grid + "-writing-" + std::to_string(processToken) + "-" + std::to_string(++counter) +
         ".partial";
}

// A failed write of the grid's cells as GDAL first reported it: its later messages say only
// that a write failed, the first one why (a full disk).
AppError WriteFailure(const QuietGdal& quiet, std::string_view operation, const fs::path& file) {
  AppError error = GdalWriteError(operation, file);
  if (auto first = quiet.FirstMessage(operation, file)) return *first;
  return error;
}

}  // namespace

struct GridWriter::Impl {
  fs::path folder;
  std::string name;
  fs::path file;  // <folder>/<name>.tif, where Close puts the grid
  fs::path temp;  // where the cells go until then
  bool createdFolder = false;
  bool placed = false;
  DatasetPtr ds;
  GDALRasterBand* band = nullptr;
  GridGeometry geometry;
  CellType type = CellType::Int32;
  std::int32_t fill = 0;                 // value of the cells beyond the grid edge in edge tiles
  int nextRow = 0;                       // first row not yet handed over
  bool tilesMode = false;                // cells come as blocks of tiles (WriteTiles)
  std::int64_t tilesWritten = 0;         // each tile is written once
  int windowTop = 0;                     // first row of the tile row being collected
  std::vector<std::int32_t> window;      // one tile row: kTile rows x cols, when rows come apart
  std::vector<std::int32_t> tileBuffer;  // one tile in the stored cell type (bytes at the front)

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl();
  void Create(std::optional<std::int32_t> noData, const GridEncoding& encoding);
  void WriteTile(int tileRow, int tileCol, const std::int32_t* src, std::size_t stride,
                 int rowsHere, int colsHere, const QuietGdal& quiet);
  void FlushTiles(const std::int32_t* rows, const QuietGdal& quiet);
  void PutInPlace();
};

GridWriter::GridWriter(const fs::path& gridFolder, const GridGeometry& geometry, CellType type,
                       std::optional<std::int32_t> noData, const GridEncoding& encoding)
    : m_impl(std::make_unique<Impl>()) {
  Impl& w = *m_impl;
  const GridFolder where = FindGridFolder(gridFolder);
  w.folder = where.folder;
  w.name = where.name;
  w.file = w.folder / (w.name + ".tif");
  w.geometry = geometry;
  w.type = type;
  if (geometry.cols < 1 || geometry.rows < 1)
    throw FileError(kErrInvalidArgument, "A grid needs at least one row and one column", w.file);
  if (!(geometry.cellSize > 0) || !std::isfinite(geometry.cellSize) ||
      !std::isfinite(geometry.originX) || !std::isfinite(geometry.originY))
    throw FileError(kErrInvalidArgument, "Invalid cell size or origin", w.file);
  if (type == CellType::UInt8 && noData && (*noData < 0 || *noData > 255))
    throw FileError(kErrOverflow, "NoData " + std::to_string(*noData) + " does not fit 8-bit cells",
                    w.file);
  if (encoding.deflateLevel < 1 || encoding.deflateLevel > 9)
    throw FileError(kErrInvalidArgument,
                    "DEFLATE level " + std::to_string(encoding.deflateLevel) + " is outside 1 to 9",
                    w.file);
  w.fill = noData.value_or(0);

  std::error_code ec;
  w.createdFolder = !fs::exists(w.folder, ec);
  fs::create_directories(w.folder, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(w.folder));
  w.temp = w.folder / TemporaryName(w.name);
  w.Create(noData, encoding);
}

void GridWriter::Impl::Create(std::optional<std::int32_t> noData, const GridEncoding& encoding) {
  QuietGdal quiet;
  const ScopedConfigOption noSideFiles("GDAL_PAM_ENABLED", "NO");
  GDALDriver& driver = Driver("GTiff", file);
  const std::string block = std::to_string(kTile);
  const std::string bx = "BLOCKXSIZE=" + block, by = "BLOCKYSIZE=" + block;
  const std::string level = "ZLEVEL=" + std::to_string(encoding.deflateLevel);
  // The tiles handed over are compressed by GDAL's worker threads while the caller prepares
  // the next ones.
  const char* options[] = {"TILED=YES",   bx.c_str(),    by.c_str(),         "COMPRESS=DEFLATE",
                           "PREDICTOR=2", level.c_str(), "BIGTIFF=IF_SAFER", "NUM_THREADS=ALL_CPUS",
                           nullptr};
  CPLErrorReset();
  ds.reset(driver.Create(temp.c_str(), geometry.cols, geometry.rows, 1,
                         type == CellType::UInt8 ? GDT_Byte : GDT_Int32,
                         const_cast<char**>(options)));
  if (!ds) throw GdalError("Cannot create grid", file);
  band = ds->GetRasterBand(1);

  double transform[6] = {geometry.originX,  geometry.cellSize, 0, geometry.originY, 0,
                         -geometry.cellSize};
  CPLErrorReset();
  if (ds->SetGeoTransform(transform) != CE_None)
    throw GdalError("Cannot set the georeferencing", file);
  if (!geometry.crsWkt.empty()) {
    CPLErrorReset();
    if (ds->SetProjection(geometry.crsWkt.c_str()) != CE_None)
      throw GdalError("Cannot set the coordinate system", file);
  }
  if (noData) {
    CPLErrorReset();
    if (band->SetNoDataValue(*noData) != CE_None) throw GdalError("Cannot set NoData", file);
  }
  tileBuffer.resize(static_cast<std::size_t>(kTile) * kTile);
}

// In the Impl, not the GridWriter, so that it also runs when the constructor throws.
GridWriter::Impl::~Impl() {
  if (ds) {
    QuietGdal quiet;
    const ScopedConfigOption noSideFiles("GDAL_PAM_ENABLED", "NO");
    ds.reset();
  }
  if (placed) return;
  // Nothing of an unfinished write stays; an earlier grid was never touched.
  std::error_code ec;
  if (!temp.empty()) fs::remove(temp, ec);
  if (createdFolder) fs::remove(folder, ec);  // only when still empty
}

GridWriter::~GridWriter() = default;

// Writes the tile at (tileRow, tileCol) from `src`, whose rows are `stride` cells apart and
// hold `rowsHere` rows of `colsHere` cells inside the grid; the rest of the tile is filled.
// `quiet` is the caller's: what GDAL said first in it names the cause of a failed write.
void GridWriter::Impl::WriteTile(int tileRow, int tileCol, const std::int32_t* src,
                                 std::size_t stride, int rowsHere, int colsHere,
                                 const QuietGdal& quiet) {
  const bool bytes = type == CellType::UInt8;
  for (int r = 0; r < kTile; ++r) {
    const std::int32_t* from = src + static_cast<std::size_t>(r) * stride;
    const int inside = r < rowsHere ? colsHere : 0;  // cells of this tile row inside the grid
    const std::size_t at = static_cast<std::size_t>(r) * kTile;
    if (bytes) {
      unsigned char* dst = reinterpret_cast<unsigned char*>(tileBuffer.data()) + at;
      for (int c = 0; c < inside; ++c) dst[c] = static_cast<unsigned char>(from[c]);
      std::fill(dst + inside, dst + kTile, static_cast<unsigned char>(fill));
    } else {
      std::int32_t* dst = tileBuffer.data() + at;
      std::copy(from, from + inside, dst);
      std::fill(dst + inside, dst + kTile, fill);
    }
  }
  CPLErrorReset();
  // Tiles are written to the file while later ones are handed over, so a failed write shows in
  // the call that meets it, which may itself succeed, and later calls only fail.
  if (band->WriteBlock(tileCol, tileRow, tileBuffer.data()) != CE_None || GdalFailed())
    throw WriteFailure(quiet, "Cannot write grid block", file);
  ++tilesWritten;
}

// Writes the row of tiles at windowTop from `rows` (its rows, cols cells each).
void GridWriter::Impl::FlushTiles(const std::int32_t* rows, const QuietGdal& quiet) {
  const int rowsHere = std::min(kTile, geometry.rows - windowTop);
  const std::size_t cols = static_cast<std::size_t>(geometry.cols);
  for (int tileCol = 0; tileCol * kTile < geometry.cols; ++tileCol) {
    const int left = tileCol * kTile;
    WriteTile(windowTop / kTile, tileCol, rows + left, cols, rowsHere,
              std::min(kTile, geometry.cols - left), quiet);
  }
  windowTop += rowsHere;
}

// Refuses, naming the first such cell, a block of `rows` rows of `stride` cells at (top, left)
// holding a value that 8-bit cells cannot.
static void RefuseBeyondEightBits(const std::int32_t* cells, int rows, std::size_t stride, int top,
                                  int left, const fs::path& file) {
  const std::size_t count = stride * static_cast<std::size_t>(rows);
  // Looked for in one pass the compiler can do several cells at a time; found only when there.
  bool beyond = false;
  for (std::size_t i = 0; i < count; ++i) beyond |= static_cast<std::uint32_t>(cells[i]) > 255u;
  if (!beyond) return;
  const std::int32_t* bad =
      std::find_if(cells, cells + count, [](std::int32_t v) { return v < 0 || v > 255; });
  const std::size_t at = static_cast<std::size_t>(bad - cells);
  throw FileError(kErrOverflow,
                  "Cell value " + std::to_string(*bad) + " at row " +
                      std::to_string(top + static_cast<int>(at / stride)) + ", column " +
                      std::to_string(left + static_cast<int>(at % stride)) +
                      " does not fit 8-bit cells",
                  file);
}

void GridWriter::WriteRows(int firstRow, int rowCount, const std::int32_t* cells) {
  Impl& w = *m_impl;
  if (!w.ds) throw FileError(kErrInvalidArgument, "Grid already closed", w.file);
  if (w.tilesMode || firstRow != w.nextRow || rowCount < 0 || rowCount > w.geometry.rows - firstRow)
    throw FileError(kErrSubscriptOutOfRange,
                    "Rows " + std::to_string(firstRow) + " to " +
                        std::to_string(firstRow + rowCount - 1) +
                        " written out of order (next is " + std::to_string(w.nextRow) + " of " +
                        std::to_string(w.geometry.rows) + ")",
                    w.file);
  QuietGdal quiet;
  const std::size_t cols = static_cast<std::size_t>(w.geometry.cols);
  if (w.type == CellType::UInt8) RefuseBeyondEightBits(cells, rowCount, cols, firstRow, 0, w.file);
  for (int i = 0; i < rowCount;) {
    const int tileRows = std::min(kTile, w.geometry.rows - w.windowTop);
    const std::int32_t* src = cells + static_cast<std::size_t>(i) * cols;
    if (w.nextRow == w.windowTop && rowCount - i >= tileRows) {
      // A whole row of tiles: written from the caller's cells, without a copy.
      w.FlushTiles(src, quiet);
      w.nextRow += tileRows;
      i += tileRows;
      continue;
    }
    w.window.resize(static_cast<std::size_t>(kTile) * cols);
    const std::size_t slot = static_cast<std::size_t>(w.nextRow - w.windowTop);
    std::copy(src, src + cols, w.window.begin() + static_cast<std::ptrdiff_t>(slot * cols));
    ++w.nextRow;
    ++i;
    if (w.nextRow - w.windowTop == tileRows) w.FlushTiles(w.window.data(), quiet);
  }
}

void GridWriter::WriteTiles(int top, int left, int rows, int cols, const std::int32_t* cells) {
  Impl& w = *m_impl;
  if (!w.ds) throw FileError(kErrInvalidArgument, "Grid already closed", w.file);
  const GridGeometry& g = w.geometry;
  if (w.nextRow != 0 || top < 0 || left < 0 || top % kTile != 0 || left % kTile != 0 ||
      top >= g.rows || left >= g.cols || rows != std::min(kTile, g.rows - top) || cols < 1 ||
      cols > g.cols - left || (cols % kTile != 0 && left + cols != g.cols))
    throw FileError(kErrSubscriptOutOfRange,
                    "Cells " + std::to_string(rows) + " x " + std::to_string(cols) + " at row " +
                        std::to_string(top) + ", column " + std::to_string(left) +
                        " are no block of whole tiles",
                    w.file);
  QuietGdal quiet;
  const std::size_t stride = static_cast<std::size_t>(cols);
  if (w.type == CellType::UInt8) RefuseBeyondEightBits(cells, rows, stride, top, left, w.file);
  w.tilesMode = true;
  for (int c = 0; c < cols; c += kTile)
    w.WriteTile(top / kTile, (left + c) / kTile, cells + c, stride, rows, std::min(kTile, cols - c),
                quiet);
}

void GridWriter::Close() {
  Impl& w = *m_impl;
  if (!w.ds) {
    if (w.placed) return;
    throw FileError(kErrInvalidArgument, "Grid write failed earlier", w.file);
  }
  QuietGdal quiet;
  const ScopedConfigOption noSideFiles("GDAL_PAM_ENABLED", "NO");
  DatasetPtr ds = std::move(w.ds);
  const std::int64_t tiles = static_cast<std::int64_t>((w.geometry.rows + kTile - 1) / kTile) *
                             ((w.geometry.cols + kTile - 1) / kTile);
  if (!w.tilesMode && w.nextRow != w.geometry.rows)
    throw FileError(kErrInvalidArgument,
                    "Grid incomplete: " + std::to_string(w.nextRow) + " of " +
                        std::to_string(w.geometry.rows) + " rows written",
                    w.file);
  if (w.tilesWritten != tiles)
    throw FileError(kErrInvalidArgument,
                    "Grid incomplete: " + std::to_string(w.tilesWritten) + " of " +
                        std::to_string(tiles) + " tiles written",
                    w.file);
  CPLErrorReset();
  ds->FlushCache(false);
  if (GdalFailed()) throw WriteFailure(quiet, "Cannot write grid", w.file);
  CloseDataset(ds, "Cannot close grid", w.file);
  w.PutInPlace();
}

// The earlier grid's table and side files go first: should the rename then fail, the folder
// holds the earlier cells without a table, never new cells with a table that misdescribes them.
void GridWriter::Impl::PutInPlace() {
  RemoveMatching(folder, {name + ".tfw"}, {name + ".tif."});
  std::error_code ec;
  fs::rename(temp, file, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(file));
  placed = true;
  // The same grid spelled in another letter case, as a case-insensitive file system had it.
  RemoveMatching(folder, {name + ".tif"}, {}, file);
}

}  // namespace rivanet::gis
