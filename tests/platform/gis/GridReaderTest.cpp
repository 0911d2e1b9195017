// Grids and value attribute tables written by ArcGIS (tests/data), read block by block as the
// program streams them; and grids and tables that cannot be read.

#include <climits>
#include <functional>
#include <tuple>

#include "GisTest.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridVat.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;

const fs::path kData = RIVANET_TEST_DATA;

TEST(GridReader, ArcGisGridsStreamToTheCountsOfTheirTablesAndStayUntouched) {
  // The program keeps a GeoTIFF grid as <grid>/<grid>.tif; lay the ArcGIS files out that way.
  test::TempDir dir;
  fs::create_directories(dir / "netvegkc100m_sml");
  for (const char* ext : {".tif", ".tif.vat.dbf"})
    fs::copy_file(kData / "arcgis-tiff-vat" / (std::string("netvegkc100m_sml") + ext),
                  dir / "netvegkc100m_sml" / (std::string("netvegkc100m_sml") + ext));
  struct Case {
    fs::path folder;
    int cols, rows;
    double cellSize;
    const char* crs;  // a part of the coordinate system's description
    CellType type;    // 16-bit ArcInfo grids read as Int32
    std::int32_t noData;
    int blockHeight;
    std::int64_t noDataCells;
  };
  const Case cases[] = {
      {kData / "esri-grids/ottawa-census-tracts/gct_raster", 579, 429, 150, "Transverse_Mercator",
       CellType::Int32, -32768, 16, 123282},
      // Found under another letter case.
      {kData / "esri-grids/mozambique-travel/ROADSGRD", 1054, 1634, 0.01, "WGS 84", CellType::UInt8,
       255, 16, 1054 * 1634 - 42899},
      {dir / "netvegkc100m_sml", 361, 292, 100, "GDA94", CellType::Int32, INT_MIN, 128, 0},
  };
  const test::Tree before = test::Snapshot(kData);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder.string());
    GridReader reader(c.folder);
    const GridGeometry& g = reader.Geometry();
    EXPECT_EQ(std::tie(g.cols, g.rows, g.cellSize), std::tie(c.cols, c.rows, c.cellSize));
    EXPECT_NE(g.crsWkt.find(c.crs), std::string::npos) << g.crsWkt;
    EXPECT_EQ(std::tuple(reader.Type(), reader.NoData(), reader.BlockHeight()),
              std::tuple(c.type, std::optional(c.noData), c.blockHeight));

    // Cells by value (NoData too), read a block of rows at a time as the program streams them.
    std::map<std::int64_t, std::int64_t> vatCounts, counts;
    for (const std::int32_t v : test::CellsOf(c.folder, reader.BlockHeight())) ++counts[v];
    for (const auto& row : ReadVat(c.folder).rows)  // ArcGIS stores Count as a real
      vatCounts[VatInteger(row.at(0))] = VatInteger(row.at(1));
    EXPECT_EQ(counts[c.noData], c.noDataCells);
    counts.erase(c.noData);
    EXPECT_EQ(counts, vatCounts);
  }
  EXPECT_EQ(test::Changes(before, test::Snapshot(kData)), test::kNoChanges);

  // Text as ArcGIS stores it, in a field 254 wide.
  const Vat veg = ReadVat(dir / "netvegkc100m_sml");
  const int name = FindVatField(veg, "class_nam");
  EXPECT_EQ(veg.rows.at(3).at(name), VatValue("New England Grassy Woodlands"));
  EXPECT_EQ(veg.rows.back().at(name), VatValue("Cleared or greater than 0.7 modified"));
}

TEST(GridReader, MissingOrBrokenGridsAndTablesNameTheFile) {
  test::TempDir dir;
  fs::create_directories(dir / "empty");
  test::WriteFile(dir / "broken" / "broken.tif", std::string("II*\0garbage", 11));
  EXPECT_FALSE(HasVat(dir / "empty"));
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { GridReader r(dir / "empty"); }, "empty"},
      {[&] { GridReader r(dir / "missing"); }, "missing"},
      {[&] { GridReader r(dir / "broken"); }, "broken.tif"},
      {[&] { ReadVat(dir / "empty"); }, "empty.tif.vat.dbf"}};
  for (const auto& [read, file] : cases) {
    const std::string description = test::Raised(read).Description();
    EXPECT_NE(description.find(file), std::string::npos) << description;
  }
  EXPECT_EQ(test::Raised([&] { GridReader r(dir / "broken"); }).Source(), "GDAL");
}
