#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/gis/GridTypes.h"

namespace rivanet::gis {

// Rows (and columns) of a tile of the grids the program writes.
inline constexpr int kGridTileRows = 256;

// DEFLATE level of the grids the program writes, unless the settings ask for another: the
// fastest level whose files stay within 15% of level 6's (bench/RESULTS.md has the table).
inline constexpr int kDefaultDeflateLevel = 3;

// How the cells are stored. Compression runs on all cores whatever the level.
struct GridEncoding {
  int deflateLevel = kDefaultDeflateLevel;  // 1 (fastest) to 9 (smallest)
};

// Writes a grid block by block; memory stays at one row of blocks whatever the grid size, and
// at none when the caller hands over whole rows of tiles (kGridTileRows rows at a time from the
// top), which are written from the caller's cells without a copy.
//
// The cells go to a temporary file inside the grid folder; Close renames it onto
// <folder>/<name of folder>.tif, so no half-made grid ever sits under the grid's name. A
// writer destroyed without a successful Close (an abandoned or failed write) removes its
// temporary file and leaves an earlier grid of that name as it was.
class GridWriter {
 public:
  // The folder is created when missing. cellSize must be positive and cols, rows at least 1;
  // for UInt8 a NoData must lie in 0..255; the DEFLATE level 1 to 9.
  GridWriter(const std::filesystem::path& gridFolder, const GridGeometry& geometry, CellType type,
             std::optional<std::int32_t> noData, const GridEncoding& encoding = {});
  ~GridWriter();
  GridWriter(const GridWriter&) = delete;
  GridWriter& operator=(const GridWriter&) = delete;

  // Writes `rowCount` full rows starting at `firstRow`; `cells` holds rowCount * cols values.
  // Rows come top to bottom without gaps (firstRow is the first row not yet written). For a
  // UInt8 grid every value must lie in 0..255.
  void WriteRows(int firstRow, int rowCount, const std::int32_t* cells);
  // Writes a block of whole tiles instead: `top` and `left` on tile boundaries, `rows` the
  // tile height (fewer at the grid's bottom), `cols` whole tiles (or up to the grid's right
  // edge); `cells` holds rows * cols values. Blocks may come in any order, each tile once; a
  // writer takes rows or blocks, not both.
  void WriteTiles(int top, int left, int rows, int cols, const std::int32_t* cells);
  // Every row must have been written. Flushes the file and puts it in place of an earlier
  // grid of the folder; that grid's value attribute table and side files go with it, since
  // they no longer describe the cells. Errors surface here, not in the destructor.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace rivanet::gis
