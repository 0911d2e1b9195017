// The grid phase on small hand-made workspaces and on grids ArcGIS wrote: the mosaics, the
// catchment grid's value attribute table matched value by value, the messages, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "grids/GridPhase.h"
#include "platform/Error.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/GridWriter.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunMessages.h"
#include "support/DbfFile.h"
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

// The ArcInfo workspace of the Ottawa census tracts copied into `into`, its grid gct_raster as
// cat. The INFO directory names the grid's tables and their files, so those names change with
// it; cells and rows stay as ArcGIS wrote them.
void CopyOttawaGridAsCat(const fs::path& into) {
  const fs::path workspace = kData / "esri-grids/ottawa-census-tracts";
  fs::create_directories(into);
  fs::copy(workspace / "gct_raster", into / "cat", fs::copy_options::recursive);
  fs::copy(workspace / "info", into / "info", fs::copy_options::recursive);
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
  rename(into / "info/arc.dir", "GCT_RASTER.", "CAT.");
  for (const auto& e : fs::directory_iterator(into / "info"))
    if (e.path().extension() == ".dat") rename(e.path(), "../gct_raster/", "../cat/");
}

// A catchment grid's table as ArcGIS might leave it: names in capitals, Prod_unit wider than
// the output's, rows as given (the program's own writer refuses a value twice).
void WriteVat(const fs::path& grid, const std::vector<VatRow>& rows) {
  const auto text = [](const VatValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    return std::holds_alternative<std::monostate>(v) ? "" : std::to_string(gis::VatInteger(v));
  };
  std::vector<test::DbfRecord> records;
  for (const VatRow& r : rows)
    records.push_back({{text(r[0]), text(r[1]), text(r[2]), text(r[3])}});
  test::WriteDbf(
      grid / "cat.tif.vat.dbf",
      {{"VALUE", 'N', 10}, {"COUNT", 'N', 10}, {"COMID", 'N', 10}, {"PROD_UNIT", 'C', 8}}, records);
}

class GridPhaseTest : public test::RunFixture {
 protected:
  // A workspace of 1 x `cat.size()` cells of 10 m whose left edge is at x: the catchment grid
  // with `vat` (none: no table), and the other grids with cells 0, 1, 2, ...
  void Unit(const std::string& name, double x, const std::vector<std::int32_t>& cat,
            const std::optional<std::vector<VatRow>>& vat) {
    const fs::path ws = f.input / name;
    WriteGrid(ws / "drainage/cat", x, cat);
    if (vat) WriteVat(ws / "drainage/cat", *vat);
    std::vector<std::int32_t> cells(cat.size());
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::int32_t>(i % 100);
    WriteGrid(ws / "elev_unit/elev_cm", x, cells);
    WriteGrid(ws / "fac_fdr_unit/fac", x, cells);
    WriteGrid(ws / "fac_fdr_unit/fdr", x, cells, gis::CellType::UInt8);
    units.push_back(name);
  }

  // The phase over `units`, which the list file names in order.
  void Run(RunContext& ctx) {
    std::string list;
    for (const auto& u : units) list += u + "\r\n";
    WriteFile(f.list, list);
    MosaicLists lists;
    for (const auto& grid : ctx.layout.grids) {
      lists.emplace_back();
      for (const auto& u : units) lists.back().push_back(f.input / u / grid.Path());
    }
    AppendGrids(ctx, f.input, f.output, f.list, lists);
  }

  std::vector<std::string> units;
};

