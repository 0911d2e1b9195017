#include "platform/gis/GridMosaic.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/files/FileSystem.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/MosaicSource.h"
#include "platform/gis/ValueCounter.h"
#include "platform/gis/WindowFiller.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

// Rows handed to the writer at a time: one row of its tiles, which it writes without a copy.
constexpr int kWindowRows = kGridTileRows;

// The mosaic's geometry: the lattice cells covering every input. Moves the inputs' positions
// to the mosaic's top-left cell.
GridGeometry UnionGeometry(std::vector<MosaicSource>& sources, const Lattice& lattice,
                           const fs::path& output) {
  const MosaicSource& front = sources.front();
  std::int64_t c0 = front.Col0(), r0 = front.Row0();
  std::int64_t c1 = c0 + front.Cols(), r1 = r0 + front.Rows();
  for (const MosaicSource& s : sources) {
    c0 = std::min(c0, s.Col0());
    r0 = std::min(r0, s.Row0());
    c1 = std::max(c1, s.Col0() + s.Cols());
    r1 = std::max(r1, s.Row0() + s.Rows());
  }
  if (c1 - c0 > std::numeric_limits<int>::max() || r1 - r0 > std::numeric_limits<int>::max())
    throw FileError(kErrOverflow, "The grids together span more cells than a grid can hold",
                    output);
  for (MosaicSource& s : sources) s.Shift(c0, r0);
  GridGeometry g;
  g.originX = lattice.originX + static_cast<double>(c0) * lattice.cellSize;
  g.originY = lattice.originY - static_cast<double>(r0) * lattice.cellSize;
  g.cellSize = lattice.cellSize;
  g.cols = static_cast<int>(c1 - c0);
  g.rows = static_cast<int>(r1 - r0);
  g.crsWkt = lattice.crsWkt;
  return g;
}

// What a pass over a window of the mosaic found.
struct Tally {
  std::int64_t data = 0;  // cells with data
  std::size_t outOfRange =
      std::numeric_limits<std::size_t>::max();  // first cell 8 bits cannot hold
};

// Turns the cells `keep` refuses into NoData and tallies the rest, counting each value when a
// counter is given. One pass, with the condition compiled in (see WithCondition).
template <class Keep>
Tally FinishCells(std::int32_t* cells, std::size_t n, std::int32_t noData, Keep keep,
                  ValueCounter* counter, bool eightBit) {
  Tally t;
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t v = cells[i];
    if (v == noData) continue;
    if (!keep(v)) {
      cells[i] = noData;
      continue;
    }
    if (eightBit && (v < 0 || v > 255) && t.outOfRange == std::numeric_limits<std::size_t>::max())
      t.outOfRange = i;
    ++t.data;
    if (counter != nullptr) counter->Add(v);
  }
  return t;
}

// Calls f with the mosaic's cell condition as a function object (see WithComparison).
template <class F>
Tally WithCondition(const std::optional<CellCondition>& condition, F&& f) {
  if (!condition) return f([](std::int32_t) { return true; });
  return WithComparison(*condition, std::forward<F>(f));
}

}  // namespace

MosaicResult MosaicToNewRaster(const std::vector<fs::path>& inputs, const fs::path& outputFolder,
                               const std::string& name, const std::string& coordinateSystem,
                               CellType pixelType, const MosaicOptions& options) {
  QuietGdal quiet;
  const fs::path output = outputFolder / name;
  if (inputs.empty()) throw FileError(kErrInvalidArgument, "No grids to mosaic into", output);

  // Each input is placed as soon as it is opened, which closes it until its rows are laid.
  std::vector<MosaicSource> sources;
  sources.reserve(inputs.size());
  sources.emplace_back(inputs.front());
  const Lattice lattice = LatticeOf(sources.front().Grid(), coordinateSystem);
  MosaicResult result;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (i > 0) sources.emplace_back(inputs[i]);
    MosaicSource& s = sources.back();
    if (const auto reason = s.Place(lattice))
      result.resampled.push_back("Grid " + DisplayPath(s.Grid().file) +
                                 " was resampled (nearest neighbour) onto the cells of " +
                                 DisplayPath(sources.front().Grid().file) + ": " + *reason);
  }
  const GridGeometry geometry = UnionGeometry(sources, lattice, output);
  result.geometry = geometry;

  const std::int32_t noData = NoDataOf(pixelType);
  GridWriter writer(output, geometry, pixelType, noData, options.encoding);
  const std::size_t cols = static_cast<std::size_t>(geometry.cols);
  ValueCounter counter;
  // Runs on the filler's thread, which alone touches the inputs and the counter until Finish.
  const auto fill = [&](int top, int count, std::int32_t* window) {
    const std::size_t cells = cols * static_cast<std::size_t>(count);
    std::fill_n(window, cells, noData);
    for (MosaicSource& s : sources) s.Overlay(top, count, geometry.cols, window);
    const Tally tally = WithCondition(options.keep, [&](auto keep) {
      return FinishCells(window, cells, noData, keep, options.writeVat ? &counter : nullptr,
                         pixelType == CellType::UInt8);
    });
    if (tally.outOfRange < cells)
      throw FileError(kErrOverflow,
                      "Cell value " + std::to_string(window[tally.outOfRange]) + " at row " +
                          std::to_string(top + static_cast<int>(tally.outOfRange / cols)) +
                          ", column " + std::to_string(tally.outOfRange % cols) +
                          " does not fit 8-bit cells",
                      output);
    result.cellsWithData += tally.data;
  };
  {
    WindowFiller windows(geometry.rows, kWindowRows, cols, fill);
    for (int top = 0; top < geometry.rows; top += kWindowRows) {
      writer.WriteRows(top, std::min(kWindowRows, geometry.rows - top), windows.Take());
      windows.Release();
      if (options.checkpoint) options.checkpoint();
    }
    windows.Finish();
  }
  writer.Close();
  sources.clear();
  if (options.writeVat) {
    const Vat vat = CountsVat(counter.Sorted());
    WriteVat(output, vat);
    result.vatRows = static_cast<std::int64_t>(vat.rows.size());
  }
  return result;
}

}  // namespace rivanet::gis
