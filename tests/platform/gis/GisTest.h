#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridWriter.h"
#include "support/TempDir.h"

namespace rivanet::test {

template <class F>
AppError Raised(F&& f) {
  try {
    f();
  } catch (const AppError& e) {
    return e;
  }
  ADD_FAILURE() << "no AppError raised";
  return AppError(0, "");
}

inline std::string EpsgWkt(int code) {
  return gis::WktOf(*gis::SpatialRefFromEpsg(code, {}), "test");
}

using Cells = std::vector<std::int32_t>;

// Writes the grid <folder>/<folder>.tif with these cells, all rows at once.
inline void WriteGrid(const std::filesystem::path& folder, const gis::GridGeometry& g,
                      const Cells& cells, std::optional<std::int32_t> noData = -9,
                      gis::CellType type = gis::CellType::Int32) {
  gis::GridWriter writer(folder, g, type, noData);
  writer.WriteRows(0, g.rows, cells.data());
  writer.Close();
}

// Every cell of a grid, read `rowsPerRead` rows at a time.
inline Cells CellsOf(const std::filesystem::path& folder, int rowsPerRead = 1 << 30) {
  gis::GridReader reader(folder);
  const gis::GridGeometry& g = reader.Geometry();
  Cells cells(static_cast<std::size_t>(g.cols) * g.rows);
  for (int row = 0; row < g.rows; row += rowsPerRead)
    reader.ReadRows(row, std::min(rowsPerRead, g.rows - row),
                    cells.data() + static_cast<std::size_t>(row) * g.cols);
  return cells;
}

}  // namespace rivanet::test
