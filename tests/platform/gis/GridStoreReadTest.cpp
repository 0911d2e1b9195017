// Grids and value attribute tables written by ArcGIS, read from the shared test data.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Error.h"
#include "platform/gis/GridStore.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;

namespace {

const fs::path kShared = RIVANET_TEST_DATA;
const fs::path kGrids = kShared / "esri-grids";

struct Histogram {
  std::map<std::int64_t, std::int64_t> counts;  // valid cells by value
  std::int64_t noData = 0;
};

// Reads the grid a block height at a time, as the program streams grids.
Histogram Stream(GridReader& reader) {
  const GridGeometry& g = reader.Geometry();
  const int step = std::max(1, reader.BlockHeight());
  std::vector<std::int32_t> window(static_cast<std::size_t>(g.cols) * step);
  Histogram h;
  for (int row = 0; row < g.rows; row += step) {
    const int n = std::min(step, g.rows - row);
    reader.ReadRows(row, n, window.data());
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) * g.cols; ++i) {
      if (reader.NoData() == window[i])
        ++h.noData;
      else
        ++h.counts[window[i]];
    }
  }
  return h;
}

std::map<std::int64_t, std::int64_t> VatCounts(const Vat& vat) {
  std::map<std::int64_t, std::int64_t> counts;
  const int count = FindVatField(vat, "Count");
  EXPECT_EQ(count, 1);
  for (const auto& row : vat.rows) counts[VatInteger(row.at(0))] = VatInteger(row.at(count));
  return counts;
}

std::vector<std::pair<std::int64_t, std::int64_t>> ValueCountRows(const Vat& vat) {
  std::vector<std::pair<std::int64_t, std::int64_t>> rows;
  for (const auto& row : vat.rows) rows.emplace_back(VatInteger(row.at(0)), VatInteger(row.at(1)));
  return rows;
}

