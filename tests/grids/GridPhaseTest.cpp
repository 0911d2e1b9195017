// The grid phase on small hand-made workspaces and on grids ArcGIS wrote: the mosaics, the
// catchment grid's value attribute table matched value by value, the messages, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <optional>

#include "grids/GridPhase.h"
#include "platform/Error.h"
#include "platform/database/Database.h"
#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/GridWriter.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunMessages.h"
#include "support/Workspaces.h"
#include "workspace/Schema.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using gis::VatRow;
using gis::VatValue;
using test::WriteFile;

constexpr std::int32_t N = -9;                 // NoData of the inputs
constexpr std::int32_t O = gis::kInt32NoData;  // NoData of the output's 32-bit grids
const fs::path kData = RIVANET_TEST_DATA;

VatRow Row(std::int64_t value, std::int64_t count, VatValue comid = {}, VatValue unit = {}) {
  return {value, count, std::move(comid), std::move(unit)};
}

void WriteGrid(const fs::path& folder, double x, const std::vector<std::int32_t>& cells,
               gis::CellType type = gis::CellType::Int32) {
  const int cols = static_cast<int>(cells.size());
  gis::GridWriter writer(folder, {x, 10, 10, cols, 1, ""}, type,
                         type == gis::CellType::UInt8 ? 255 : N);
  writer.WriteRows(0, 1, cells.data());
  writer.Close();
}

std::vector<std::int32_t> Cells(const fs::path& folder) {
  gis::GridReader reader(folder);
  std::vector<std::int32_t> cells(static_cast<std::size_t>(reader.Geometry().cols) *
                                  reader.Geometry().rows);
  reader.ReadRows(0, reader.Geometry().rows, cells.data());
  return cells;
}

// Every file below `folder` with its size and time, to show that reading changed nothing.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> Listing(
    const fs::path& folder) {
  std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files[e.path().string()] = {e.file_size(), e.last_write_time()};
  return files;
}

std::vector<std::string> Statuses(const std::vector<std::string>& events) {
  std::vector<std::string> statuses;
  for (const auto& e : events)
    if (e.rfind("status:", 0) == 0) statuses.push_back(e.substr(7));
  return statuses;
}

// A value attribute table as ArcGIS might leave it: names in capitals, rows as given (the
// program's own writer refuses a value twice, so OGR writes it here).
void WriteTable(const fs::path& dbf, const std::vector<VatRow>& rows) {
  const gis::DatasetPtr ds(
      gis::Driver("ESRI Shapefile", dbf).Create(dbf.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  OGRLayer* layer = ds->CreateLayer("cat.tif.vat", nullptr, wkbNone, nullptr);
  for (const gis::VatField& field : {gis::VatField{"VALUE", gis::DbfType::Integer, 10, 0},
                                     gis::VatField{"COUNT", gis::DbfType::Integer, 10, 0},
                                     gis::VatField{"COMID", gis::DbfType::Integer, 10, 0},
                                     gis::VatField{"PROD_UNIT", gis::DbfType::String, 4, 0}})
    gis::AddField(*layer, field, dbf);
  for (const VatRow& row : rows) {
    const gis::FeaturePtr feature = gis::NewFeature(*layer);
    feature->SetField(0, static_cast<GIntBig>(std::get<std::int64_t>(row[0])));
    feature->SetField(1, static_cast<GIntBig>(std::get<std::int64_t>(row[1])));
    feature->SetField(2, static_cast<GIntBig>(std::get<std::int64_t>(row[2])));
    feature->SetField(3, std::get<std::string>(row[3]).c_str());
    ASSERT_EQ(layer->CreateFeature(feature.get()), OGRERR_NONE);
  }
}

// An ArcInfo workspace copied with one grid under another name. The INFO directory names the
// grid's tables and their files, so those names change with it; cells and rows stay as ArcGIS
// wrote them.
void CopyArcInfoGridAs(const fs::path& workspace, const std::string& grid, const fs::path& into,
                       const std::string& name) {
  fs::create_directories(into);
  fs::copy(workspace / grid, into / name, fs::copy_options::recursive);
  fs::copy(workspace / "info", into / "info", fs::copy_options::recursive);
  const auto upper = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
  };
  // Names and paths fill blank-padded fields: the shorter name is padded to the field's end.
  const auto rename = [](const fs::path& file, const std::string& from, const std::string& to) {
    std::string bytes = test::ReadFile(file);
    for (auto at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1)) {
      const auto end = std::min(bytes.find(' ', at), bytes.find('\0', at));
      const std::string field = bytes.substr(at, end - at);
      const std::string renamed = to + field.substr(from.size());
      bytes.replace(at, field.size(), renamed + std::string(field.size() - renamed.size(), ' '));
    }
    WriteFile(file, bytes);
  };
  rename(into / "info/arc.dir", upper(grid) + ".", upper(name) + ".");
  for (const auto& e : fs::directory_iterator(into / "info"))
    if (e.path().extension() == ".dat") rename(e.path(), "../" + grid + "/", "../" + name + "/");
}

