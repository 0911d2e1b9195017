// The grid tools the grid phase calls: mosaics of tiny hand-made grids, extraction by value,
// and what a stopped or failed mosaic leaves. The grid phase's tests show the "value > 0"
// mosaics, the value counts of the catchment grid and its table filled in through a cursor.

#include <algorithm>
#include <vector>

#include "GisTest.h"
#include "platform/gis/Crs.h"
#include "platform/gis/GridMosaic.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridTools.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;
using test::Raised;

namespace {

constexpr std::int32_t N = -9;            // NoData of the inputs
constexpr std::int32_t O = kInt32NoData;  // NoData of the mosaics
using test::Cells;
using test::CellsOf;
using test::WriteGrid;

struct Input {
  GridGeometry geometry;
  Cells cells;
};
using Inputs = std::vector<Input>;

GridGeometry At(double x, double y, double cellSize, int cols, int rows, std::string crs = "") {
  return {x, y, cellSize, cols, rows, std::move(crs)};
}

// Writes each input as the grid <dir>/in<i>; returns their folders in order.
std::vector<fs::path> WriteInputs(const fs::path& dir, const Inputs& inputs) {
  std::vector<fs::path> folders;
  for (const Input& in : inputs) {
    folders.push_back(dir / ("in" + std::to_string(folders.size())));
    WriteGrid(folders.back(), in.geometry, in.cells, N);
  }
  return folders;
}

}  // namespace

