// The grid tools the grid phase calls: mosaics of tiny hand-made grids, extraction by value,
// value counts, and value attribute tables changed through a cursor.

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "GisTest.h"
#include "platform/gis/Crs.h"
#include "platform/gis/GridMosaic.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridTools.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/GridWriter.h"
#include "platform/gis/VatCursor.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;
using test::Raised;

namespace {

constexpr std::int32_t N = -9;            // NoData of the inputs
constexpr std::int32_t O = kInt32NoData;  // NoData of the mosaics

struct Input {
  GridGeometry geometry;
  std::vector<std::int32_t> cells;
};

void WriteGrid(const fs::path& folder, const Input& in, CellType type = CellType::Int32,
               std::int32_t noData = N) {
  GridWriter writer(folder, in.geometry, type, noData);
  writer.WriteRows(0, in.geometry.rows, in.cells.data());
  writer.Close();
}

std::vector<std::int32_t> Cells(const fs::path& folder) {
  GridReader reader(folder);
  const GridGeometry& g = reader.Geometry();
  std::vector<std::int32_t> cells(static_cast<std::size_t>(g.cols) * g.rows);
  reader.ReadRows(0, g.rows, cells.data());
  return cells;
}

using Counts = std::vector<std::pair<std::int64_t, std::int64_t>>;

// (Value, Count) of each row of the grid's value attribute table.
Counts ValueCounts(const fs::path& folder) {
  Counts rows;
  for (const VatRow& row : ReadVat(folder).rows)
    rows.emplace_back(VatInteger(row[0]), VatInteger(row[1]));
  return rows;
}

GridGeometry At(double x, double y, double cellSize, int cols, int rows, std::string crs = "") {
  return {x, y, cellSize, cols, rows, std::move(crs)};
}

}  // namespace

