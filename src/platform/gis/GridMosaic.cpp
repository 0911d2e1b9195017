#include "platform/gis/GridMosaic.h"

#include <gdalwarper.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/files/FileSystem.h"
#include "platform/gis/Crs.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/GridOpen.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/ValueCounter.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

// Rows handed to the writer at a time: one row of its tiles.
constexpr int kWindowRows = 256;
// How far (in cells) a resampled input's edge may lie past a cell line and still end on it.
constexpr double kEdgeTolerance = 1e-6;
// Marks the cells a resampled input does not cover when it has no NoData of its own. The
// resampled cells travel as int32, so this is no value an 8- or 16-bit input can hold.
constexpr std::int32_t kUncovered = std::numeric_limits<std::int32_t>::min();

// The cell grid of the mosaic: origin of cell (0, 0), cell size, coordinate system.
struct Lattice {
  double originX = 0;
  double originY = 0;
  double cellSize = 0;
  std::string crsWkt;
};

// One input placed on the mosaic's cells: it covers the columns [col0, col0 + cols) and rows
// [row0, row0 + rows) of the lattice, and `band` delivers exactly those cells.
struct Placed {
  OpenedGrid grid;
  DatasetPtr warped;  // a resampled input's virtual dataset; closed before `grid`
  GDALRasterBand* band = nullptr;
  std::optional<std::int32_t> noData;
  std::int64_t col0 = 0;
  std::int64_t row0 = 0;
  int cols = 0;
  int rows = 0;
};

struct Extent {
  double minX, minY, maxX, maxY;
};

struct TransformerReleaser {
  void operator()(void* arg) const {
    if (arg != nullptr) GDALDestroyTransformer(arg);
  }
};
using TransformerPtr = std::unique_ptr<void, TransformerReleaser>;

void GeoTransformOf(const GridGeometry& g, double t[6]) {
  const double values[6] = {g.originX, g.cellSize, 0, g.originY, 0, -g.cellSize};
  std::copy(values, values + 6, t);
}

const char* WktOrNull(const std::string& wkt) { return wkt.empty() ? nullptr : wkt.c_str(); }

// From the cells of `from` to the coordinates of `toWkt` (dstTransform null) or to the cells
// of the grid `dstTransform` describes.
TransformerPtr Transformer(const OpenedGrid& from, const std::string& toWkt,
                           const double* dstTransform) {
  double src[6];
  GeoTransformOf(from.geometry, src);
  CPLErrorReset();
  TransformerPtr t(GDALCreateGenImgProjTransformer3(WktOrNull(from.geometry.crsWkt), src,
                                                    WktOrNull(toWkt), dstTransform));
  if (!t) throw GdalError("Cannot project grid onto the mosaic's coordinate system", from.file);
  return t;
}

// The cells GDAL suggests for `grid` in the coordinate system `wkt`.
void SuggestedCells(const OpenedGrid& grid, const std::string& wkt, double transform[6],
                    Extent& extent) {
  const TransformerPtr t = Transformer(grid, wkt, nullptr);
  int cols = 0;
  int rows = 0;
  double e[4] = {};
  CPLErrorReset();
  if (GDALSuggestedWarpOutput2(grid.ds.get(), GDALGenImgProjTransform, t.get(), transform, &cols,
                               &rows, e, 0) != CE_None)
    throw GdalError("Cannot project grid onto the mosaic's coordinate system", grid.file);
  extent = {e[0], e[1], e[2], e[3]};
}

Lattice LatticeOf(const OpenedGrid& first, const std::string& coordinateSystem) {
  const GridGeometry& g = first.geometry;
  if (coordinateSystem.empty() || SameCrs(coordinateSystem, g.crsWkt))
    return {g.originX, g.originY, g.cellSize, g.crsWkt};
  double t[6];
  Extent unused{};
  SuggestedCells(first, coordinateSystem, t, unused);
  return {t[0], t[3], t[1], coordinateSystem};
}

GridGeometry LatticeGeometry(const Lattice& lattice) {
  return {lattice.originX, lattice.originY, lattice.cellSize, 1, 1, lattice.crsWkt};
}

std::string Describe(double cellSize) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", cellSize);
  return text;
}

// Why an input cannot be copied cell for cell; empty when it can.
std::string ResampleReason(const OpenedGrid& input, const Lattice& lattice) {
  if (!SameCrs(input.geometry.crsWkt, lattice.crsWkt)) return "another coordinate system";
  const GridGeometry cells = LatticeGeometry(lattice);
  if (!SameCellSize(cells, input.geometry))
    return "cell size " + Describe(input.geometry.cellSize) + " instead of " +
           Describe(lattice.cellSize);
  if (!AlignedOffset(cells, input.geometry)) return "cell edges off the first grid's lines";
  return {};
}

