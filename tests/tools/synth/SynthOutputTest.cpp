// Checks the files rivanet-synth writes, read back through GDAL/OGR: grids, value attribute
// table, catchment polygons, flowlines and tables of a small 2 x 2 layout.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Generator.h"
#include "support/TempDir.h"
#include "workspace/Schema.h"

namespace {

namespace fs = std::filesystem;
using rivanet::synth::GenerateOptions;

constexpr int kUnits = 4;  // laid out 2 x 2
constexpr int kCells = 96;
constexpr int kMargin = 16;
constexpr int kStride = kCells - kMargin;
const int kOffsetRow[kUnits] = {0, 0, kStride, kStride};
const int kOffsetCol[kUnits] = {0, kStride, 0, kStride};
const char* const kUnitNames[kUnits] = {"unit_U001", "unit_U002", "unit_U003", "unit_U004"};
constexpr int kDirRow[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kDirCol[8] = {1, 1, 0, -1, -1, -1, 0, 1};

GenerateOptions SmallRun(const fs::path& out, std::uint64_t seed) {
  GenerateOptions o;
  o.out = out;
  o.count = kUnits;
  o.cells = kCells;
  o.margin = kMargin;
  o.threshold = 12;
  o.seed = seed;
  o.schemaFile = fs::path(RIVANET_SOURCE_DIR) / "schema" / "workspace.schema";
  return o;
}

struct Grid {
  int cols = 0, rows = 0;
  double transform[6] = {};
  std::string epsg;
  std::vector<std::int32_t> cells;
  std::int32_t At(int r, int c) const { return cells[static_cast<std::size_t>(r) * cols + c]; }
};

Grid ReadGrid(const fs::path& folder) {
  const fs::path file = folder / (folder.filename().string() + ".tif");
  GDALDatasetUniquePtr ds(GDALDataset::Open(file.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (!ds) throw std::runtime_error("cannot open " + file.string());
  Grid g;
  g.cols = ds->GetRasterXSize();
  g.rows = ds->GetRasterYSize();
  if (ds->GetGeoTransform(g.transform) != CE_None) throw std::runtime_error("no georeferencing in " + file.string());
  const OGRSpatialReference* srs = ds->GetSpatialRef();
  if (srs != nullptr && srs->GetAuthorityCode(nullptr) != nullptr) g.epsg = srs->GetAuthorityCode(nullptr);
  g.cells.resize(static_cast<std::size_t>(g.cols) * g.rows);
  if (ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, g.cols, g.rows, g.cells.data(), g.cols, g.rows, GDT_Int32, 0, 0,
                                     nullptr) != CE_None)
    throw std::runtime_error("cannot read " + file.string());
  return g;
}

// Every feature of a shapefile or dBASE table: its fields as text, and its geometry.
struct Feature {
  std::map<std::string, std::string> fields;
  std::string Row() const {
    std::string row;
    for (const auto& [name, value] : fields) row += name + "=" + value + "|";
    return row;
  }
  std::unique_ptr<OGRGeometry> geometry;
  long long Int(const std::string& name) const { return std::stoll(fields.at(name)); }
};

std::vector<Feature> ReadFeatures(const fs::path& file) {
  GDALDatasetUniquePtr ds(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!ds || ds->GetLayerCount() != 1) throw std::runtime_error("cannot open " + file.string());
  std::vector<Feature> out;
  for (auto& f : *ds->GetLayer(0)) {
    Feature feature;
    for (int i = 0; i < f->GetFieldCount(); ++i)
      feature.fields[f->GetFieldDefnRef(i)->GetNameRef()] = f->IsFieldSetAndNotNull(i) ? f->GetFieldAsString(i) : "<null>";
    if (f->GetGeometryRef() != nullptr) feature.geometry.reset(f->GetGeometryRef()->clone());
    out.push_back(std::move(feature));
  }
  return out;
}

std::vector<fs::path> FilesWithExtension(const fs::path& folder, const std::string& ext) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file() && e.path().extension() == ext) files.push_back(fs::relative(e.path(), folder));
  std::sort(files.begin(), files.end());
  return files;
}

class SynthOutputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    GDALAllRegister();
    s_dir = std::make_unique<rivanet::test::TempDir>();
    rivanet::synth::Generate(SmallRun(s_dir->Path() / "run", 7), nullptr);
  }
  static void TearDownTestSuite() { s_dir.reset(); }

  static fs::path Unit(int i) { return s_dir->Path() / "run" / kUnitNames[i]; }
  static std::set<long long> FlowlineComids(int i) {
    std::set<long long> comids;
    for (const auto& f : ReadFeatures(Unit(i) / "hydrography" / "RVXFlowline.shp")) comids.insert(f.Int("Comid"));
    return comids;
  }

  // Cells per catchment-grid value of a unit.
  static std::map<long long, long long> CatchmentCellCounts(int i) {
    std::map<long long, long long> cells;
    for (std::int32_t v : ReadGrid(Unit(i) / "drainage" / "cat").cells)
      if (v > 0) ++cells[v];
    return cells;
  }

  static std::unique_ptr<rivanet::test::TempDir> s_dir;
};
std::unique_ptr<rivanet::test::TempDir> SynthOutputTest::s_dir;

