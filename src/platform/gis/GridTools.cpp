#include "platform/gis/GridTools.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/gis/GridFolder.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/ValueCounter.h"

namespace fs = std::filesystem;

namespace rivanet::gis {

MosaicResult ExtractByAttributes(const fs::path& input, const std::string& whereClause,
                                 const fs::path& output, const GridEncoding& encoding) {
  MosaicOptions options;
  options.keep = ParseCellCondition(whereClause);
  options.encoding = encoding;
  const CellType type = GridReader(input).Type();
  return MosaicToNewRaster({input}, output.parent_path(), output.filename().string(), "", type,
                           options);
}

std::int64_t BuildRasterAttributeTable(const fs::path& grid) {
  if (LocateGrid(grid).IsArcInfo())
    throw FileError(kErrInvalidArgument,
                    "An ArcInfo grid keeps its value attribute table in INFO, which the program "
                    "does not write",
                    grid);
  ValueCounter counter;
  {
    GridReader reader(grid);
    const std::optional<std::int32_t> noData = reader.NoData();
    const GridGeometry& g = reader.Geometry();
    const int step = std::max(1, reader.BlockHeight());
    std::vector<std::int32_t> cells(static_cast<std::size_t>(g.cols) * step);
    for (int row = 0; row < g.rows; row += step) {
      const int n = std::min(step, g.rows - row);
      reader.ReadRows(row, n, cells.data());
      for (std::size_t i = 0; i < static_cast<std::size_t>(n) * g.cols; ++i)
        if (cells[i] != noData) counter.Add(cells[i]);
    }
  }
  return WriteCountsVat(grid, counter.TakeSorted());
}

}  // namespace rivanet::gis
