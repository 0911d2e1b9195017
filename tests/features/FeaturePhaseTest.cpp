// The feature class phase on small workspaces written for each test, and on generated ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "Generator.h"
#include "SchemaWriter.h"
#include "features/ExtentRepair.h"
#include "features/FeaturePhase.h"
#include "platform/gis/FeatureReader.h"
#include "platform/gis/Shapefile.h"
#include "platform/gis/ShapefileExtent.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunMessages.h"
#include "support/ShapefileKit.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::KitFeature;
using test::KitField;
using test::ReadShapefile;
using test::Value;
using test::WriteShapefile;

// A class of each route: de-duplicated through the Work folder, and plain at the top level.
constexpr const char* kLayout = R"(
epsg 5070
featureclass hydrography/RVXLine LineString
  field Comid Integer 10
  field Name String 10
end
featureclass streamgageevent Point
  field Comid Integer 10
  field Name String 10
end
vat
  field Value Integer 10
end
append RVXLine work
append streamgageevent
)";

const std::vector<KitField> kFields = {{"Comid", OFTInteger, 10}, {"Name", OFTString, 10}};

KitFeature Line(int x, Value comid, Value name) {
  return {"LINESTRING (" + std::to_string(x) + " 0," + std::to_string(x) + " 1)", {comid, name}};
}

// A run of the phase on the layout above: its output and Work folders hold the empty classes.
class Phase : public test::RunSetup {
 public:
  explicit Phase(schema::Schema withLayout = schema::ParseSchema(kLayout, "test layout")) {
    layout = std::move(withLayout);
    for (const fs::path& folder : {f.output, Work()}) schema::WriteEmptyWorkspace(folder, layout);
  }
  fs::path Work() const { return f.app / "Work"; }
  // Only these steps of the layout run, over the workspaces of `list`.
  void Steps(std::vector<schema::AppendStep> steps, const std::string& list) {
    layout.featureSteps = std::move(steps);
    test::WriteFile(f.list, list);
  }
  void Input(const std::string& ws, const std::string& folder, const std::string& name,
             OGRwkbGeometryType type, const std::vector<KitFeature>& features,
             const std::vector<KitField>& fields = kFields, const char* encoding = "UTF-8") {
    WriteShapefile(f.input / ws / folder, name, type, fields, features, encoding);
  }
  void Append(bool interactive = false) {
    AppendFeatureClasses(Context(interactive), f.input, f.output, Work(), f.list);
  }
};

class FeaturePhaseTest : public ::testing::Test, public Phase {};