TEST_F(GridPhaseTest, MosaicsAndMatchesEachCatchmentValueByItsValue) {
  // U1's table lists 2 twice and 9, which no cell holds; U2 shares 3 with U1 and brings 0,
  // which the mosaic drops; U3 lists 4 with another Comid than U2 and 5 with neither Comid nor
  // Prod_unit; U4 has no table. Each unit overlaps the one before by one cell.
  Unit("U1", 0, {1, 2, 3},
       {{Row(1, 1, 11, "A"), Row(2, 1, 22, "A"), Row(2, 1, 23, "A"), Row(3, 1, 33, "A"),
         Row(9, 1, 99, "A")}});
  Unit("U2", 20, {3, 4, 0}, {{Row(3, 1, 33, "A"), Row(4, 1, 44, "B"), Row(0, 1, 1, "B")}});
  Unit("U3", 40, {4, 5, -1}, {{Row(4, 1, 45, "B"), Row(5, 1)}});
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
  EXPECT_EQ(vat.fields[2].name + " " + vat.fields[3].name, "Comid Prod_unit");
  EXPECT_EQ(vat.rows,
            (std::vector<VatRow>{Row(1, 1, 11, "A"), Row(2, 1, 22, "A"), Row(3, 1, 33, "A"),
                                 Row(4, 2, 44, "B"), Row(5, 1), Row(6, 1)}));
  EXPECT_FALSE(fs::exists(f.app / "Temp"));

  const std::string counts =
      "cat value attribute table: 6 rows, 4 with Comid and Prod_unit (1 shared by several "
      "workspaces, 1 listed with conflicting ones: the first workspace's kept), 1 listed without "
      "a Comid or Prod_unit (kept as listed), 1 listed by no workspace (left empty); 9 rows read "
      "from 4 workspaces, 1 without a usable value "
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
                "Value 5 of the catchment grid is listed without a Comid or Prod_unit: "
                "(none)/(none) is kept",
                "Value 6 of the catchment grid is listed by no workspace: its Comid and "
                "Prod_unit stay empty",
                counts, "Grid phase took S seconds"}));
  EXPECT_EQ(feedback.Boxes(), std::vector<std::string>{counts});
  EXPECT_EQ(feedback.Statuses(),
            (std::vector<std::string>{
                "Running MosaicToNewRaster for Cat", "Running MosaicToNewRaster for Elev_cm",
                "Running MosaicToNewRaster for Fac", "Running MosaicToNewRaster for Fdr",
                "Refreshing VatWork.mdb", "Updating Cat grid for Workspace: U1",
                "Updating Cat grid for Workspace: U2", "Updating Cat grid for Workspace: U3",
                "Updating Cat grid for Workspace: U4", "Extracting Workspace: U4"}));
}

