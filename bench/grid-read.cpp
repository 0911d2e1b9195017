// Streams one grid through the grid reader a row of blocks at a time, checks its cells against
// the counts of its value attribute table, and copies it through the grid writer: the two
// operations every grid mosaic is made of, timed on their own.
//
//   build/bench/rivanet-bench-grid-read [GRID_FOLDER]
//
// Without an argument it reads the largest grid of the test data (an ArcInfo grid of
// 4718 x 4289 cells). Exits 1 when the cells disagree with the table or anything fails.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/GridWriter.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Calls `each(firstRow, rowCount, cells)` for every row of blocks of the grid.
template <class Each>
void StreamRows(GridReader& reader, Each each) {
  const GridGeometry& g = reader.Geometry();
  const int step = std::max(1, reader.BlockHeight());
  std::vector<std::int32_t> window(static_cast<std::size_t>(g.cols) * step);
  for (int row = 0; row < g.rows; row += step) {
    const int n = std::min(step, g.rows - row);
    reader.ReadRows(row, n, window.data());
    each(row, n, window.data());
  }
}

int Run(const fs::path& folder) {
  GridReader reader(folder);
  const GridGeometry& g = reader.Geometry();
  const double cells = static_cast<double>(g.cols) * g.rows;
  std::printf("grid   %s\ncells  %d x %d, block %d x %d\n", folder.c_str(), g.cols, g.rows,
              reader.BlockWidth(), reader.BlockHeight());

  auto start = Clock::now();
  std::map<std::int64_t, std::int64_t> counts;
  std::int64_t noData = 0;
  StreamRows(reader, [&](int, int n, const std::int32_t* window) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) * g.cols; ++i)
      reader.NoData() == window[i] ? ++noData : ++counts[window[i]];
  });
  double took = Seconds(start);
  std::printf("read   %.2f s, %.1f million cells/s; %lld NoData cells\n", took, cells / took / 1e6,
              static_cast<long long>(noData));

  int status = 0;
  if (HasVat(folder)) {
    const Vat vat = ReadVat(folder);
    std::map<std::int64_t, std::int64_t> expected;
    for (const auto& row : vat.rows) expected[VatInteger(row.at(0))] = VatInteger(row.at(1));
    status = counts == expected ? 0 : 1;
    std::printf("check  cells %s the value attribute table's counts\n",
                status == 0 ? "match" : "DIFFER FROM");
  }

  const fs::path scratch = fs::temp_directory_path() /
                           ("rivanet-bench-grid-read-" + std::to_string(std::random_device{}()));
  start = Clock::now();
  {
    GridWriter writer(scratch / "copy", g, reader.Type(), reader.NoData());
    StreamRows(reader, [&](int row, int n, const std::int32_t* window) {
      writer.WriteRows(row, n, window);
    });
    writer.Close();
  }
  took = Seconds(start);
  std::printf("copy   %.2f s, %.1f million cells/s (read and written as a tiled GeoTIFF)\n", took,
              cells / took / 1e6);
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = argc > 1
                              ? fs::path(argv[1])
                              : fs::path(RIVANET_TEST_DATA) / "esri-grids/bynum-topo/bynum_topo";
  try {
    return Run(folder);
  } catch (const AppError& e) {
    std::fprintf(stderr, "rivanet-bench-grid-read: %s\n", e.Description().c_str());
    return 1;
  }
}