class GridPhaseTest : public test::RunFixture {
 protected:
  // A workspace of 1 x `cat.size()` cells of 10 m whose left edge is at x: the catchment grid
  // with `vat` (none: no table), and the other grids with cells 0, 1, 2, ...
  void Unit(const std::string& name, double x, const std::vector<std::int32_t>& cat,
            const std::optional<std::vector<VatRow>>& vat) {
    const fs::path ws = f.input / name;
    WriteGrid(ws / "drainage/cat", x, cat);
    if (vat) WriteTable(ws / "drainage/cat/cat.tif.vat.dbf", *vat);
    std::vector<std::int32_t> cells(cat.size());
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::int32_t>(i % 100);
    WriteGrid(ws / "elev_unit/elev_cm", x, cells);
    WriteGrid(ws / "fac_fdr_unit/fac", x, cells);
    WriteGrid(ws / "fac_fdr_unit/fdr", x, cells, gis::CellType::UInt8);
    units.push_back(name);
    std::string list;
    for (const auto& u : units) list += u + "\r\n";
    WriteFile(f.list, list);
  }

  void Run(RunContext& ctx) {
    MosaicLists lists;
    for (const auto& grid : ctx.layout.grids) {
      lists.emplace_back();
      for (const auto& u : units) lists.back().push_back(f.input / u / grid.Path());
    }
    AppendGrids(ctx, f.input, f.output, f.list, lists);
  }

  // What a failing run raised, as its text.
  std::string Failure(RunContext& ctx) {
    try {
      Run(ctx);
    } catch (const std::exception& e) {
      return e.what();
    }
    ADD_FAILURE() << "the grid phase did not fail";
    return {};
  }

  std::vector<std::string> units;
};