// Every file under the shared data with its size and time, to prove reading changed nothing.
std::vector<std::tuple<std::string, std::uintmax_t, fs::file_time_type>> Listing() {
  std::vector<std::tuple<std::string, std::uintmax_t, fs::file_time_type>> files;
  for (const auto& e : fs::recursive_directory_iterator(kShared))
    if (e.is_regular_file()) files.emplace_back(e.path().string(), e.file_size(), e.last_write_time());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

TEST(GridStoreArcInfo, OttawaCensusTracts) {
  const fs::path folder = kGrids / "ottawa-census-tracts" / "gct_raster";
  GridReader reader(folder);
  const GridGeometry& g = reader.Geometry();
  EXPECT_EQ(g.cols, 579);
  EXPECT_EQ(g.rows, 429);
  EXPECT_DOUBLE_EQ(g.cellSize, 150);
  EXPECT_NE(g.crsWkt.find("Transverse_Mercator"), std::string::npos) << g.crsWkt;
  EXPECT_EQ(reader.Type(), CellType::Int32);  // stored as 16-bit integers
  EXPECT_EQ(reader.NoData(), -32768);

  ASSERT_TRUE(HasVat(folder));
  const Vat vat = ReadVat(folder);
  ASSERT_EQ(vat.fields.size(), 2u);
  EXPECT_EQ(vat.fields[0].name, "VALUE");
  EXPECT_EQ(vat.fields[1].name, "COUNT");
  EXPECT_EQ(vat.fields[1].type, VatFieldType::Integer);
  const auto rows = ValueCountRows(vat);
  ASSERT_EQ(rows.size(), 154u);
  EXPECT_EQ(rows[0], std::make_pair(std::int64_t{0}, std::int64_t{20}));
  EXPECT_EQ(rows[1], std::make_pair(std::int64_t{20}, std::int64_t{54}));
  EXPECT_EQ(rows[2], std::make_pair(std::int64_t{50}, std::int64_t{44}));
  EXPECT_EQ(rows.back(), std::make_pair(std::int64_t{4195}, std::int64_t{2}));

  const Histogram h = Stream(reader);
  EXPECT_EQ(h.counts, VatCounts(vat));
  EXPECT_EQ(h.noData, 123282);
}

TEST(GridStoreArcInfo, MozambiqueRoadsFoundUnderOtherLetterCase) {
  const fs::path folder = kGrids / "mozambique-travel" / "ROADSGRD";
  GridReader reader(folder);
  EXPECT_EQ(reader.Geometry().cols, 1054);
  EXPECT_EQ(reader.Geometry().rows, 1634);
  EXPECT_DOUBLE_EQ(reader.Geometry().cellSize, 0.01);
  EXPECT_EQ(reader.Type(), CellType::UInt8);
  EXPECT_EQ(reader.NoData(), 255);

  const Vat vat = ReadVat(folder);
  using P = std::pair<std::int64_t, std::int64_t>;
  EXPECT_EQ(ValueCountRows(vat), (std::vector<P>{{10, 25071}, {20, 10797}, {60, 4607}, {100, 2424}}));
  const Histogram h = Stream(reader);
  EXPECT_EQ(h.counts, VatCounts(vat));
  EXPECT_EQ(h.noData, std::int64_t{1054} * 1634 - 42899);
}

TEST(GridStoreArcInfo, LargeGridStreamsWithinSeconds) {
  const auto start = std::chrono::steady_clock::now();
  const fs::path folder = kGrids / "bynum-topo" / "bynum_topo";
  GridReader reader(folder);
  EXPECT_EQ(reader.Geometry().cols, 4718);
  EXPECT_EQ(reader.Geometry().rows, 4289);
  EXPECT_EQ(reader.NoData(), 255);
  const Vat vat = ReadVat(folder);
  EXPECT_EQ(vat.rows.size(), 12u);
  const Histogram h = Stream(reader);
  EXPECT_EQ(h.counts, VatCounts(vat));
  EXPECT_EQ(h.noData, 9379222);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(GridStoreArcGisTiff, VatSidecarWithTextAndRealFields) {
  // The project keeps a grid as <grid>/<grid>.tif; lay the ArcGIS files out that way.
  test::TempDir dir;
  const fs::path folder = dir / "netvegkc100m_sml";
  fs::create_directories(folder);
  for (const char* ext : {".tif", ".tif.vat.dbf"})
    fs::copy_file(kShared / "arcgis-tiff-vat" / (std::string("netvegkc100m_sml") + ext),
                  folder / (std::string("netvegkc100m_sml") + ext));

  GridReader reader(folder);
  EXPECT_EQ(reader.Geometry().cols, 361);
  EXPECT_EQ(reader.Geometry().rows, 292);
  EXPECT_DOUBLE_EQ(reader.Geometry().cellSize, 100);
  EXPECT_EQ(reader.Type(), CellType::Int32);
  EXPECT_EQ(reader.NoData(), INT_MIN);
  EXPECT_EQ(reader.BlockHeight(), 128);

  ASSERT_TRUE(HasVat(folder));
  const Vat vat = ReadVat(folder);
  ASSERT_EQ(vat.fields.size(), 20u);
  ASSERT_EQ(vat.rows.size(), 14u);
  EXPECT_EQ(vat.fields[0].name, "Value");
  EXPECT_EQ(vat.fields[1].type, VatFieldType::Real);
  EXPECT_EQ(vat.fields[1].width, 19);
  EXPECT_EQ(vat.fields[1].precision, 11);
  const int name = FindVatField(vat, "CLASS_NAM");
  const int formation = FindVatField(vat, "FORMATION");
  ASSERT_EQ(name, 6);
  ASSERT_EQ(formation, 8);
  EXPECT_EQ(vat.fields[name].type, VatFieldType::String);
  EXPECT_EQ(vat.fields[name].width, 254);
  EXPECT_EQ(vat.fields.back().name, "LABEL_KF1");

  const auto text = [&](const VatRow& row, int field) { return std::get<std::string>(row.at(field)); };
  EXPECT_EQ(VatInteger(vat.rows[0][0]), 0);
  EXPECT_EQ(VatInteger(vat.rows[0][1]), 71730);
  EXPECT_EQ(text(vat.rows[0], name), "Undefined or Unmapped");
  const auto v21 = std::find_if(vat.rows.begin(), vat.rows.end(),
                                [](const VatRow& r) { return VatInteger(r[0]) == 21; });
  ASSERT_NE(v21, vat.rows.end());
  EXPECT_EQ(VatInteger((*v21)[1]), 11169);
  EXPECT_EQ(text(*v21, name), "New England Grassy Woodlands");
  EXPECT_EQ(text(*v21, formation), "Grassy woodlands");
  EXPECT_EQ(VatInteger(vat.rows.back()[0]), 999);
  EXPECT_EQ(VatInteger(vat.rows.back()[1]), 1463);
  EXPECT_EQ(text(vat.rows.back(), name), "Cleared or greater than 0.7 modified");

  const Histogram h = Stream(reader);
  EXPECT_EQ(h.counts, VatCounts(vat));
  EXPECT_EQ(h.noData, 0);
}

TEST(GridStoreArcInfo, ReadingLeavesTheSharedDataUntouched) {
  const auto before = Listing();
  for (const fs::path& folder : {kGrids / "ottawa-census-tracts" / "gct_raster",
                                kGrids / "mozambique-travel" / "outbklink"}) {
    GridReader reader(folder);
    std::vector<std::int32_t> row(static_cast<std::size_t>(reader.Geometry().cols));
    reader.ReadRows(0, 1, row.data());
    EXPECT_FALSE(ReadVat(folder).rows.empty());
  }
  EXPECT_EQ(Listing(), before);
}