TEST_F(GridPhaseTest, BadInputEndsWithAnErrorNamingTheFileAndKeepsWhatWasWritten) {
  struct Case {
    const char* name;
    std::function<void()> spoil;
    std::string file;    // named by the error
    std::string reason;  // in the error's words
    bool catWritten;     // the catchment grid was done before the failure
  };
  const fs::path u2 = f.input / "U2", skeleton = f.app / "VatWorkSkel.mdb";
  const fs::path settings = f.app / "RivanetAppend.ini";
  const Case cases[] = {
      {"a grid folder that holds no grid",
       [&] {
         fs::remove_all(u2 / "fac_fdr_unit/fac");
         WriteFile(u2 / "fac_fdr_unit/fac/readme.txt", "no grid here");
       },
       (u2 / "fac_fdr_unit/fac").string(), "No grid in folder", true},
      {"a truncated raster",
       [&] {
         const fs::path tif = u2 / "elev_unit/elev_cm/elev_cm.tif";
         fs::resize_file(tif, fs::file_size(tif) / 2);
       },
       "elev_cm.tif", "the file may be damaged or cut short", true},
      {"a damaged scratch database skeleton", [&] { WriteFile(skeleton, "this is no database"); },
       skeleton.string(), "cannot be used", true},
      {"a Prod_unit wider than the output's field",
       [&] {
         WriteVat(u2 / "drainage/cat", {Row(2, 1, 22, "A"), Row(3, 1, 33, "ABCDEFG")});
       },
       (u2 / "drainage/cat").string(), "Value 3 of the catchment grid cannot be given", true},
      {"a compression level that is no level",
       [&] { WriteFile(settings, "[Working]\r\nSkelPath=Skel\r\nGridCompressionLevel=12\r\n"); },
       settings.string(), "GridCompressionLevel=12", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(f.input);
    fs::remove_all(f.output);
    fs::remove(skeleton);
    test::MakeScratchSkeleton(skeleton);
    WriteFile(settings, "[Working]\r\nSkelPath=Skel\r\n");
    units.clear();
    Unit("U1", 0, {1, 2}, {{Row(1, 1, 11, "A"), Row(2, 1, 22, "A")}});
    Unit("U2", 10, {2, 3}, {{Row(2, 1, 22, "A"), Row(3, 1, 33, "A")}});
    c.spoil();
    std::string failure;
    try {
      Run(Context(false));
      ADD_FAILURE() << "the grid phase did not fail";
    } catch (const std::exception& e) {
      failure = e.what();
    }
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
  const auto valueCounts = [](const fs::path& grid) {
    std::map<std::int64_t, std::int64_t> counts;
    for (const VatRow& row : gis::ReadVat(grid).rows)
      counts[gis::VatInteger(row[0])] = gis::VatInteger(row[1]);
    return counts;
  };
  const auto logged = [&](const std::string& text) {
    return std::ranges::count_if(Log(),
                                 [&](const auto& m) { return m.find(text) != std::string::npos; });
  };
  const fs::path cat = f.output / "drainage/cat";

  // ArcInfo grids with their INFO tables (VALUE and COUNT only), the second as the first; and
  // GeoTIFFs with ArcGIS's .tif.vat.dbf: a 30 m mask, then 100 m vegetation classes over it.
  for (const char* unit : {"ESRI1", "ESRI2"}) CopyOttawaGridAsCat(f.input / unit / "drainage");
  const std::pair<const char*, const char*> tiffs[] = {{"MASK", "MCASS_StudyAreaTemplate30m_sml"},
                                                       {"VEG", "netvegkc100m_sml"}};
  for (const auto& [unit, stem] : tiffs) {
    fs::create_directories(f.input / unit / "drainage/cat");
    for (const char* ext : {".tif", ".tif.vat.dbf"})
      fs::copy_file(kData / "arcgis-tiff-vat" / (std::string(stem) + ext),
                    f.input / unit / "drainage/cat" / (std::string("cat") + ext));
  }
  const test::Tree before = test::Snapshot(f.input, {"list.txt"});

  units = {"ESRI1", "ESRI2"};
  Run(ctx);
  auto expected = valueCounts(kData / "esri-grids/ottawa-census-tracts/gct_raster");
  EXPECT_EQ(expected.erase(0), 1u);  // no catchment
  EXPECT_EQ(valueCounts(cat), expected);
  EXPECT_EQ(logged("without Comid and Prod_unit fields"), 2);

  fs::remove(f.app / "Active.log");
  units = {"MASK", "VEG"};
  Run(ctx);
  // The vegetation grid reaches past the mask on every side: the mosaic takes its extent, on
  // the mask's 30 m cells, and its classes everywhere (the later input wins).
  gis::GridReader mosaic(cat);
  EXPECT_EQ(mosaic.Geometry().cellSize, 30);
  EXPECT_GE(mosaic.Geometry().cols * 30.0, 361 * 100.0);
  std::map<std::int64_t, std::int64_t> histogram;
  for (std::int32_t v : Cells(cat))
    if (v != O) ++histogram[v];
  EXPECT_EQ(valueCounts(cat), histogram);
  EXPECT_EQ(histogram.size(), 13u);  // the 14 classes but 0, which is no catchment
  EXPECT_EQ(histogram.count(1), 0u);
  EXPECT_EQ(
      logged("Grid " + (f.input / "VEG/drainage/cat/cat.tif").string() +
             " was resampled (nearest neighbour) onto the cells of " +
             (f.input / "MASK/drainage/cat/cat.tif").string() + ": cell size 100 instead of 30"),
      1);
  // Nothing was written beside an input.
  EXPECT_EQ(test::Changes(before, test::Snapshot(f.input, {"list.txt"})), test::kNoChanges);
}

}  // namespace
}  // namespace rivanet