TEST_F(GridPhaseTest, MosaicsAndMatchesEachCatchmentValueByItsValue) {
  // U1's table lists 2 twice and 9, which no cell holds; U2 shares 3 with U1 and brings 0,
  // which the mosaic drops; U3 lists 4 with another Comid than U2 and does not list 5; U4 has
  // no table. Each unit overlaps the one before by one cell.
  Unit("U1", 0, {1, 2, 3},
       {{Row(1, 1, 11, "A"), Row(2, 1, 22, "A"), Row(2, 1, 23, "A"), Row(3, 1, 33, "A"),
         Row(9, 1, 99, "A")}});
  Unit("U2", 20, {3, 4, 0}, {{Row(3, 1, 33, "A"), Row(4, 1, 44, "B"), Row(0, 1, 1, "B")}});
  Unit("U3", 40, {4, 5, -1}, {{Row(4, 1, 45, "B")}});
  Unit("U4", 60, {6, N, N}, std::nullopt);
  fs::create_directories(f.app / "Temp/cat");  // left by an earlier run, without fac_fdr_unit

  Run(Context(/*interactive=*/true));

  const fs::path cat = f.output / "drainage/cat";
  EXPECT_EQ(Cells(cat), (std::vector<std::int32_t>{1, 2, 3, 4, 4, 5, 6, O, O}));
  EXPECT_EQ(Cells(f.output / "elev_unit/elev_cm"),
            (std::vector<std::int32_t>{0, 1, 0, 1, 0, 1, 0, 1, 2}));
  EXPECT_EQ(Cells(f.output / "fac_fdr_unit/fdr"),
            (std::vector<std::int32_t>{255, 1, 255, 1, 255, 1, 255, 1, 2}));
  const gis::Vat vat = gis::ReadVat(cat);
  ASSERT_EQ(vat.fields.size(), 4u);
  EXPECT_EQ(vat.fields[2].name, "Comid");
  EXPECT_EQ(vat.fields[3].name, "Prod_unit");
  EXPECT_EQ(vat.rows,
            (std::vector<VatRow>{Row(1, 1, 11, "A"), Row(2, 1, 22, "A"), Row(3, 1, 33, "A"),
                                 Row(4, 2, 44, "B"), Row(5, 1), Row(6, 1)}));
  EXPECT_FALSE(fs::exists(f.app / "Temp"));

  const std::string counts =
      "cat value attribute table: 6 rows, 4 with Comid and Prod_unit (1 shared by several "
      "workspaces, 1 listed with conflicting ones: the first workspace's kept), 2 listed by no "
      "workspace (left empty); 8 rows read from 4 workspaces, 1 without a usable value "
      "attribute table. The log names each of them.";
  const std::string u1Cat = (f.input / "U1/drainage/cat").string();
  const std::string u4Cat = (f.input / "U4/drainage/cat").string();
  EXPECT_EQ(Log(),
            (std::vector<std::string>{
                "cat: 9 x 1 cells, 7 with data above zero", "elev_cm: 9 x 1 cells, 9 with data",
                "fac: 9 x 1 cells, 9 with data", "fdr: 9 x 1 cells, 5 with data above zero",
                "Value 2 is listed more than once in the value attribute table of " + u1Cat +
                    ": its first row is used",
                "The catchment grid " + u4Cat +
                    " of workspace U4 has no value attribute "
                    "table: its values get no Comid or Prod_unit from it",
                "Value 4 of the catchment grid is listed with different Comid/Prod_unit: "
                "44/B (the first workspace's, kept), 45/B",
                "Value 5 of the catchment grid is listed by no workspace: its Comid and "
                "Prod_unit stay empty",
                "Value 6 of the catchment grid is listed by no workspace: its Comid and "
                "Prod_unit stay empty",
                counts, "Grid phase took S seconds"}));
  EXPECT_EQ(feedback.Boxes(), std::vector<std::string>{counts});
  EXPECT_EQ(Statuses(feedback.events),
            (std::vector<std::string>{
                "Running MosaicToNewRaster for Cat", "Running MosaicToNewRaster for Elev_cm",
                "Running MosaicToNewRaster for Fac", "Running MosaicToNewRaster for Fdr",
                "Refreshing VatWork.mdb", "Updating Cat grid for Workspace: U1",
                "Updating Cat grid for Workspace: U2", "Updating Cat grid for Workspace: U3",
                "Updating Cat grid for Workspace: U4", "Extracting Workspace: U4"}));

  // A second run starts from a fresh scratch database: nothing of the first one is joined.
  fs::remove(f.app / "Active.log");
  Run(Context(false));
  EXPECT_EQ(gis::ReadVat(cat).rows, vat.rows);
}

