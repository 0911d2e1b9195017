#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/gis/GridTypes.h"

namespace rivanet::gis {

// Reads a grid (a GeoTIFF grid folder or an ArcInfo binary grid folder) block by block,
// without writing anything next to it. Folder and file names are matched whatever their
// letter case. Every failure is an AppError naming the file.
class GridReader {
 public:
  explicit GridReader(const std::filesystem::path& gridFolder);
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  const GridGeometry& Geometry() const;
  // UInt8 for 8-bit grids; Int32 for every other integer grid (16-bit ArcInfo grids included).
  // Floating-point grids are refused when opened.
  CellType Type() const;
  // None when the grid has none, or one no int32 cell can equal.
  std::optional<std::int32_t> NoData() const;
  // The stored block (tile or strip) size; reading whole blocks of rows is the cheapest.
  int BlockWidth() const;
  int BlockHeight() const;
  // Reads `rowCount` full rows starting at `firstRow` into `cells` (rowCount * cols values).
  void ReadRows(int firstRow, int rowCount, std::int32_t* cells);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace rivanet::gis
