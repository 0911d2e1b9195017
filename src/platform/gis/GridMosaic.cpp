#include "platform/gis/GridMosaic.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/files/FileSystem.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/GridOpen.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/MosaicSource.h"
#include "platform/gis/ValueCounter.h"
#include "platform/gis/WindowFiller.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

// Rows handed to the writer at a time: one row of its tiles, which it writes without a copy.
constexpr int kWindowRows = kGridTileRows;
// Columns of a strip: the mosaic is laid a strip at a time, a row of tiles at a time down each
// strip, so that the cells held at once (windows, the inputs' decoded blocks) depend on the
// strip's width, not on the mosaic's. Wide enough that few input blocks straddle two strips
// (those are decoded once for each).
constexpr int kStripCols = 16 * kGridTileRows;

// The windows of a mosaic in the order they are laid: strip after strip, top to bottom.
std::vector<CellWindow> Windows(const GridGeometry& g) {
  std::vector<CellWindow> windows;
  for (int left = 0; left < g.cols; left += kStripCols)
    for (int top = 0; top < g.rows; top += kWindowRows)
      windows.push_back(
          {top, left, std::min(kWindowRows, g.rows - top), std::min(kStripCols, g.cols - left)});
  return windows;
}

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

// Finds the inputs that meet each window without looking at every input for every window, so
// that a mosaic of many workspaces does not take time in the square of their number. Each input
// is filed under the strips it reaches into; down a strip, an input joins at the window of its
// first row and leaves after the window of its last. Windows must come strip by strip, top to
// bottom in each (as Windows gives them).
class MeetingInputs {
 public:
  MeetingInputs(std::vector<MosaicSource>& sources, const GridGeometry& g) : m_sources(sources) {
    m_strips.resize(static_cast<std::size_t>((g.cols + kStripCols - 1) / kStripCols));
    for (std::size_t i = 0; i < sources.size(); ++i) {
      const MosaicSource& s = sources[i];
      for (std::int64_t k = s.Col0() / kStripCols; k <= (s.Col0() + s.Cols() - 1) / kStripCols; ++k)
        m_strips[static_cast<std::size_t>(k)].push_back(i);
    }
    for (std::vector<std::size_t>& strip : m_strips)
      std::stable_sort(strip.begin(), strip.end(), [&](std::size_t a, std::size_t b) {
        return sources[a].Row0() < sources[b].Row0();
      });
  }

  // The inputs with cells in `w`, in list order (later ones are laid over earlier ones).
  const std::vector<MosaicSource*>& In(const CellWindow& w) {
    if (w.left != m_left) {
      m_left = w.left;
      m_next = 0;
      m_active.clear();
    }
    const std::vector<std::size_t>& strip = m_strips[static_cast<std::size_t>(w.left / kStripCols)];
    while (m_next < strip.size() && m_sources[strip[m_next]].Row0() < w.top + w.rows)
      m_active.push_back(strip[m_next++]);
    std::erase_if(m_active, [&](std::size_t i) {
      return m_sources[i].Row0() + m_sources[i].Rows() <= w.top;
    });
    std::sort(m_active.begin(), m_active.end());
    m_meeting.clear();
    for (std::size_t i : m_active)
      if (m_sources[i].Meets(w)) m_meeting.push_back(&m_sources[i]);
    return m_meeting;
  }

 private:
  std::vector<MosaicSource>& m_sources;
  std::vector<std::vector<std::size_t>> m_strips;  // per strip, its inputs by first row
  int m_left = -1;                                 // the strip being laid
  std::size_t m_next = 0;                          // its next input to join
  std::vector<std::size_t> m_active;               // its inputs met by the rows so far
  std::vector<MosaicSource*> m_meeting;
};

// Turns the cells `keep` refuses into NoData and returns how many keep data. Written without
// branches, so that the compiler can do several cells at once.
template <class Keep>
std::int64_t KeepCells(std::int32_t* cells, std::size_t n, std::int32_t noData, Keep keep) {
  std::int64_t data = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t v = cells[i];
    const bool kept = v != noData && keep(v);
    cells[i] = kept ? v : noData;
    data += kept;
  }
  return data;
}