TEST_F(GridPhaseTest, BadInputEndsWithAnErrorNamingTheFileAndKeepsWhatWasWritten) {
  struct Case {
    const char* name;
    std::function<void()> spoil;
    std::string file;    // named by the error
    std::string reason;  // in the error's words
    bool catWritten;     // the catchment grid was done before the failure
  };
  const fs::path u2 = f.input / "U2";
  const Case cases[] = {
      {"a grid folder that holds no grid",
       [&] {
         fs::remove_all(u2 / "fac_fdr_unit/fac");
         WriteFile(u2 / "fac_fdr_unit/fac/readme.txt", "no grid here");
       },
       (u2 / "fac_fdr_unit/fac").string(), "No grid in folder", true},
      {"a truncated raster",
       [&] {
         const std::string bytes = test::ReadFile(u2 / "elev_unit/elev_cm/elev_cm.tif");
         WriteFile(u2 / "elev_unit/elev_cm/elev_cm.tif", bytes.substr(0, bytes.size() / 2));
       },
       "elev_cm.tif", "grid", true},
      {"a damaged scratch database skeleton",
       [&] { WriteFile(f.app / "VatWorkSkel.mdb", "this is no database"); },
       (f.app / "VatWorkSkel.mdb").string(), "cannot be used", true},
      {"a scratch database skeleton without tblVat",
       [&] {
         fs::remove(f.app / "VatWorkSkel.mdb");
         db::Connection skeleton(f.app / "VatWorkSkel.mdb", db::OpenMode::Create);
         skeleton.Execute(
             "CREATE TABLE tblImport(myValue INTEGER, Comid INTEGER, Prod_unit TEXT);");
         skeleton.Close();
       },
       (f.app / "VatWorkSkel.mdb").string(), "tblVat", true},
      {"no scratch database skeleton", [&] { fs::remove(f.app / "VatWorkSkel.mdb"); },
       (f.app / "VatWorkSkel.mdb").string(), "", true},
      {"a compression level that is no level",
       [&] {
         WriteFile(f.app / "RivanetAppend.ini",
                   "[Working]\r\nSkelPath=Skel\r\nGridCompressionLevel=12\r\n");
       },
       (f.app / "RivanetAppend.ini").string(), "GridCompressionLevel=12", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(f.input);
    fs::remove_all(f.output);
    fs::remove(f.app / "VatWorkSkel.mdb");
    test::MakeScratchSkeleton(f.app / "VatWorkSkel.mdb");
    WriteFile(f.app / "RivanetAppend.ini", "[Working]\r\nSkelPath=Skel\r\n");
    units.clear();
    Unit("U1", 0, {1, 2}, {{Row(1, 1, 11, "A"), Row(2, 1, 22, "A")}});
    Unit("U2", 10, {2, 3}, {{Row(2, 1, 22, "A"), Row(3, 1, 33, "A")}});
    c.spoil();
    const std::string failure = Failure(Context(false));
    EXPECT_NE(failure.find(c.file), std::string::npos) << failure;
    EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    EXPECT_EQ(fs::exists(f.output / "drainage/cat/cat.tif"), c.catWritten);
    if (c.catWritten) {
      EXPECT_EQ(Cells(f.output / "drainage/cat"), (std::vector<std::int32_t>{1, 2, 3}));
    }
  }
}

TEST_F(GridPhaseTest, CancelBetweenRowsOfTilesLeavesNoHalfWrittenGrid) {
  // 600 cells on a row, 1 row: one row of tiles per grid, so every grid is one checkpoint.
  Unit("U1", 0, std::vector<std::int32_t>(600, 7), {{Row(7, 600, 1, "A")}});
  Unit("U2", 0, std::vector<std::int32_t>(600, 7), {{Row(7, 600, 1, "A")}});
  feedback.cancelAfterChecks = 2;  // cat and its safe point pass, elev_cm's checkpoint stops
  EXPECT_THROW(Run(Context(false)), RunCancelled);
  EXPECT_TRUE(fs::exists(f.output / "drainage/cat/cat.tif"));
  EXPECT_FALSE(fs::exists(f.output / "elev_unit/elev_cm"));  // no grid, and no file of one
}

TEST_F(GridPhaseTest, ReadsGridsArcGisWroteAsCatchmentGrids) {
  layout.grids = {schema::FindGrid(layout, "cat")};
  RunContext& ctx = Context(false);

  // ArcInfo grids with their INFO tables (VALUE and COUNT only), the second as the first.
  const fs::path ottawa = kData / "esri-grids/ottawa-census-tracts";
  for (const char* unit : {"ESRI1", "ESRI2"}) {
    CopyArcInfoGridAs(ottawa, "gct_raster", f.input / unit / "drainage", "cat");
    units.push_back(unit);
  }
  WriteFile(f.list, "ESRI1\r\nESRI2\r\n");
  auto before = Listing(f.input);
  Run(ctx);
  EXPECT_EQ(Listing(f.input), before);  // nothing written beside an input
  const gis::Vat esri = gis::ReadVat(f.output / "drainage/cat");
  gis::Vat expected = gis::ReadVat(ottawa / "gct_raster");  // 154 values, 0 among them
  expected.rows.erase(expected.rows.begin());
  ASSERT_EQ(esri.rows.size(), 153u);
  for (std::size_t i = 0; i < esri.rows.size(); ++i)
    EXPECT_EQ(Row(gis::VatInteger(esri.rows[i][0]), gis::VatInteger(esri.rows[i][1])),
              Row(gis::VatInteger(expected.rows[i][0]), gis::VatInteger(expected.rows[i][1])));
  const auto log1 = Log();
  EXPECT_EQ(std::count_if(log1.begin(), log1.end(),
                          [](const std::string& m) {
                            return m.find("without Comid and Prod_unit fields") !=
                                   std::string::npos;
                          }),
            2);

  // GeoTIFFs with ArcGIS's .tif.vat.dbf: a 30 m mask, then 100 m vegetation classes over it.
  fs::remove_all(f.input);
  fs::remove(f.app / "Active.log");
  units = {"MASK", "VEG"};
  WriteFile(f.list, "MASK\r\nVEG\r\n");
  const std::pair<const char*, const char*> tiffs[] = {{"MASK", "MCASS_StudyAreaTemplate30m_sml"},
                                                       {"VEG", "netvegkc100m_sml"}};
  for (const auto& [unit, stem] : tiffs) {
    fs::create_directories(f.input / unit / "drainage/cat");
    for (const char* ext : {".tif", ".tif.vat.dbf"})
      fs::copy_file(kData / "arcgis-tiff-vat" / (std::string(stem) + ext),
                    f.input / unit / "drainage/cat" / (std::string("cat") + ext));
  }
  before = Listing(f.input);
  Run(ctx);
  EXPECT_EQ(Listing(f.input), before);
  // The vegetation grid reaches past the mask on every side: the mosaic takes its extent, on
  // the mask's 30 m cells, and its classes everywhere (the later input wins).
  gis::GridReader mosaic(f.output / "drainage/cat");
  EXPECT_EQ(mosaic.Geometry().cellSize, 30);
  EXPECT_GE(mosaic.Geometry().cols * 30.0, 361 * 100.0);
  std::map<std::int64_t, std::int64_t> histogram;
  for (std::int32_t v : Cells(f.output / "drainage/cat"))
    if (v != O) ++histogram[v];
  std::map<std::int64_t, std::int64_t> counts;
  for (const VatRow& row : gis::ReadVat(f.output / "drainage/cat").rows)
    counts[gis::VatInteger(row[0])] = gis::VatInteger(row[1]);
  EXPECT_EQ(counts, histogram);
  EXPECT_EQ(counts.size(), 13u);  // the 14 classes but 0, which is no catchment
  EXPECT_EQ(counts.count(1), 0u);
  const auto log2 = Log();
  const std::string resampled = (f.input / "VEG/drainage/cat/cat.tif").string() +
                                " was resampled (nearest neighbour) onto the cells of " +
                                (f.input / "MASK/drainage/cat/cat.tif").string() +
                                ": cell size 100 instead of 30";
  EXPECT_NE(std::find(log2.begin(), log2.end(), "Grid " + resampled), log2.end());
}

}  // namespace
}  // namespace rivanet