TEST_F(FeaturePhaseTest, EachRouteAppendsInListOrderAndLeavesTheInputsAsTheyWere) {
  Steps({{"RVXLine", true}, {"streamgageevent", false}}, "A\nB\nC\nD\n");
  // Comids 7, 9, 7, none, then B's 12, 9: the first feature of each Comid is kept.
  Input("A", "hydrography", "RVXLine", wkbLineString,
        {Line(1, "7", "a7"), Line(2, "9", "a9"), Line(3, "7", "a7 again"), Line(4, {}, "none")});
  // B's folder in other letter case, its Comids as text ("9" is the Comid 9), multi-part
  // shapes, a field the output lacks and no Name: B's Name stays empty, never A's last one.
  Input("B", "Hydrography", "RVXLine", wkbMultiLineString,
        {{"MULTILINESTRING ((5 0,5 1))", {"12", "x"}}, {"MULTILINESTRING ((6 0,6 1))", {"9", "y"}}},
        {{"COMID", OFTString, 10}, {"Extra", OFTString, 5}});
  // The plain route at the top level: 250 points (past the old flush cadence) in UTF-8, one in
  // Latin-1, none in C, and no class at all in D.
  std::vector<KitFeature> points;
  for (int i = 0; i < 250; ++i)
    points.push_back({"POINT (" + std::to_string(i) + " 1)", {std::to_string(i % 10), "Œuvre"}});
  Input("A", "", "streamgageevent", wkbPoint, points);
  Input("B", "", "streamgageevent", wkbPoint, {{"POINT (0 2)", {"1", "Rivière"}}}, kFields,
        "ISO-8859-1");
  Input("C", "", "streamgageevent", wkbPoint, {});
  ASSERT_NE(test::ReadFile(f.input / "B/streamgageevent.dbf").find("Rivi\xE8re"),
            std::string::npos);
  const test::Tree inputs = test::Snapshot(f.input);
  Append();

  EXPECT_EQ(ReadShapefile(f.output / "hydrography/RVXLine.shp"),
            (std::vector<KitFeature>{Line(1, "7", "a7"), Line(2, "9", "a9"), Line(5, "12", {})}));
  points.push_back({"POINT (0 2)", {"1", "Rivière"}});
  EXPECT_EQ(ReadShapefile(f.output / "streamgageevent.shp"), points);
  EXPECT_NE(test::ReadFile(f.output / "streamgageevent.dbf").find("Rivière"), std::string::npos);
  EXPECT_EQ(test::Changes(inputs, test::Snapshot(f.input)), test::kNoChanges);

  const std::string missing = "Can't find input feature class: " + f.input.string();
  EXPECT_EQ(Log(),
            (std::vector<std::string>{
                missing + "/C/hydrography RVXLine", missing + "/D/hydrography RVXLine",
                "RVXLine: 6 features read, 3 written, 2 passed over as duplicates of an "
                "earlier Comid, 1 passed over for an empty Comid",
                missing + "/D streamgageevent", "streamgageevent: 251 features read, 251 written",
                "Feature class phase took S seconds"}));
}

// The output and Work folders are built from a skeleton the run checked, so a class is missing
// there only when something removed it meanwhile: the pass is reported and skipped.
TEST_F(FeaturePhaseTest, AClassMissingFromTheWorkFolderIsReportedAndItsPassSkipped) {
  Steps({{"RVXLine", true}}, "A\nB\n");
  Input("A", "hydrography", "RVXLine", wkbLineString, {Line(1, "1", "a")});
  Input("B", "hydrography", "RVXLine", wkbLineString, {Line(2, "2", "b")});
  gis::DeleteShapefile(Work() / "hydrography", "RVXLine");
  Append(/*interactive=*/true);

  const std::string where = (Work() / "hydrography").string() + " RVXLine";
  std::vector<std::string> expected = {"Output file not found: " + where,
                                       "Can't find input feature class: " + where};
  EXPECT_EQ(feedback.Boxes(), expected);
  expected.insert(expected.end(),
                  {"RVXLine: 0 features read, 0 written, 0 passed over as "
                   "duplicates of an earlier Comid, 0 passed over for an empty Comid",
                   "Feature class phase took S seconds"});
  EXPECT_EQ(Log(), expected);
  EXPECT_TRUE(ReadShapefile(f.output / "hydrography/RVXLine.shp").empty());
}