// Puts a resampled input on the lattice: the cells covering its extent, filled by a virtual
// dataset that warps it there with nearest-neighbour resampling.
void PlaceResampled(Placed& p, const Lattice& lattice) {
  const GridGeometry& g = p.grid.geometry;
  Extent e{g.originX, g.originY - g.rows * g.cellSize, g.originX + g.cols * g.cellSize, g.originY};
  if (!SameCrs(g.crsWkt, lattice.crsWkt)) {
    double unused[6];
    SuggestedCells(p.grid, lattice.crsWkt, unused, e);
  }
  const double cs = lattice.cellSize;
  const double c0 = std::floor((e.minX - lattice.originX) / cs + kEdgeTolerance);
  const double c1 = std::ceil((e.maxX - lattice.originX) / cs - kEdgeTolerance);
  const double r0 = std::floor((lattice.originY - e.maxY) / cs + kEdgeTolerance);
  const double r1 = std::ceil((lattice.originY - e.minY) / cs - kEdgeTolerance);
  const double limit = std::numeric_limits<int>::max();
  if (!(c1 - c0 >= 1 && r1 - r0 >= 1 && c1 - c0 < limit && r1 - r0 < limit))
    throw FileError(kErrOverflow, "Grid does not fit on the cells of the mosaic", p.grid.file);
  p.col0 = static_cast<std::int64_t>(c0);
  p.row0 = static_cast<std::int64_t>(r0);
  p.cols = static_cast<int>(c1 - c0);
  p.rows = static_cast<int>(r1 - r0);

  double dst[6] = {lattice.originX + c0 * cs, cs, 0, lattice.originY - r0 * cs, 0, -cs};
  TransformerPtr transformer = Transformer(p.grid, lattice.crsWkt, dst);
  const std::int32_t fill = p.grid.noData.value_or(kUncovered);
  GDALWarpOptions* wo = GDALCreateWarpOptions();
  wo->hSrcDS = p.grid.ds.get();
  wo->eResampleAlg = GRA_NearestNeighbour;
  wo->eWorkingDataType = GDT_Int32;
  wo->nBandCount = 1;
  wo->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int)));
  wo->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int)));
  wo->panSrcBands[0] = wo->panDstBands[0] = 1;
  if (p.grid.noData) {
    wo->padfSrcNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double)));
    wo->padfSrcNoDataReal[0] = *p.grid.noData;
  }
  wo->padfDstNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double)));
  wo->padfDstNoDataReal[0] = fill;
  wo->papszWarpOptions = CSLSetNameValue(wo->papszWarpOptions, "INIT_DEST", "NO_DATA");
  wo->pfnTransformer = GDALGenImgProjTransform;
  wo->pTransformerArg = transformer.get();
  CPLErrorReset();
  GDALDatasetH vrt = GDALCreateWarpedVRT(p.grid.ds.get(), p.cols, p.rows, dst, wo);
  GDALDestroyWarpOptions(wo);
  if (vrt == nullptr) throw GdalError("Cannot resample grid", p.grid.file);
  transformer.release();  // the virtual dataset owns it now
  p.warped.reset(GDALDataset::FromHandle(vrt));
  p.band = p.warped->GetRasterBand(1);
  if (p.band->GetRasterDataType() != GDT_Int32)
    throw FileError(kErrInternal, "Resampled grid does not deliver 32-bit cells", p.grid.file);
  p.noData = fill;
}

// Places an opened input on the lattice. Returns why it had to be resampled, or nothing when
// its cells are copied as they are.
std::optional<std::string> Place(Placed& p, const Lattice& lattice) {
  const std::string reason = ResampleReason(p.grid, lattice);
  if (!reason.empty()) {
    PlaceResampled(p, lattice);
    return reason;
  }
  const CellOffset at = *AlignedOffset(LatticeGeometry(lattice), p.grid.geometry);
  p.band = p.grid.band;
  p.noData = p.grid.noData;
  p.col0 = at.cols;
  p.row0 = at.rows;
  p.cols = p.grid.geometry.cols;
  p.rows = p.grid.geometry.rows;
  return std::nullopt;
}

// The mosaic's geometry: the lattice cells covering every placed input. Moves the inputs'
// positions to the mosaic's top-left cell.
GridGeometry UnionGeometry(std::vector<Placed>& placed, const Lattice& lattice,
                           const fs::path& output) {
  std::int64_t c0 = placed.front().col0, r0 = placed.front().row0;
  std::int64_t c1 = c0 + placed.front().cols, r1 = r0 + placed.front().rows;
  for (const Placed& p : placed) {
    c0 = std::min(c0, p.col0);
    r0 = std::min(r0, p.row0);
    c1 = std::max(c1, p.col0 + p.cols);
    r1 = std::max(r1, p.row0 + p.rows);
  }
  if (c1 - c0 > std::numeric_limits<int>::max() || r1 - r0 > std::numeric_limits<int>::max())
    throw FileError(kErrOverflow, "The grids together span more cells than a grid can hold",
                    output);
  for (Placed& p : placed) {
    p.col0 -= c0;
    p.row0 -= r0;
  }
  GridGeometry g;
  g.originX = lattice.originX + static_cast<double>(c0) * lattice.cellSize;
  g.originY = lattice.originY - static_cast<double>(r0) * lattice.cellSize;
  g.cellSize = lattice.cellSize;
  g.cols = static_cast<int>(c1 - c0);
  g.rows = static_cast<int>(r1 - r0);
  g.crsWkt = lattice.crsWkt;
  return g;
}