TEST(MosaicToNewRaster, PlacesInputsOnTheFirstGridsCells) {
  const std::string nad83 = test::EpsgWkt(26915), wgs84 = test::EpsgWkt(32615);
  struct Case {
    const char* name;
    std::vector<Input> inputs;
    GridGeometry expected;  // the mosaic's cells (CRS not compared)
    std::vector<std::int32_t> cells;
    std::size_t resampled;
  };
  const Case cases[] = {
      {"later input wins where it has data, NoData never overwrites",
       {{At(0, 20, 10, 3, 2), {1, 1, 1, 1, 1, 1}}, {At(10, 20, 10, 3, 2), {2, N, 2, N, 2, 2}}},
       At(0, 20, 10, 4, 2),
       {1, 2, 1, 2, 1, 1, 2, 2},
       0},
      {"union extent on the first grid's cells, uncovered cells NoData",
       {{At(20, 20, 10, 1, 1), {5}}, {At(0, 40, 10, 1, 1), {7}}},
       At(0, 40, 10, 3, 3),
       {7, O, O, O, O, O, O, O, 5},
       0},
      {"a 1 x 1 grid", {{At(0, 10, 10, 1, 1), {3}}}, At(0, 10, 10, 1, 1), {3}, 0},
      {"an all-NoData grid", {{At(0, 10, 10, 2, 1), {N, N}}}, At(0, 10, 10, 2, 1), {O, O}, 0},
      {"cells off the first grid's lines are resampled",
       {{At(0, 20, 10, 2, 2), {1, 2, 3, 4}}, {At(3, 20, 10, 1, 1), {9}}},
       At(0, 20, 10, 2, 2),
       {9, 2, 3, 4},
       1},
      {"another cell size is resampled",
       {{At(0, 20, 10, 2, 2), {1, 2, 3, 4}}, {At(0, 20, 20, 1, 1), {8}}},
       At(0, 20, 10, 2, 2),
       {8, 8, 8, 8},
       1},
      {"another coordinate system is resampled",
       {{At(500000, 4000200, 100, 2, 2, nad83), {1, 2, 3, 4}},
        {At(500000, 4000200, 100, 2, 2, wgs84), {5, 6, 7, 8}}},
       At(500000, 4000200, 100, 2, 2),
       {5, 6, 7, 8},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    std::vector<fs::path> inputs;
    for (std::size_t i = 0; i < c.inputs.size(); ++i) {
      inputs.push_back(dir / ("in" + std::to_string(i)));
      WriteGrid(inputs.back(), c.inputs[i]);
    }
    const MosaicResult r = MosaicToNewRaster(inputs, dir / "out", "m", "", CellType::Int32);
    EXPECT_EQ(std::tie(r.geometry.originX, r.geometry.originY, r.geometry.cellSize, r.geometry.cols,
                       r.geometry.rows),
              std::tie(c.expected.originX, c.expected.originY, c.expected.cellSize, c.expected.cols,
                       c.expected.rows));
    EXPECT_EQ(Cells(dir / "out/m"), c.cells);
    EXPECT_EQ(r.cellsWithData,
              std::count_if(c.cells.begin(), c.cells.end(), [](std::int32_t v) { return v != O; }));
    ASSERT_EQ(r.resampled.size(), c.resampled);
    if (c.resampled > 0) {
      EXPECT_NE(r.resampled[0].find("in1"), std::string::npos) << r.resampled[0];
      EXPECT_NE(r.resampled[0].find("nearest neighbour"), std::string::npos) << r.resampled[0];
    }
    GridReader out(dir / "out/m");
    EXPECT_EQ(out.NoData(), O);
    EXPECT_TRUE(SameCrs(out.Geometry().crsWkt, c.inputs[0].geometry.crsWkt));
  }
}

TEST(MosaicToNewRaster, KeepsCountsAndRefusesWhatEightBitCellsCannotHold) {
  test::TempDir dir;
  WriteGrid(dir / "a", {At(0, 10, 10, 4, 1), {-1, 0, 7, 7}});
  WriteGrid(dir / "b", {At(0, 10, 10, 4, 1), {N, N, 3, N}});
  MosaicOptions options;
  options.keep = ParseCellCondition("value > 0");
  options.writeVat = true;
  const MosaicResult r =
      MosaicToNewRaster({dir / "a", dir / "b"}, dir / "out", "fdr", "", CellType::UInt8, options);
  EXPECT_EQ(Cells(dir / "out/fdr"), (std::vector<std::int32_t>{255, 255, 3, 7}));
  EXPECT_EQ(GridReader(dir / "out/fdr").Type(), CellType::UInt8);
  EXPECT_EQ(r.cellsWithData, 2);
  EXPECT_EQ(r.vatRows, 2);
  EXPECT_EQ(ValueCounts(dir / "out/fdr"), (Counts{{3, 1}, {7, 1}}));

  WriteGrid(dir / "wide", {At(0, 10, 10, 2, 1), {1, 300}});
  const AppError e =
      Raised([&] { MosaicToNewRaster({dir / "wide"}, dir / "out", "fdr", "", CellType::UInt8); });
  EXPECT_NE(e.Description().find("300"), std::string::npos) << e.Description();
  EXPECT_NE(e.Description().find("fdr"), std::string::npos) << e.Description();
  EXPECT_EQ(Cells(dir / "out/fdr"), (std::vector<std::int32_t>{255, 255, 3, 7}));  // untouched
}

TEST(MosaicToNewRaster, StoppedOrFailedMosaicLeavesTheEarlierGrid) {
  test::TempDir dir;
  // Enough rows for several rows of tiles, so that the stop comes in the middle.
  const Input big{At(0, 6000, 10, 3, 600), std::vector<std::int32_t>(1800, 4)};
  WriteGrid(dir / "in", big);
  WriteGrid(dir / "out/m", {At(0, 10, 10, 1, 1), {1}});
  const auto before = test::Snapshot(dir / "out/m");

  struct Stop {};
  MosaicOptions options;
  int rowsOfTiles = 0;
  options.checkpoint = [&] {
    if (++rowsOfTiles == 2) throw Stop{};
  };
  EXPECT_THROW(MosaicToNewRaster({dir / "in"}, dir / "out", "m", "", CellType::Int32, options),
               Stop);
  test::WriteFile(dir / "broken/broken.tif", std::string("II*\0 not a grid", 16));
  const AppError e = Raised([&] {
    MosaicToNewRaster({dir / "in", dir / "broken"}, dir / "out", "m", "", CellType::Int32);
  });
  EXPECT_NE(e.Description().find("broken.tif"), std::string::npos) << e.Description();
  EXPECT_EQ(test::Snapshot(dir / "out/m"), before);  // no half-written grid, no stray file
}

TEST(ExtractByAttributes, KeepsTheCellsTheConditionAccepts) {
  test::TempDir dir;
  WriteGrid(dir / "in", {At(0, 10, 10, 5, 1), {-2, 0, 3, 5, N}});
  const std::pair<const char*, std::vector<std::int32_t>> kept[] = {
      {"value > 0", {N, N, 3, 5, N}},       {"VALUE>=0", {N, 0, 3, 5, N}},
      {"Value < 3", {-2, 0, N, N, N}},      {" value <= -2 ", {-2, N, N, N, N}},
      {"value = 5", {N, N, N, 5, N}},       {"value <> 0", {-2, N, 3, 5, N}},
      {"\"VALUE\" > 2.5", {N, N, 3, 5, N}},
  };
  for (const auto& [clause, cells] : kept) {
    SCOPED_TRACE(clause);
    ExtractByAttributes(dir / "in", clause, dir / "out");
    EXPECT_EQ(GridReader(dir / "out").NoData(), O);
    std::vector<std::int32_t> expected = cells;
    std::replace(expected.begin(), expected.end(), N, O);
    EXPECT_EQ(Cells(dir / "out"), expected);
  }
  for (const char* clause : {"", "value", "value >", "count > 0", "value > 0 AND value < 5",
                             "value >> 1", "value > abc", "value > inf"}) {
    SCOPED_TRACE(clause);
    const AppError e = Raised([&] { ExtractByAttributes(dir / "in", clause, dir / "refused"); });
    EXPECT_NE(e.Description().find(std::string("\"") + clause + "\""), std::string::npos)
        << e.Description();
    EXPECT_FALSE(fs::exists(dir / "refused"));
  }
}

TEST(BuildRasterAttributeTable, CountsTheCellsOfEachValue) {
  test::TempDir dir;
  WriteGrid(dir / "g", {At(0, 20, 10, 3, 2), {5, 5, N, 2, 5, -1}});
  EXPECT_EQ(BuildRasterAttributeTable(dir / "g"), 3);
  EXPECT_EQ(ValueCounts(dir / "g"), (Counts{{-1, 1}, {2, 1}, {5, 3}}));
  WriteGrid(dir / "empty", {At(0, 10, 10, 2, 1), {N, N}});
  EXPECT_EQ(BuildRasterAttributeTable(dir / "empty"), 0);
  EXPECT_TRUE(ReadVat(dir / "empty").rows.empty());
  // ArcInfo grids keep their tables in INFO, which the program never writes.
  EXPECT_EQ(Raised([] {
              BuildRasterAttributeTable(fs::path(RIVANET_TEST_DATA) /
                                        "esri-grids/ottawa-census-tracts/gct_raster");
            }).Number(),
            kErrInvalidArgument);
}

TEST(VatCursor, UpdatesRowsInValueOrderAndPutsTheTableInPlaceOnlyOnFlush) {
  test::TempDir dir;
  fs::create_directories(dir / "g");
  WriteVat(dir / "g", {{{"Value", DbfType::Integer, 10, 0}, {"Count", DbfType::Integer, 10, 0}},
                       {{std::int64_t{30}, std::int64_t{1}}, {std::int64_t{-4}, std::int64_t{2}}}});
  AddVatField(dir / "g", {"Comid", DbfType::Integer, 10, 0});
  AddVatField(dir / "g", {"Prod_unit", DbfType::String, 4, 0});
  EXPECT_EQ(Raised([&] {
              AddVatField(dir / "g", {"COMID", DbfType::Integer, 10, 0});
            }).Number(),
            kErrFileAlreadyExists);

  const auto fill = [&](bool flush) {
    VatCursor cursor(dir / "g", VatCursor::Mode::Update);
    const int comid = cursor.FindField("comid"), unit = cursor.FindField("PROD_UNIT");
    std::vector<std::int64_t> order;
    while (cursor.Next()) {
      order.push_back(cursor.Value());
      cursor.Set(comid, cursor.Value() * 100);
      cursor.Set(unit, std::string("0") + std::to_string(order.size()));
      cursor.UpdateRow();
    }
    EXPECT_EQ(order, (std::vector<std::int64_t>{-4, 30}));
    const AppError tooLong = Raised([&] { cursor.Set(unit, std::string("12345")); });
    EXPECT_NE(tooLong.Description().find("g.tif.vat.dbf"), std::string::npos);
    if (flush) cursor.Flush();
  };
  const auto empty = ReadVat(dir / "g").rows;
  fill(false);
  EXPECT_EQ(ReadVat(dir / "g").rows, empty);
  fill(true);
  EXPECT_EQ(ReadVat(dir / "g").rows,
            (std::vector<VatRow>{{std::int64_t{-4}, std::int64_t{2}, std::int64_t{-400}, "01"},
                                 {std::int64_t{30}, std::int64_t{1}, std::int64_t{3000}, "02"}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "g"), fs::directory_iterator()), 2);

  VatCursor reading(dir / "g", VatCursor::Mode::Read);
  ASSERT_TRUE(reading.Next());
  EXPECT_EQ(Raised([&] { reading.Set(2, std::int64_t{1}); }).Number(), kErrPermissionDenied);
}

TEST(VatCursor, RefusesATableNotInValueOrder) {
  test::TempDir dir;
  fs::create_directories(dir / "g");
  {  // written with OGR directly: the program's own writer always sorts
    const gis::DatasetPtr ds(
        gis::Driver("ESRI Shapefile", {})
            .Create((dir / "g/g.tif.vat.dbf").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer* layer = ds->CreateLayer("g.tif.vat", nullptr, wkbNone, nullptr);
    for (const char* name : {"Value", "Count"}) {
      OGRFieldDefn field(name, OFTInteger);
      layer->CreateField(&field);
    }
    for (int value : {5, 3}) {
      const gis::FeaturePtr row = gis::NewFeature(*layer);
      row->SetField(0, value);
      row->SetField(1, 1);
      ASSERT_EQ(layer->CreateFeature(row.get()), OGRERR_NONE);
    }
  }
  VatCursor cursor(dir / "g", VatCursor::Mode::Read);
  EXPECT_TRUE(cursor.Next());
  const AppError e = Raised([&] { cursor.Next(); });
  EXPECT_NE(e.Description().find("ascending"), std::string::npos) << e.Description();
  // INFO tables may hand integers over as text.
  EXPECT_EQ(VatInteger(VatValue(std::string(" 1234567 "))), 1234567);
  EXPECT_THROW(VatInteger(VatValue(std::string("12a"))), AppError);
}