TEST(FeaturePhaseCases, BadInputEndsTheRunNamingItsFileAndKeepsWhatWasWritten) {
  struct Case {
    const char* what;  // "no .shx", "truncated .dbf": done so to B's class
    bool viaWork;      // B's RVXLine, else B's streamgageevent, at fault
    const char* procedure;
    const char* says;
    std::vector<KitField> fields = kFields;  // and the values of B's one feature
    std::vector<Value> values = {"2", "b"};
  };
  const std::vector<KitField> wide = {{"Comid", OFTInteger}, {"Name", OFTString, 20}};
  const std::vector<Value> tooLong = {"2", "far too long"};
  const std::vector<Case> cases = {
      {"no .shx", true, "OpenFeatureClass1", "(.shx)"},
      {"truncated .dbf", false, "OpenFeatureClass", "truncated"},
      {"no Comid", true, "LoadFeatureclassWork", "has no field Comid", {{"Name"}}, {"b"}},
      {"a value too long", false, "AddFields", "\"Name\" (String 10) cannot hold", wide, tooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Phase t;
    const schema::AppendStep step{c.viaWork ? "RVXLine" : "streamgageevent", c.viaWork};
    t.Steps({step}, "A\nB\n");
    const std::string folder = c.viaWork ? "hydrography" : "";
    const char* shape = c.viaWork ? "LINESTRING (0 0,1 1)" : "POINT (1 1)";
    const OGRwkbGeometryType type = c.viaWork ? wkbLineString : wkbPoint;
    t.Input("A", folder, step.name, type, {{shape, {"1", "a"}}});
    t.Input("B", folder, step.name, type, {{shape, c.values}}, c.fields);
    const std::string base = (t.f.input / "B" / folder / step.name).string();
    const std::string what = c.what;
    if (what.rfind("no .", 0) == 0) fs::remove(base + what.substr(3));
    if (what.rfind("truncated .", 0) == 0)
      fs::resize_file(base + what.substr(10), fs::file_size(base + what.substr(10)) * 4 / 5);
    try {
      t.Append();
      ADD_FAILURE() << "no error";
    } catch (const ReportedError& e) {
      for (const std::string& says :
           {"in procedure " + std::string(c.procedure) + " of", base + ".", std::string(c.says)})
        EXPECT_NE(e.Report().find(says), std::string::npos) << says << " not in " << e.Report();
    }
    EXPECT_EQ(ReadShapefile(t.f.output / folder / (step.name + ".shp")).size(), 1u);
  }
}

TEST_F(FeaturePhaseTest, CancelStopsBetweenWorkspacesLeavingWholeWorkspacesBehind) {
  Steps({{"RVXLine", true}, {"streamgageevent", false}}, "A\nB\n");
  Input("A", "hydrography", "RVXLine", wkbLineString, {Line(1, "1", "a1"), Line(2, "2", "a2")});
  Input("B", "hydrography", "RVXLine", wkbLineString, {Line(3, "3", "b3")});
  feedback.cancelAfterChecks = 2;  // before the class, before A, then no more
  EXPECT_THROW(Append(), RunCancelled);
  EXPECT_EQ(ReadShapefile(f.output / "hydrography/RVXLine.shp"),
            (std::vector<KitFeature>{Line(1, "1", "a1"), Line(2, "2", "a2")}));
  EXPECT_TRUE(ReadShapefile(f.output / "streamgageevent.shp").empty());
}

// Writes a wrong extent into the header of a .shp or .shx (xmin, ymin, xmax, ymax at byte 36).
void SpoilHeaderExtent(const fs::path& shp) {
  std::fstream file(shp, std::ios::in | std::ios::out | std::ios::binary);
  const double wrong[4] = {100, 100, 200, 200};
  file.seekp(36);
  file.write(reinterpret_cast<const char*>(wrong), sizeof wrong);
}

TEST_F(FeaturePhaseTest, ExtentRepairRewritesAWrongHeaderAndNeverLosesTheCatchments) {
  const fs::path drainage = f.output / "Drainage";
  // Outer rings clockwise, as shapefiles store them.
  const std::vector<KitFeature> catchments = {{"POLYGON ((0 0,0 3,4 0,0 0))", {"1", "é"}},
                                              {"POLYGON ((5 5,5 7,6 5,5 5))", {"2", {}}}};
  WriteShapefile(drainage, "catchment", wkbPolygon, kFields, catchments);
  SpoilHeaderExtent(drainage / "catchment.shp");
  ASSERT_EQ(gis::ReadHeaderExtents(drainage, "catchment").shp, (gis::Extent{100, 100, 200, 200}));
  const std::string prj = test::ReadFile(drainage / "catchment.prj");
  const auto fields = gis::FeatureReader::Open(drainage, "catchment")->Fields();

  RepairExtent(Context(false), drainage, "catchment", std::nullopt);
  EXPECT_EQ(gis::ReadHeaderExtents(drainage, "catchment").shp, (gis::Extent{0, 0, 6, 7}));
  EXPECT_EQ(gis::ReadHeaderExtents(drainage, "catchment").shx, (gis::Extent{0, 0, 6, 7}));
  EXPECT_EQ(ReadShapefile(drainage / "catchment.shp"), catchments);
  EXPECT_EQ(test::ReadFile(drainage / "catchment.prj"), prj);
  EXPECT_EQ(gis::FeatureReader::Open(drainage, "catchment")->Fields(), fields);
  EXPECT_FALSE(gis::FindShapefile(drainage, "catchtemp"));

  // A first catchment without a shape: the copy GDAL writes would start its bounds at 0, 0.
  const fs::path nullFirst = f.output / "nullFirst";
  WriteShapefile(nullFirst, "catchment", wkbPolygon, kFields,
                 {{"", {"3", {}}}, {"POLYGON ((5 5,5 7,6 5,5 5))", {"2", {}}}});
  SpoilHeaderExtent(nullFirst / "catchment.shp");
  RepairExtent(Context(false), nullFirst, "catchment", std::nullopt);
  EXPECT_EQ(gis::ReadHeaderExtents(nullFirst, "catchment").shp, (gis::Extent{5, 5, 6, 7}));
  EXPECT_EQ(gis::ReadHeaderExtents(nullFirst, "catchment").shx, (gis::Extent{5, 5, 6, 7}));

  // Something of the user's under the temporary name: refused, and nothing is touched.
  SpoilHeaderExtent(drainage / "catchment.shx");
  test::WriteFile(drainage / "catchtemp.shp", "the user's");
  const auto before = test::Snapshot(drainage);
  EXPECT_THROW(RepairExtent(Context(false), drainage, "catchment", std::nullopt), AppError);
  EXPECT_EQ(test::Changes(before, test::Snapshot(drainage)), test::kNoChanges);
}

// Generated workspaces overlap, so neighbours share Comids: every class of the real layout
// must hold exactly the inputs' features in list order, each Comid of a de-duplicated class
// once, as its first workspace has it; the catchments' header states their extent.
TEST(FeaturePhaseCases, GeneratedWorkspacesAppendAsTheLayoutSays) {
  Phase t(schema::ShippedSchema());
  const fs::path file = fs::path(RIVANET_SOURCE_DIR) / "schema/workspace.schema";
  synth::Generate({.out = t.f.input, .count = 4, .cells = 96, .threshold = 12, .schemaFile = file},
                  nullptr);
  AppendFeatureClasses(t.Context(false), t.f.input, t.f.output, t.Work(),
                       t.f.input / synth::kListFile);

  for (const schema::AppendStep& step : t.layout.featureSteps) {
    SCOPED_TRACE(step.name);
    const schema::FeatureClass& fc = schema::FindFeatureClass(t.layout, step.name);
    std::vector<KitFeature> expected;
    std::set<std::string> seen;
    for (const char* ws : {"unit_U001", "unit_U002", "unit_U003", "unit_U004"}) {
      const fs::path folder = t.files->Resolve(t.f.input / ws / fc.folder);
      for (const KitFeature& feature : ReadShapefile(folder / (fc.name + ".shp"))) {
        const Value& comid = feature.values[0];
        if (!step.viaWork || (comid && seen.insert(*comid).second)) expected.push_back(feature);
      }
    }
    const fs::path out = t.files->Resolve(t.f.output / fc.folder) / (fc.name + ".shp");
    EXPECT_EQ(ReadShapefile(out), expected);
  }

  // The phase repaired the catchments' header (the repair itself is tested above).
  const fs::path drainage = t.files->Resolve(t.f.output / "drainage");
  const gis::HeaderExtents header = gis::ReadHeaderExtents(drainage, "catchment");
  EXPECT_EQ(header.shp, gis::ShapesExtent(drainage, "catchment"));
  EXPECT_EQ(header.shx, header.shp);
  EXPECT_EQ(std::ranges::count(t.feedback.Statuses(), "Fixing Extents for catchment"), 1);
}

}  // namespace
}  // namespace rivanet