// Refuses a cell an 8-bit mosaic cannot hold, naming the input it came from: the last input in
// list order with data there, as later inputs win. `row` is row `r` of window `w`, laid from
// `meeting`.
void RefuseBeyondEightBits(const std::int32_t* row, const CellWindow& w, int r,
                           const std::vector<MosaicSource*>& meeting, const fs::path& output) {
  // Looked for in one pass the compiler can do several cells at a time; found only when there.
  bool beyond = false;
  for (int i = 0; i < w.cols; ++i) beyond |= static_cast<std::uint32_t>(row[i]) > 255u;
  if (!beyond) return;
  const int col = static_cast<int>(
      std::find_if(row, row + w.cols, [](std::int32_t v) { return v < 0 || v > 255; }) - row);
  const std::string what = "Cell value " + std::to_string(row[col]) + " at row " +
                           std::to_string(w.top + r) + ", column " + std::to_string(w.left + col) +
                           " of the mosaic does not fit 8-bit cells";
  for (auto s = meeting.rbegin(); s != meeting.rend(); ++s) {
    // Two probes that only the input's own value makes equal.
    std::int32_t probe[2] = {0, 1};
    for (std::int32_t& p : probe) (*s)->OverlayRow(w.top + r, w.left + col, 1, &p);
    if (probe[0] == probe[1]) throw FileError(kErrOverflow, what, (*s)->Grid().file);
  }
  throw FileError(kErrOverflow, what, output);
}

// Calls f with the mosaic's cell condition as a function object (see WithComparison).
template <class F>
decltype(auto) WithCondition(const std::optional<CellCondition>& condition, F&& f) {
  if (!condition) return f([](std::int32_t) { return true; });
  return WithComparison(*condition, std::forward<F>(f));
}

}  // namespace

void CheckMosaicInput(const fs::path& gridFolder) {
  QuietGdal quiet;
  // The opening each MosaicSource starts with; the dataset closes again at once.
  OpenGrid(gridFolder);
}

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
  ValueCounter counter;
  std::int64_t cellsWithData = 0;
  MeetingInputs meetingInputs(sources, geometry);
  // Runs on the filler's thread, which alone touches the inputs and the counts until Finish.
  // Each row is laid, extracted and counted while it is at hand, input after input in list
  // order.
  const auto fill = [&](const CellWindow& w, std::int32_t* cells) {
    const std::vector<MosaicSource*>& meeting = meetingInputs.In(w);
    const std::size_t width = static_cast<std::size_t>(w.cols);
    for (int r = 0; r < w.rows; ++r) {
      std::int32_t* row = cells + static_cast<std::size_t>(r) * width;
      std::fill_n(row, width, noData);
      for (MosaicSource* s : meeting) s->OverlayRow(w.top + r, w.left, w.cols, row);
      cellsWithData += WithCondition(
          options.keep, [&](auto keep) { return KeepCells(row, width, noData, keep); });
      if (pixelType == CellType::UInt8) RefuseBeyondEightBits(row, w, r, meeting, output);
      if (options.writeVat)
        for (std::size_t i = 0; i < width; ++i)
          if (row[i] != noData) counter.Add(row[i]);
    }
    for (MosaicSource* s : meeting) s->Done(w);
  };
  {
    std::vector<CellWindow> windows = Windows(geometry);
    const std::size_t largest = static_cast<std::size_t>(kWindowRows) *
                                static_cast<std::size_t>(std::min(kStripCols, geometry.cols));
    WindowFiller filler(windows, largest, fill);
    for (const CellWindow& w : windows) {
      writer.WriteTiles(w.top, w.left, w.rows, w.cols, filler.Take());
      filler.Release();
      if (options.checkpoint) options.checkpoint();
    }
    filler.Finish();
  }
  writer.Close();
  result.cellsWithData = cellsWithData;
  sources.clear();
  if (options.writeVat) {
    result.vatRows = WriteCountsVat(output, counter.TakeSorted());
  }
  return result;
}

}  // namespace rivanet::gis
