// Checks that the example workspaces rivanet-synth writes fit together as an append needs
// them: grids on one cell grid, catchment grid and value attribute table in agreement, and the
// same files for the same seed. Read back with the readers the run uses, from a small 2 x 2
// layout. FeaturePhaseCases.GeneratedWorkspacesAppendAsTheLayoutSays appends such a run.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "Generator.h"
#include "platform/gis/Crs.h"
#include "platform/gis/DbfReader.h"
#include "platform/gis/FeatureReader.h"
#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridVat.h"
#include "support/TempDir.h"
#include "workspace/Schema.h"

namespace {

namespace fs = std::filesystem;
namespace gis = rivanet::gis;
using rivanet::test::TempDir;

constexpr int kUnits = 4;  // laid out 2 x 2
constexpr int kCells = 96;
constexpr int kMargin = 16;
constexpr int kStride = kCells - kMargin;
const char* const kUnitNames[kUnits] = {"unit_U001", "unit_U002", "unit_U003", "unit_U004"};

void Generate(const fs::path& out, std::uint64_t seed) {
  rivanet::synth::Generate({.out = out,
                            .count = kUnits,
                            .cells = kCells,
                            .margin = kMargin,
                            .threshold = 12,
                            .seed = seed,
                            .schemaFile = fs::path(RIVANET_SOURCE_DIR) / "schema/workspace.schema"},
                           nullptr);
}

// The cells of a unit's grid, row by row.
std::vector<std::int32_t> ReadCells(const fs::path& folder) {
  gis::GridReader reader(folder);
  std::vector<std::int32_t> cells(static_cast<std::size_t>(kCells) * kCells);
  reader.ReadRows(0, kCells, cells.data());
  return cells;
}

// The rows of a dBASE table (a shapefile's attribute table too) by the Comid they hold; none
// when the table has no Comid.
std::map<std::int64_t, std::multiset<gis::DbfRow>> RowsByComid(const fs::path& dbf) {
  gis::DbfReader reader(dbf);
  const int comid = gis::FindFieldIn(reader.Fields(), "Comid");
  std::map<std::int64_t, std::multiset<gis::DbfRow>> rows;
  for (gis::DbfRow row; comid >= 0 && reader.Next(row);)
    rows[std::get<std::int64_t>(row[comid])].insert(row);
  return rows;
}

// The run every test reads, generated once.
fs::path Unit(int i) {
  static const TempDir dir;
  [[maybe_unused]] static const bool made = (Generate(dir / "run", 7), true);
  return dir / "run" / kUnitNames[i];
}

// In each unit every grid lies on one cell grid in EPSG:5070, placed by the unit's place in the
// layout; each catchment-grid value has one VAT row counting its cells and naming a flowline's
// Comid, each Comid once.
TEST(SynthOutputTest, EachUnit_GridsAlignAndTheCatchmentVatCountsTheGrid) {
  const std::string epsg5070 = gis::WktOf(*gis::SpatialRefFromEpsg(5070, {}), "EPSG");
  for (int i = 0; i < kUnits; ++i) {
    SCOPED_TRACE(kUnitNames[i]);
    for (const auto& grid : rivanet::schema::ShippedSchema().grids) {
      const gis::GridGeometry g = gis::GridReader(Unit(i) / grid.Path()).Geometry();
      EXPECT_TRUE(gis::SameCrs(g.crsWkt, epsg5070)) << grid.Path();
      EXPECT_EQ(std::pair(g.cols, g.cellSize), std::pair(kCells, 30.0)) << grid.Path();
      EXPECT_EQ(gis::AlignedOffset(gis::GridReader(Unit(0) / grid.Path()).Geometry(), g),
                (gis::CellOffset{i % 2 * kStride, i / 2 * kStride}))
          << grid.Path();
    }
    std::map<std::int64_t, std::int64_t> cells, vatCells;  // by value
    for (std::int32_t v : ReadCells(Unit(i) / "drainage/cat"))
      if (v > 0) ++cells[v];
    ASSERT_GT(cells.size(), 10u);
    const auto flowlines = RowsByComid(Unit(i) / "hydrography/RVXFlowline.dbf");
    const gis::Vat vat = gis::ReadVat(Unit(i) / "drainage/cat");
    std::set<std::int64_t> comids;
    for (const auto& row : vat.rows) {
      const std::int64_t comid = gis::VatInteger(row[gis::FindVatField(vat, "Comid")]);
      vatCells[gis::VatInteger(row[0])] = gis::VatInteger(row[1]);
      EXPECT_TRUE(flowlines.count(comid)) << "VAT Comid " << comid << " has no flowline";
      EXPECT_TRUE(comids.insert(comid).second) << "Comid " << comid << " twice in the VAT";
    }
    EXPECT_EQ(vatCells, cells);
  }
}

// The same seed writes the same files byte for byte; another seed other terrain and reaches.
TEST(SynthOutputTest, SameSeed_SameFiles_OtherSeed_OtherTerrainAndReaches) {
  const fs::path first = Unit(0).parent_path();
  TempDir dir;
  Generate(dir / "again", 7);
  Generate(dir / "other", 8);
  const auto files = [](const fs::path& run) {
    rivanet::test::Tree tree = rivanet::test::Snapshot(run);
    for (auto& [name, bytes] : tree)  // a dBASE header holds the day it was written
      if (name.ends_with(".dbf") && bytes.size() > 4) bytes.replace(1, 3, "YMD");
    return tree;
  };
  const auto run = files(first), again = files(dir / "again"), other = files(dir / "other");
  ASSERT_GT(run.size(), 300u);
  EXPECT_EQ(rivanet::test::Changes(run, again), rivanet::test::kNoChanges);
  for (const char* file :
       {"unit_U001/elev_unit/elev_cm/elev_cm.tif", "unit_U001/RVXFlowlineVaa.dbf"})
    EXPECT_NE(run.at(file), other.at(file)) << file;
}

}  // namespace
