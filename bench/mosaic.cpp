// Mosaics the four grids of a bench set the way a run does (same tools, same options), each
// timed on its own: the grid phase without the rest of a run, for profiling.
//
//   build-bench/bench/rivanet-bench-mosaic DATA_FOLDER OUTPUT_FOLDER [DEFLATE_LEVEL]
//
// DATA_FOLDER holds the workspaces and workspaces.txt (as bench/run generates them). Prints
// each mosaic's time and the process's peak resident memory so far.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "grids/CatchmentVat.h"
#include "platform/Error.h"
#include "platform/gis/CellCondition.h"
#include "platform/gis/GridMosaic.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;

namespace {

std::vector<std::string> Units(const fs::path& list) {
  std::ifstream in(list);
  std::vector<std::string> units;
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) units.push_back(line);
  }
  return units;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s DATA_FOLDER OUTPUT_FOLDER [DEFLATE_LEVEL]\n", argv[0]);
    return 2;
  }
  const fs::path data = argv[1], output = argv[2];
  GridEncoding encoding;
  if (argc > 3) encoding.deflateLevel = std::atoi(argv[3]);
  try {
    const std::vector<std::string> units = Units(data / "workspaces.txt");
    // The grids of the workspace layout, in the order and with the options of a run.
    const auto one = [&](const schema::Grid& grid) {
      std::vector<fs::path> inputs;
      for (const std::string& unit : units) inputs.push_back(data / unit / grid.Path());
      MosaicOptions options;
      if (grid.positiveOnly) options.keep = ParseCellCondition("value > 0");
      options.writeVat = grid.name == kCatchmentGrid;
      options.encoding = encoding;
      const CellType type =
          grid.cellType == schema::CellType::UInt8 ? CellType::UInt8 : CellType::Int32;
      const auto start = std::chrono::steady_clock::now();
      const MosaicResult r =
          MosaicToNewRaster(inputs, output / grid.folder, grid.name, "", type, options);
      const double took =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      rusage usage{};
      getrusage(RUSAGE_SELF, &usage);
      std::printf("mosaic %s %.3f s (%lld cells with data), peak so far %.1f MiB\n",
                  grid.name.c_str(), took, static_cast<long long>(r.cellsWithData),
                  static_cast<double>(usage.ru_maxrss) / 1024.0);
    };
    const auto start = std::chrono::steady_clock::now();
    for (const schema::Grid& grid : schema::ShippedSchema().grids) one(grid);
    std::printf("mosaic total %.3f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  } catch (const AppError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