TEST(MosaicToNewRaster, PlacesInputsOnTheFirstGridsCells) {
  const std::string nad83 = test::EpsgWkt(26915), wgs84 = test::EpsgWkt(32615);
  struct Case {
    const char* name;
    Inputs inputs;
    GridGeometry expected;  // the mosaic's cells (CRS not compared)
    Cells cells;
    std::size_t resampled;
  };
  const Case cases[] = {
      {"later input wins where it has data, NoData never overwrites",
       Inputs{{At(0, 20, 10, 3, 2), {1, 1, 1, 1, 1, 1}},
              {At(10, 20, 10, 3, 2), {2, N, 2, N, 2, 2}}},
       At(0, 20, 10, 4, 2), Cells{1, 2, 1, 2, 1, 1, 2, 2}, 0},
      {"union extent on the first grid's cells, uncovered cells NoData",
       Inputs{{At(20, 20, 10, 1, 1), {5}}, {At(0, 40, 10, 1, 1), {7}}}, At(0, 40, 10, 3, 3),
       Cells{7, O, O, O, O, O, O, O, 5}, 0},
      {"cells off the first grid's lines are resampled",
       Inputs{{At(0, 20, 10, 2, 2), {1, 2, 3, 4}}, {At(3, 20, 10, 1, 1), {9}}}, At(0, 20, 10, 2, 2),
       Cells{9, 2, 3, 4}, 1},
      {"another coordinate system is resampled",
       Inputs{{At(500000, 4000200, 100, 2, 2, nad83), {1, 2, 3, 4}},
              {At(500000, 4000200, 100, 2, 2, wgs84), {5, 6, 7, 8}}},
       At(500000, 4000200, 100, 2, 2), Cells{5, 6, 7, 8}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const MosaicResult r =
        MosaicToNewRaster(WriteInputs(dir.Path(), c.inputs), dir / "out", "m", "", CellType::Int32);
    const GridGeometry &g = r.geometry, &e = c.expected;
    EXPECT_EQ(std::tie(g.originX, g.originY, g.cellSize, g.cols, g.rows),
              std::tie(e.originX, e.originY, e.cellSize, e.cols, e.rows));
    EXPECT_EQ(CellsOf(dir / "out/m"), c.cells);
    EXPECT_EQ(r.cellsWithData,
              std::count_if(c.cells.begin(), c.cells.end(), [](std::int32_t v) { return v != O; }));
    ASSERT_EQ(r.resampled.size(), c.resampled);
    for (const std::string& note : r.resampled) {
      EXPECT_NE(note.find("in1"), std::string::npos) << note;
      EXPECT_NE(note.find("nearest neighbour"), std::string::npos) << note;
    }
    GridReader out(dir / "out/m");
    EXPECT_EQ(out.NoData(), O);
    EXPECT_TRUE(SameCrs(out.Geometry().crsWkt, c.inputs[0].geometry.crsWkt));
  }
}

TEST(MosaicToNewRaster, AReprojectedInputCoversItsOutlineExactly) {
  // A first grid in Albers and a second in UTM, turned against it. The mosaic must end with the
  // column the second grid's outline reaches (65.6 in both cases), and in the coarse case the
  // centre of its last cell, row 51, still lies in the second grid's corner cell (164).
  const std::string albers = test::EpsgWkt(5070), utm = test::EpsgWkt(26917);
  const struct {
    const char* name;
    GridGeometry second;
    std::int32_t row51col65;
  } cases[] = {
      {"coarse cells, the corner cell nearly cut", At(502159.6, 4842013.8, 150, 8, 8, utm), 164},
      {"fine cells ending short of a whole suggested cell",
       At(502153.37, 4841964.81, 30, 40, 40, utm), O}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    Cells second(static_cast<std::size_t>(c.second.cols) * c.second.rows);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = 101 + static_cast<std::int32_t>(i);
    const Inputs inputs{{At(1200000, 2400000, 30, 60, 60, albers), Cells(3600, 1)},
                        {c.second, second}};
    const MosaicResult r =
        MosaicToNewRaster(WriteInputs(dir.Path(), inputs), dir / "out", "m", "", CellType::Int32);
    EXPECT_EQ(r.geometry.cols, 66);
    EXPECT_EQ(r.geometry.rows, 60);
    const Cells cells = CellsOf(dir / "out/m");
    ASSERT_EQ(cells.size(), 66u * 60u);
    EXPECT_EQ(cells[51 * 66 + 65], c.row51col65);
  }
}

TEST(MosaicToNewRaster, AStoppedOrFailedMosaicLeavesTheEarlierGridAsItWas) {
  test::TempDir dir;
  // Enough rows for several rows of tiles, so that the stop comes in the middle.
  WriteGrid(dir / "in", At(0, 6000, 10, 3, 600), Cells(1800, 4));
  WriteGrid(dir / "wide", At(0, 10, 10, 2, 1), {1, 300});
  WriteGrid(dir / "out/m", At(0, 10, 10, 1, 1), {1});
  const auto before = test::Snapshot(dir / "out/m");

  struct Stop {};
  MosaicOptions options;
  int rowsOfTiles = 0;
  options.checkpoint = [&] {
    if (++rowsOfTiles == 2) throw Stop{};
  };
  EXPECT_THROW(MosaicToNewRaster({dir / "in"}, dir / "out", "m", "", CellType::Int32, options),
               Stop);
  // 300 is no 8-bit value: the report names the input it came from, unless a later input
  // covers it.
  WriteGrid(dir / "cover", At(10, 10, 10, 1, 1), {7});
  const std::string wide =
      Raised([&] {
        MosaicToNewRaster({dir / "cover", dir / "wide"}, dir / "out", "m", "", CellType::UInt8);
      }).Description();
  EXPECT_NE(wide.find("300 at row 0, column 1 of the mosaic"), std::string::npos) << wide;
  EXPECT_NE(wide.find((dir / "wide").string()), std::string::npos) << wide;
  EXPECT_NO_THROW(
      MosaicToNewRaster({dir / "wide", dir / "cover"}, dir / "covered", "m", "", CellType::UInt8));
  // No half-written grid, no stray file.
  EXPECT_EQ(test::Changes(before, test::Snapshot(dir / "out/m")), test::kNoChanges);
}

TEST(MosaicToNewRaster, WideMosaicsAreLaidStripByStripWithTheSameCells) {
  // Three inputs side by side, overlapping, their edges and blocks off the mosaic's tiles and
  // strips, with NoData scattered through them: wider than two strips of the mosaic. Later
  // inputs win where they have data.
  const int cols = 8555, rows = 347;
  const struct {
    int col0, row0, cols, rows;
  } placed[] = {{0, 0, 3000, 300}, {2900, 37, 3100, 310}, {5555, 5, 3000, 290}};
  Inputs inputs;
  Cells expected(static_cast<std::size_t>(cols) * rows, O);
  for (int i = 0; i < 3; ++i) {
    const auto& p = placed[i];
    inputs.push_back({At(p.col0, 1000.0 - p.row0, 1, p.cols, p.rows), {}});
    for (int r = 0; r < p.rows; ++r)
      for (int c = 0; c < p.cols; ++c) {
        const std::int32_t v = (r + c + i) % 7 == 0 ? N : (i + 1) * 10000000 + r * 10000 + c;
        inputs.back().cells.push_back(v);
        if (v != N) expected[static_cast<std::size_t>(r + p.row0) * cols + c + p.col0] = v;
      }
  }
  test::TempDir dir;
  const MosaicResult r =
      MosaicToNewRaster(WriteInputs(dir.Path(), inputs), dir / "out", "m", "", CellType::Int32);
  EXPECT_EQ(std::pair(r.geometry.cols, r.geometry.rows), std::pair(cols, rows));
  EXPECT_TRUE(CellsOf(dir / "out/m") == expected);
}

// Files this process holds open.
int OpenFiles() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TEST(MosaicToNewRaster, OpensEachInputOnlyWhileItsRowsAreLaid) {
  // Forty inputs one under another, 100 rows each: a row of tiles (256 rows) meets four.
  test::TempDir dir;
  Inputs inputs;
  for (int i = 0; i < 40; ++i)
    inputs.push_back({At(0, 4000.0 - 100.0 * i, 1, 3, 100), Cells(300, i + 1)});
  const std::vector<fs::path> folders = WriteInputs(dir.Path(), inputs);
  const int before = OpenFiles();
  int most = 0;
  MosaicOptions options;
  options.checkpoint = [&] { most = std::max(most, OpenFiles() - before); };
  MosaicToNewRaster(folders, dir / "out", "m", "", CellType::Int32, options);
  EXPECT_LE(most, 6);  // the output, a few inputs and GDAL's own; not forty
  const Cells cells = CellsOf(dir / "out/m");
  ASSERT_EQ(cells.size(), 12000u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(cells[static_cast<std::size_t>(i) * 300], i + 1);
  EXPECT_EQ(OpenFiles(), before);
}

TEST(ExtractByAttributes, KeepsTheCellsTheConditionAccepts) {
  test::TempDir dir;
  WriteGrid(dir / "in", At(0, 10, 10, 5, 1), {-2, 0, 3, 5, N});
  // Each operator once; fractional and out-of-range thresholds.
  const std::pair<const char*, Cells> kept[] = {
      {"value > 0", {O, O, 3, 5, O}},          {"VALUE>=0", {O, 0, 3, 5, O}},
      {"Value < 3", {-2, 0, O, O, O}},         {" value <= -2 ", {-2, O, O, O, O}},
      {"value = 5", {O, O, O, 5, O}},          {"value <> 0", {-2, O, 3, 5, O}},
      {"\"VALUE\" > 2.5", {O, O, 3, 5, O}},    {"value = 2.5", {O, O, O, O, O}},
      {"value > 3000000000", {O, O, O, O, O}},
  };
  for (const auto& [clause, cells] : kept) {
    ExtractByAttributes(dir / "in", clause, dir / "out");
    EXPECT_EQ(CellsOf(dir / "out"), cells) << clause;
  }
  for (const char* clause : {"", "value", "value >", "count > 0", "value > 0 AND value < 5",
                             "value >> 1", "value > abc", "value > inf"}) {
    const AppError e = Raised([&] { ExtractByAttributes(dir / "in", clause, dir / "refused"); });
    EXPECT_NE(e.Description().find(std::string("\"") + clause + "\""), std::string::npos)
        << e.Description();
    EXPECT_FALSE(fs::exists(dir / "refused"));
  }
}

// A run checks the grids before it clears its output, with the opening each mosaic input gets:
// what the mosaic refuses on opening the check refuses in the same words. A file damaged past
// its header passes the check (no cells are read) and is left to the mosaic.
TEST(MosaicToNewRaster, CheckMosaicInputRefusesWhatTheMosaicRefusesOnOpening) {
  test::TempDir dir;
  WriteGrid(dir / "good", At(0, 20, 10, 2, 2), {1, 2, 3, 4}, N);
  // A one-band GeoTIFF as GDAL writes it, for what GridWriter never writes.
  const auto gdalTiff = [&](const char* name, GDALDataType type, const double* transform) {
    EnsureGdal();
    fs::create_directories(dir / name);
    DatasetPtr ds(
        Driver("GTiff", dir / name)
            .Create((dir / name / (std::string(name) + ".tif")).c_str(), 2, 2, 1, type, nullptr));
    ASSERT_TRUE(ds);
    if (transform != nullptr) ds->SetGeoTransform(const_cast<double*>(transform));
  };
  const double rotated[6] = {0, 10, 1, 20, 0, -10};
  const double northUp[6] = {0, 10, 0, 20, 0, -10};
  gdalTiff("nogeo", GDT_Int32, nullptr);
  gdalTiff("rotated", GDT_Int32, rotated);
  gdalTiff("real", GDT_Float32, northUp);
  test::WriteFile(dir / "nogrid/readme.txt", "no grid here");
  test::WriteFile(dir / "empty/empty.tif", "");
  const std::pair<const char*, const char*> cases[] = {
      {"nogrid", "No grid in folder (neither nogrid.tif nor hdr.adf)"},
      {"empty", "Cannot open grid"},
      {"nogeo", "Grid has no georeferencing"},
      {"rotated", "Grid is not north-up with square cells"},
      {"real", "Unsupported cell type Float32 (integer grids only)"},
  };
  for (const auto& c : cases) {
    // Named copies: clang before 16 cannot capture structured bindings in a lambda.
    const char* name = c.first;
    const char* reason = c.second;
    SCOPED_TRACE(name);
    const std::string checked = Raised([&] { CheckMosaicInput(dir / name); }).Description();
    EXPECT_NE(checked.find(reason), std::string::npos) << checked;
    EXPECT_NE(checked.find((dir / name).string()), std::string::npos) << checked;
    EXPECT_EQ(
        checked,
        Raised([&] {
          MosaicToNewRaster({dir / "good", dir / name}, dir / "out", name, "", CellType::Int32);
        }).Description());
  }

  WriteGrid(dir / "cut", At(0, 6000, 10, 300, 600), Cells(180000, 4), N);
  fs::resize_file(dir / "cut/cut.tif", fs::file_size(dir / "cut/cut.tif") / 2);
  EXPECT_NO_THROW(CheckMosaicInput(dir / "cut"));
  EXPECT_THROW(
      MosaicToNewRaster({dir / "good", dir / "cut"}, dir / "out", "cut", "", CellType::Int32),
      AppError);
}