TEST_F(SynthOutputTest, ListFile_NamesEveryWorkspaceInOrder) {
  std::ifstream list(s_dir->Path() / "run" / "workspaces.txt");
  std::vector<std::string> names;
  for (std::string line; std::getline(list, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    names.push_back(line);
  }
  ASSERT_EQ(names.size(), static_cast<std::size_t>(kUnits));
  for (int i = 0; i < kUnits; ++i) {
    EXPECT_EQ(names[static_cast<std::size_t>(i)], kUnitNames[i]);
    EXPECT_TRUE(fs::is_directory(Unit(i) / "drainage" / "cat"));
    EXPECT_TRUE(fs::is_regular_file(Unit(i) / "drainage" / "catchment.shp"));
    EXPECT_FALSE(FilesWithExtension(Unit(i), ".txt").empty());
  }
}

TEST_F(SynthOutputTest, Grids_ShareOneAlignedCellGridAndAgreeWhereUnitsOverlap) {
  std::vector<Grid> elev;
  for (int i = 0; i < kUnits; ++i) {
    for (const auto& schemaGrid : rivanet::schema::ShippedSchema().grids) {
      const std::string g = schemaGrid.Path();
      const Grid grid = ReadGrid(Unit(i) / g);
      EXPECT_EQ(grid.epsg, "5070") << g;
      EXPECT_EQ(grid.cols, kCells);
      EXPECT_DOUBLE_EQ(grid.transform[1], 30.0);
      EXPECT_DOUBLE_EQ(grid.transform[0] - ReadGrid(Unit(0) / g).transform[0], kOffsetCol[i] * 30.0);
      EXPECT_DOUBLE_EQ(ReadGrid(Unit(0) / g).transform[3] - grid.transform[3], kOffsetRow[i] * 30.0);
    }
    elev.push_back(ReadGrid(Unit(i) / "elev_unit" / "elev_cm"));
  }
  // Units 1 and 2 overlap in a 16-column strip; units 1 and 3 in a 16-row band.
  int compared = 0;
  for (int r = 0; r < kCells; ++r)
    for (int c = 0; c < kMargin; ++c) {
      ASSERT_EQ(elev[0].At(r, kStride + c), elev[1].At(r, c)) << r << "," << c;
      ASSERT_EQ(elev[0].At(kStride + c, r), elev[2].At(c, r)) << c << "," << r;
      compared += 2;
    }
  EXPECT_EQ(compared, 2 * kCells * kMargin);
}

TEST_F(SynthOutputTest, FlowDirections_AreD8CodesThatNeverLoopAndLeaveTheUnit) {
  for (int i = 0; i < kUnits; ++i) {
    const Grid fdr = ReadGrid(Unit(i) / "fac_fdr_unit" / "fdr");
    std::vector<int> slot(fdr.cells.size(), -1);
    for (std::size_t k = 0; k < fdr.cells.size(); ++k) {
      for (int d = 0; d < 8; ++d)
        if (fdr.cells[k] == (1 << d)) slot[k] = d;
      ASSERT_GE(slot[k], 0) << "unit " << i << " cell " << k << " code " << fdr.cells[k];
    }
    // 0 unvisited, 1 on the current path, 2 known to leave the unit.
    std::vector<std::uint8_t> state(fdr.cells.size(), 0);
    for (std::size_t start = 0; start < fdr.cells.size(); ++start) {
      std::vector<std::size_t> path;
      std::size_t k = start;
      while (true) {
        if (state[k] == 2) break;
        ASSERT_NE(state[k], 1) << "flow loops through cell " << k << " of unit " << i;
        state[k] = 1;
        path.push_back(k);
        const int r = static_cast<int>(k) / fdr.cols + kDirRow[slot[k]];
        const int c = static_cast<int>(k) % fdr.cols + kDirCol[slot[k]];
        if (r < 0 || c < 0 || r >= fdr.rows || c >= fdr.cols) break;
        k = static_cast<std::size_t>(r) * fdr.cols + c;
      }
      for (std::size_t p : path) state[p] = 2;
    }
  }
}

TEST_F(SynthOutputTest, Accumulation_IsOnePlusItsUpstreamNeighboursAndGrowsDownstream) {
  for (int i = 0; i < kUnits; ++i) {
    const Grid fdr = ReadGrid(Unit(i) / "fac_fdr_unit" / "fdr");
    const Grid fac = ReadGrid(Unit(i) / "fac_fdr_unit" / "fac");
    std::vector<long long> expected(fac.cells.size(), 1);
    for (int r = 0; r < fdr.rows; ++r)
      for (int c = 0; c < fdr.cols; ++c)
        for (int d = 0; d < 8; ++d) {
          if (fdr.At(r, c) != (1 << d)) continue;
          const int nr = r + kDirRow[d], nc = c + kDirCol[d];
          if (nr < 0 || nc < 0 || nr >= fdr.rows || nc >= fdr.cols) continue;
          expected[static_cast<std::size_t>(nr) * fdr.cols + nc] += fac.At(r, c);
          ASSERT_GT(fac.At(nr, nc), fac.At(r, c)) << "unit " << i << " at " << r << "," << c;
        }
    for (std::size_t k = 0; k < expected.size(); ++k) ASSERT_EQ(fac.cells[k], expected[k]) << "unit " << i << " cell " << k;
  }
}

TEST_F(SynthOutputTest, CatchmentGrid_EveryValueHasAVatRowCountingItsCellsAndNamingAFlowline) {
  for (int i = 0; i < kUnits; ++i) {
    const auto cells = CatchmentCellCounts(i);
    const auto vat = ReadFeatures(Unit(i) / "drainage" / "cat" / "cat.tif.vat.dbf");
    const auto flowlines = FlowlineComids(i);
    ASSERT_GT(cells.size(), 10u);
    ASSERT_EQ(vat.size(), cells.size()) << "unit " << i;
    std::set<long long> vatComids;
    for (const auto& row : vat) {
      const long long value = row.Int("Value");
      ASSERT_TRUE(cells.count(value)) << "VAT value " << value << " is not in the grid";
      EXPECT_EQ(row.Int("Count"), cells.at(value));
      EXPECT_TRUE(flowlines.count(row.Int("Comid"))) << "VAT Comid " << row.Int("Comid") << " has no flowline";
      EXPECT_EQ(row.fields.at("Prod_unit").size(), 4u);
      EXPECT_TRUE(vatComids.insert(row.Int("Comid")).second) << "Comid twice in the VAT";
    }
  }
}

TEST_F(SynthOutputTest, CatchmentPolygons_CoverExactlyTheCellsOfTheirComid) {
  for (int i = 0; i < kUnits; ++i) {
    const auto cells = CatchmentCellCounts(i);
    std::map<long long, long long> valueOfComid;
    for (const auto& row : ReadFeatures(Unit(i) / "drainage" / "cat" / "cat.tif.vat.dbf"))
      valueOfComid[row.Int("Comid")] = row.Int("Value");
    std::map<long long, double> area;
    for (const auto& f : ReadFeatures(Unit(i) / "drainage" / "catchment.shp")) {
      ASSERT_TRUE(f.geometry);
      const long long comid = f.Int("Comid");
      ASSERT_TRUE(valueOfComid.count(comid)) << "catchment " << comid << " is not in the VAT";
      EXPECT_EQ(f.Int("GridCode"), valueOfComid[comid]);
      const auto type = wkbFlatten(f.geometry->getGeometryType());
      area[comid] += type == wkbPolygon ? f.geometry->toPolygon()->get_Area() : f.geometry->toMultiPolygon()->get_Area();
    }
    ASSERT_EQ(area.size(), cells.size()) << "one catchment per grid value, unit " << i;
    for (const auto& [comid, a] : area) EXPECT_NEAR(a, static_cast<double>(cells.at(valueOfComid[comid])) * 900.0, 1e-3) << "Comid " << comid;
  }
}

TEST_F(SynthOutputTest, Flowlines_HaveUniqueComidsAndConnectToTheirDownstreamReach) {
  for (int i = 0; i < kUnits; ++i) {
    const auto flowlines = ReadFeatures(Unit(i) / "hydrography" / "RVXFlowline.shp");
    std::map<long long, const Feature*> byComid;
    for (const auto& f : flowlines) EXPECT_TRUE(byComid.emplace(f.Int("Comid"), &f).second) << "duplicate Comid";
    int connections = 0;
    for (const auto& flow : ReadFeatures(Unit(i) / "RVXFlow.dbf")) {
      const long long from = flow.Int("FromComid"), to = flow.Int("ToComid");
      if (from == 0 || to == 0) continue;
      ASSERT_TRUE(byComid.count(from) && byComid.count(to));
      // The upstream line ends where the downstream one starts.
      const OGRLineString* up = byComid[from]->geometry->toLineString();
      const OGRLineString* down = byComid[to]->geometry->toLineString();
      OGRPoint end, start;
      up->EndPoint(&end);
      down->StartPoint(&start);
      EXPECT_DOUBLE_EQ(end.getX(), start.getX());
      EXPECT_DOUBLE_EQ(end.getY(), start.getY());
      ++connections;
    }
    EXPECT_GT(connections, 0);
  }
}

TEST_F(SynthOutputTest, OverlappingUnits_ShareComidsWithIdenticalRowsAndVatEntries) {
  const std::pair<int, int> pairs[] = {{0, 1}, {0, 2}, {1, 3}, {2, 3}};
  for (const auto& [a, b] : pairs) {
    std::set<long long> shared;
    const auto ca = FlowlineComids(a), cb = FlowlineComids(b);
    std::set_intersection(ca.begin(), ca.end(), cb.begin(), cb.end(), std::inserter(shared, shared.end()));
    ASSERT_FALSE(shared.empty()) << kUnitNames[a] << " and " << kUnitNames[b] << " share no reach";
    int identicalRows = 0;
    for (const fs::path& table : FilesWithExtension(Unit(a), ".dbf")) {
      auto rowsOf = [&](int unit) {
        std::map<long long, std::multiset<std::string>> rows;
        for (const auto& f : ReadFeatures(Unit(unit) / table))
          if (f.fields.count("Comid") && shared.count(f.Int("Comid"))) rows[f.Int("Comid")].insert(f.Row());
        return rows;
      };
      const auto ra = rowsOf(a), rb = rowsOf(b);
      EXPECT_EQ(ra, rb) << table << " differs for shared Comids of " << kUnitNames[a] << " and " << kUnitNames[b];
      for (const auto& [comid, rows] : ra) identicalRows += static_cast<int>(rows.size());
    }
    EXPECT_GE(identicalRows, static_cast<int>(shared.size()) * 5);
  }
}

// Not part of the shared suite: it needs runs of its own.
TEST(SynthDeterminismTest, SameSeed_SameFiles_OtherSeed_OtherTerrainAndReaches) {
  GDALAllRegister();
  rivanet::test::TempDir dir;
  rivanet::synth::Generate(SmallRun(dir / "a", 11), nullptr);
  rivanet::synth::Generate(SmallRun(dir / "b", 11), nullptr);
  rivanet::synth::Generate(SmallRun(dir / "c", 12), nullptr);
  const auto dbfs = FilesWithExtension(dir / "a", ".dbf");
  ASSERT_EQ(dbfs, FilesWithExtension(dir / "b", ".dbf"));
  ASSERT_GT(dbfs.size(), 80u);
  for (const fs::path& dbf : dbfs) {
    const auto fa = ReadFeatures(dir / "a" / dbf), fb = ReadFeatures(dir / "b" / dbf);
    ASSERT_EQ(fa.size(), fb.size()) << dbf;
    for (std::size_t k = 0; k < fa.size(); ++k) ASSERT_EQ(fa[k].Row(), fb[k].Row()) << dbf << " row " << k;
  }
  for (const char* unit : kUnitNames)
    for (const char* g : {"drainage/cat", "elev_unit/elev_cm", "fac_fdr_unit/fac", "fac_fdr_unit/fdr"})
      EXPECT_EQ(ReadGrid(dir / "a" / unit / g).cells, ReadGrid(dir / "b" / unit / g).cells) << unit << "/" << g;

  EXPECT_NE(ReadGrid(dir / "a" / kUnitNames[0] / "elev_unit/elev_cm").cells,
            ReadGrid(dir / "c" / kUnitNames[0] / "elev_unit/elev_cm").cells);
  std::vector<std::string> rowsA, rowsC;
  for (const auto& f : ReadFeatures(dir / "a" / kUnitNames[0] / "RVXFlowlineVaa.dbf")) rowsA.push_back(f.Row());
  for (const auto& f : ReadFeatures(dir / "c" / kUnitNames[0] / "RVXFlowlineVaa.dbf")) rowsC.push_back(f.Row());
  EXPECT_NE(rowsA, rowsC);
}

}  // namespace
