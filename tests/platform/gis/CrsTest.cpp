// When two grids' cells can be copied onto each other: same coordinate system, same cells.

#include "GisTest.h"
#include "platform/gis/Crs.h"
#include "platform/gis/GridReader.h"

using namespace rivanet;
using namespace rivanet::gis;

TEST(Crs, SameSystemWhateverTheDialect) {
  const std::filesystem::path data = RIVANET_TEST_DATA;
  // EPSG:5070 as ArcGIS writes it into a .prj.
  const std::string esri5070 =
      R"(PROJCS["NAD_1983_Contiguous_USA_Albers",GEOGCS["GCS_North_American_1983",DATUM["D_North_American_1983",)"
      R"(SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],)"
      R"(PROJECTION["Albers"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],)"
      R"(PARAMETER["Central_Meridian",-96.0],PARAMETER["Standard_Parallel_1",29.5],)"
      R"(PARAMETER["Standard_Parallel_2",45.5],PARAMETER["Latitude_Of_Origin",23.0],UNIT["Meter",1.0]])";
  const std::string mga56Prj =
      test::ReadFile(data / "shapefiles/Place_Names.prj");  // ArcGIS, GDA94 MGA 56
  const std::string ottawa =
      GridReader(data / "esri-grids/ottawa-census-tracts/gct_raster").Geometry().crsWkt;
  const struct {
    std::string a, b;
    bool same;
  } cases[] = {
      {test::EpsgWkt(5070), esri5070, true},
      {test::EpsgWkt(26915), test::EpsgWkt(26916), false},  // neighbouring UTM zones
      {mga56Prj, test::EpsgWkt(28356), true},
      {mga56Prj, test::EpsgWkt(28355), false},
      {ottawa, ottawa, true},
      {"", "", true},
      {"", esri5070, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SameCrs(c.a, c.b), c.same) << c.a.substr(0, 60) << " / " << c.b.substr(0, 60);
  EXPECT_EQ(test::Raised([&] { SameCrs("GEOGCS[broken", esri5070); }).Source(), "GDAL");
}

TEST(Crs, CellsAlignWhenSizesMatchAndOriginsAreWholeCellsApart) {
  const GridGeometry a{1000, 9000, 30, 10, 10, ""};
  const struct {
    GridGeometry b;
    std::optional<CellOffset> offset;
  } cases[] = {
      {{1090, 9060, 30, 5, 5, ""}, CellOffset{3, -2}},
      // Stored sizes that differ in the last digits.
      {{1000 - 3e6, 9000, 30 * (1 + 1e-13), 5, 5, ""}, CellOffset{-100000, 0}},
      {{1015, 9000, 30, 5, 5, ""}, std::nullopt},    // half a cell off
      {{1000, 9000, 30.5, 5, 5, ""}, std::nullopt},  // other cell size
  };
  for (const auto& c : cases)
    EXPECT_EQ(AlignedOffset(a, c.b), c.offset) << c.b.originX << " " << c.b.cellSize;
}
