#pragma once

// The inputs of a mosaic, each placed on the mosaic's cells and read a row at a time. Private
// to the GIS library: it holds GDAL objects.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/gis/GridOpen.h"
#include "platform/gis/WindowFiller.h"

namespace rivanet::gis {

// The cell grid of a mosaic: origin of cell (0, 0), cell size, coordinate system.
struct Lattice {
  double originX = 0;
  double originY = 0;
  double cellSize = 0;
  std::string crsWkt;
};

// The first input's cells, or, when `coordinateSystem` (WKT) is given and differs from the
// first input's, the cells GDAL suggests for the first input projected into it.
Lattice LatticeOf(const OpenedGrid& first, const std::string& coordinateSystem);

// One input of a mosaic. Once placed it covers the columns [Col0(), Col0() + Cols()) and rows
// [Row0(), Row0() + Rows()) of the lattice, counted from the mosaic's top-left cell after
// Shift. Rows must be overlaid top to bottom: each block of the input is decoded once.
//
// An input copied cell for cell holds its file open only while its rows are being laid: it is
// closed once placed, opened again at its first row and closed after its last, so that a
// mosaic of a thousand workspaces does not hold a thousand files (and their GDAL state) open.
class MosaicSource {
 public:
  explicit MosaicSource(const std::filesystem::path& gridFolder);

  // The grid's file, geometry and cell type; its dataset only until the input is placed.
  const OpenedGrid& Grid() const { return m_grid; }
  // Puts the input on the lattice. Returns why it has to be resampled (nearest neighbour), or
  // nothing when its cells are the lattice's and are copied as they are (the file is then
  // closed until its rows are wanted).
  std::optional<std::string> Place(const Lattice& lattice);
  void Shift(std::int64_t cols, std::int64_t rows);
  std::int64_t Col0() const { return m_col0; }
  std::int64_t Row0() const { return m_row0; }
  int Cols() const { return m_cols; }
  int Rows() const { return m_rows; }

  // Whether the input has cells in `window` of the mosaic.
  bool Meets(const CellWindow& window) const;
  // Lays the input's cells with data over columns [left, left + cols) of row `row` of the
  // mosaic, held in `cells`. Rows come a column strip at a time, top to bottom in each strip:
  // the input's blocks are decoded once per strip they reach into.
  void OverlayRow(int row, int left, int cols, std::int32_t* cells);
  // Called once `window` is laid: after the input's last row in a strip, its buffers and file
  // are given back.
  void Done(const CellWindow& window);

 private:
  void PlaceResampled(const Lattice& lattice);
  // Columns [left, left + cols) of row `row` of the placed input as int32 cells.
  const std::int32_t* Row(int row, int left, int cols);
  void LoadBlockRow(int blockRow);
  void LoadRows(int first);
  AppError ReadFailure(int firstRow, int rows, int firstCol, int cols) const;
  void Release();
  // Opens a closed input again, refusing it when its cells are no longer those it was placed by.
  void Reopen();
  // Closes an input copied cell for cell (a resampled one stays open: its warper reads it).
  void Close();

  std::filesystem::path m_folder;
  OpenedGrid m_grid;
  DatasetPtr m_warped;  // a resampled input's virtual dataset; closed before m_grid
  GDALRasterBand* m_band = nullptr;
  std::optional<std::int32_t> m_noData;
  std::int64_t m_col0 = 0;
  std::int64_t m_row0 = 0;
  int m_cols = 0;
  int m_rows = 0;

  // Rows [m_bufferFirst, m_bufferFirst + m_bufferRows), columns [m_bufferLeft, m_bufferLeft +
  // m_bufferCols) of the input, decoded.
  bool m_byBlocks = false;  // whole blocks read straight from the file, else through RasterIO
  int m_blockWidth = 0;
  int m_blockHeight = 0;
  std::vector<std::int32_t> m_buffer;
  int m_bufferFirst = 0;
  int m_bufferRows = 0;
  int m_bufferLeft = 0;
  int m_bufferCols = 0;
};

}  // namespace rivanet::gis