// Lays the input's rows [top, top + count) of the mosaic over the window that starts at row
// `top`: every cell with data replaces what is there.
void Overlay(Placed& p, int top, int count, int mosaicCols, std::vector<std::int32_t>& scratch,
             std::int32_t* window) {
  const std::int64_t first = std::max<std::int64_t>(top, p.row0);
  const std::int64_t last = std::min<std::int64_t>(top + count, p.row0 + p.rows);
  if (first >= last) return;
  const int n = static_cast<int>(last - first);
  const std::size_t width = static_cast<std::size_t>(p.cols);
  scratch.resize(width * static_cast<std::size_t>(n));
  CPLErrorReset();
  if (p.band->RasterIO(GF_Read, 0, static_cast<int>(first - p.row0), p.cols, n, scratch.data(),
                       p.cols, n, GDT_Int32, 0, 0, nullptr) != CE_None)
    throw GdalError("Cannot read grid cells", p.grid.file);
  for (int r = 0; r < n; ++r) {
    const std::int32_t* src = scratch.data() + static_cast<std::size_t>(r) * width;
    std::int32_t* dst = window +
                        static_cast<std::size_t>(first - top + r) * static_cast<std::size_t>(mosaicCols) +
                        static_cast<std::size_t>(p.col0);
    if (!p.noData) {
      std::memcpy(dst, src, width * sizeof(std::int32_t));
      continue;
    }
    const std::int32_t skip = *p.noData;
    for (std::size_t c = 0; c < width; ++c)
      if (src[c] != skip) dst[c] = src[c];
  }
}

}  // namespace

MosaicResult MosaicToNewRaster(const std::vector<fs::path>& inputs, const fs::path& outputFolder,
                               const std::string& name, const std::string& coordinateSystem,
                               CellType pixelType, const MosaicOptions& options) {
  QuietGdal quiet;
  const fs::path output = outputFolder / name;
  if (inputs.empty()) throw FileError(kErrInvalidArgument, "No grids to mosaic into", output);

  std::vector<Placed> placed(inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) placed[i].grid = OpenGrid(inputs[i]);
  const Lattice lattice = LatticeOf(placed.front().grid, coordinateSystem);
  MosaicResult result;
  for (Placed& p : placed) {
    if (const auto reason = Place(p, lattice))
      result.resampled.push_back("Grid " + DisplayPath(p.grid.file) +
                                 " was resampled (nearest neighbour) onto the cells of " +
                                 DisplayPath(placed.front().grid.file) + ": " + *reason);
  }
  const GridGeometry geometry = UnionGeometry(placed, lattice, output);
  result.geometry = geometry;

  const std::int32_t noData = NoDataOf(pixelType);
  GridWriter writer(output, geometry, pixelType, noData, options.encoding);
  const std::size_t cols = static_cast<std::size_t>(geometry.cols);
  std::vector<std::int32_t> window(cols * kWindowRows);
  std::vector<std::int32_t> scratch;
  ValueCounter counter;
  for (int top = 0; top < geometry.rows; top += kWindowRows) {
    const int count = std::min(kWindowRows, geometry.rows - top);
    const std::size_t cells = cols * static_cast<std::size_t>(count);
    std::fill_n(window.begin(), cells, noData);
    for (Placed& p : placed) Overlay(p, top, count, geometry.cols, scratch, window.data());
    for (std::size_t i = 0; i < cells; ++i) {
      const std::int32_t v = window[i];
      if (v == noData) continue;
      if (options.keep && !options.keep->Keeps(v)) {
        window[i] = noData;
        continue;
      }
      if (pixelType == CellType::UInt8 && (v < 0 || v > 255))
        throw FileError(kErrOverflow,
                        "Cell value " + std::to_string(v) + " at row " +
                            std::to_string(top + static_cast<int>(i / cols)) + ", column " +
                            std::to_string(i % cols) + " does not fit 8-bit cells",
                        output);
      ++result.cellsWithData;
      if (options.writeVat) counter.Add(v);
    }
    writer.WriteRows(top, count, window.data());
    if (options.checkpoint) options.checkpoint();
  }
  writer.Close();
  if (options.writeVat) {
    const Vat vat = CountsVat(counter.Sorted());
    WriteVat(output, vat);
    result.vatRows = static_cast<std::int64_t>(vat.rows.size());
  }
  return result;
}

}  // namespace rivanet::gis
