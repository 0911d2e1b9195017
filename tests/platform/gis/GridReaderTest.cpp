// Grids written by ArcGIS (tests/data), read block by block as the program streams them.

#include <algorithm>
#include <climits>
#include <map>
#include <tuple>
#include <vector>

#include "GisTest.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridVat.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;

namespace {

const fs::path kData = RIVANET_TEST_DATA;

struct Histogram {
  std::map<std::int64_t, std::int64_t> counts;  // valid cells by value
  std::int64_t noData = 0;
};

Histogram Stream(GridReader& reader) {
  const GridGeometry& g = reader.Geometry();
  const int step = std::max(1, reader.BlockHeight());
  std::vector<std::int32_t> window(static_cast<std::size_t>(g.cols) * step);
  Histogram h;
  for (int row = 0; row < g.rows; row += step) {
    const int n = std::min(step, g.rows - row);
    reader.ReadRows(row, n, window.data());
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) * g.cols; ++i)
      reader.NoData() == window[i] ? ++h.noData : ++h.counts[window[i]];
  }
  return h;
}

// Every file under the test data with its size and time, to show that reading changed nothing.
std::vector<std::tuple<std::string, std::uintmax_t, fs::file_time_type>> Listing() {
  std::vector<std::tuple<std::string, std::uintmax_t, fs::file_time_type>> files;
  for (const auto& e : fs::recursive_directory_iterator(kData))
    if (e.is_regular_file())
      files.emplace_back(e.path().string(), e.file_size(), e.last_write_time());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

TEST(GridReader, ArcGisGridsStreamToTheCountsOfTheirTables) {
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
  const auto before = Listing();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder.string());
    GridReader reader(c.folder);
    const GridGeometry& g = reader.Geometry();
    EXPECT_EQ(std::tie(g.cols, g.rows, g.cellSize), std::tie(c.cols, c.rows, c.cellSize));
    EXPECT_NE(g.crsWkt.find(c.crs), std::string::npos) << g.crsWkt;
    EXPECT_EQ(reader.Type(), c.type);
    EXPECT_EQ(reader.NoData(), c.noData);
    EXPECT_EQ(reader.BlockHeight(), c.blockHeight);

    const Vat vat = ReadVat(c.folder);
    std::map<std::int64_t, std::int64_t> vatCounts;
    for (const auto& row : vat.rows) vatCounts[VatInteger(row.at(0))] = VatInteger(row.at(1));
    const Histogram h = Stream(reader);
    EXPECT_EQ(h.counts, vatCounts);
    EXPECT_EQ(h.noData, c.noDataCells);
  }
  EXPECT_EQ(Listing(), before);
}

TEST(GridReader, EachFailureNamesTheFile) {
  test::TempDir dir;
  fs::create_directories(dir / "empty");
  const AppError noGrid = test::Raised([&] { GridReader r(dir / "empty"); });
  EXPECT_EQ(noGrid.Number(), kErrFileNotFound);
  EXPECT_NE(noGrid.Description().find("empty"), std::string::npos) << noGrid.Description();
  EXPECT_EQ(test::Raised([&] { GridReader r(dir / "missing"); }).Number(), kErrPathNotFound);

  test::WriteFile(dir / "broken" / "broken.tif", std::string("II*\0garbage", 11));
  const AppError corrupt = test::Raised([&] { GridReader r(dir / "broken"); });
  EXPECT_EQ(corrupt.Source(), "GDAL");
  EXPECT_NE(corrupt.Description().find("Cannot open grid"), std::string::npos)
      << corrupt.Description();
  EXPECT_NE(corrupt.Description().find("broken.tif"), std::string::npos) << corrupt.Description();
}
