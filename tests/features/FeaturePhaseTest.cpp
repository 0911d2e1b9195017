// The feature class phase on small workspaces written for each test, and on generated ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>
#include <set>

#include "Generator.h"
#include "SchemaWriter.h"
#include "features/ExtentRepair.h"
#include "features/FeaturePhase.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/FeatureReader.h"
#include "platform/gis/GisTest.h"  // tests/platform/gis: Snapshot
#include "platform/gis/Shapefile.h"
#include "platform/gis/ShapefileExtent.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "support/RecordingFeedback.h"
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

// Three classes, one of each kind the phase treats differently.
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
featureclass Drainage/catchment Polygon
  field Comid Integer 10
  field Name String 10
end
vat
  field Value Integer 10
  field Count Integer 10
end
append RVXLine work
append streamgageevent
append catchment
)";

const std::vector<KitField> kFields = {{"Comid", OFTInteger, 10}, {"Name", OFTString, 10}};

KitFeature Line(int x, Value comid, const std::string& name) {
  return {"LINESTRING (" + std::to_string(x) + " 0," + std::to_string(x) + " 1)", {comid, name}};
}

// The folders of one phase run (input, output, Work, list), its layout and what it told.
class Phase {
 public:
  Phase()
      : f(test::MakeRunFolders(dir.Path())), layout(schema::ParseSchema(kLayout, "test layout")) {
    schema::WriteEmptyWorkspace(f.output, layout);
    schema::WriteEmptyWorkspace(Work(), layout);
  }
  fs::path Work() const { return f.app / "Work"; }
  // Only these steps of the layout run.
  void OnlySteps(std::vector<schema::AppendStep> steps) { layout.featureSteps = std::move(steps); }
  void Input(const std::string& ws, const std::string& folder, const std::string& name,
             OGRwkbGeometryType type, const std::vector<KitFeature>& features,
             const std::vector<KitField>& fields = kFields) {
    WriteShapefile(f.input / ws / folder, name, type, fields, features);
  }
  RunContext& Context(bool interactive) {
    log = std::make_unique<ActivityLog>(*files, f.app, interactive);
    context.emplace(RunContext{f.app, interactive, *files, *log, feedback, layout});
    return *context;
  }
  void Append(bool interactive = false) {
    AppendFeatureClasses(Context(interactive), f.input, f.output, Work(), f.list);
  }
  std::vector<std::string> Log() const { return test::LogMessages(f.app / "Active.log"); }
  std::vector<std::string> Statuses() const {
    std::vector<std::string> statuses;
    for (const auto& e : feedback.events)
      if (e.rfind("status:", 0) == 0) statuses.push_back(e.substr(7));
    return statuses;
  }

  test::TempDir dir;
  test::RunFolders f;
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  test::RecordingFeedback feedback;
  schema::Schema layout;
  std::unique_ptr<ActivityLog> log;
  std::optional<RunContext> context;
};

class FeaturePhaseTest : public ::testing::Test, public Phase {};

TEST_F(FeaturePhaseTest, KeepsTheFirstFeatureOfEachComidInListOrder) {
  OnlySteps({{"RVXLine", true}});
  test::WriteFile(f.list, "A\nB\n");
  Input("A", "hydrography", "RVXLine", wkbLineString,
        {Line(1, "7", "a7"), Line(2, "9", "a9"), Line(3, "7", "a7 again"), Line(4, {}, "none")});
  // B holds its Comids as text: "9" is the same Comid as the number 9.
  Input("B", "hydrography", "RVXLine", wkbLineString, {Line(5, "12", "b12"), Line(6, "9", "b9")},
        {{"Comid", OFTString, 10}, {"Name", OFTString, 10}});
  Append();

  EXPECT_EQ(
      ReadShapefile(f.output / "hydrography/RVXLine.shp"),
      (std::vector<KitFeature>{Line(1, "7", "a7"), Line(2, "9", "a9"), Line(5, "12", "b12")}));
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "RVXLine: 6 features read, 3 written, 2 passed over as duplicates of an "
                       "earlier Comid, 1 passed over for an empty Comid",
                       "Feature class phase took S seconds"}));
  EXPECT_EQ(Statuses(), (std::vector<std::string>{"Appending RVXLine for Workspace: A",
                                                  "Appending RVXLine for Workspace: B"}));
}

TEST_F(FeaturePhaseTest, PlainRouteAppendsEveryFeatureAtTheWorkspaceTopLevel) {
  OnlySteps({{"streamgageevent", false}});
  test::WriteFile(f.list, "A\nEmpty\n");
  std::vector<KitFeature> many;
  for (int i = 0; i < 250; ++i)
    many.push_back({"POINT (" + std::to_string(i) + " 1)", {std::to_string(i % 10), "p"}});
  Input("A", "", "streamgageevent", wkbPoint, many);
  Input("Empty", "", "streamgageevent", wkbPoint, {});
  Append();

  EXPECT_EQ(ReadShapefile(f.output / "streamgageevent.shp"), many);
  EXPECT_EQ(Log().front(), "streamgageevent: 250 features read, 250 written");
}

TEST(FeaturePhaseCases, MissingClassesAreReportedAndSkipped) {
  struct Case {
    const char* what;
    std::vector<schema::AppendStep> steps;
    std::function<void(Phase&)> remove;
    std::vector<std::string> messages;
    std::size_t statuses;
  };
  const auto input = [](const char* ws, const char* name) {
    return "Can't find input feature class: " + (ws + std::string("/") + name);
  };
  const std::vector<Case> cases = {
      {"plain input",
       {{"streamgageevent", false}},
       [](Phase& t) { fs::remove_all(t.f.input / "A"); },
       {input("A", ""), "streamgageevent: 1 features read, 1 written"},
       2},
      {"plain output",
       {{"streamgageevent", false}},
       [](Phase& t) { gis::DeleteShapefile(t.f.output, "streamgageevent"); },
       {"Output file not found: OUT streamgageevent",
        "streamgageevent: 0 features read, 0 written"},
       0},
      {"work output",
       {{"RVXLine", true}},
       [](Phase& t) { gis::DeleteShapefile(t.f.output / "hydrography", "RVXLine"); },
       {"Output file not found: OUT/hydrography RVXLine",
        "RVXLine: 2 features read, 0 written, 0 passed over as duplicates of an earlier Comid, 0 "
        "passed over for an empty Comid"},
       2},
      {"work copy",
       {{"RVXLine", true}},
       [](Phase& t) { gis::DeleteShapefile(t.Work() / "hydrography", "RVXLine"); },
       {"Output file not found: WORK/hydrography RVXLine",
        "Can't find input feature class: WORK/hydrography RVXLine",
        "RVXLine: 0 features read, 0 written, 0 passed over as duplicates of an earlier Comid, 0 "
        "passed over for an empty Comid"},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Phase t;
    t.OnlySteps(c.steps);
    test::WriteFile(t.f.list, "A\nB\n");
    for (const char* ws : {"A", "B"}) {
      t.Input(ws, "", "streamgageevent", wkbPoint, {{"POINT (1 1)", {"1", ws}}});
      t.Input(ws, "hydrography", "RVXLine", wkbLineString,
              {Line(1, ws == std::string("A") ? "1" : "2", ws)});
    }
    c.remove(t);
    t.Append(/*interactive=*/true);

    std::vector<std::string> expected;
    for (std::string m : c.messages) {
      for (const auto& [word, path] :
           {std::pair{"OUT", t.f.output.string()}, std::pair{"WORK", t.Work().string()}})
        if (auto at = m.find(word); at != std::string::npos)
          m.replace(at, std::string(word).size(), path);
      if (m.rfind("Can't find input feature class: A", 0) == 0)
        m = "Can't find input feature class: " + (t.f.input / "A").string() + " streamgageevent";
      expected.push_back(m);
    }
    expected.push_back("Feature class phase took S seconds");
    EXPECT_EQ(t.Log(), expected);
    EXPECT_EQ(t.feedback.Boxes().size(), expected.size() - 2);  // each message also in a box
    EXPECT_EQ(t.Statuses().size(), c.statuses);
  }
}

TEST(FeaturePhaseCases, FailuresEndTheRunWithTheReportOfTheProcedureConcerned) {
  struct Case {
    const char* what;
    std::vector<schema::AppendStep> steps;
    std::function<void(Phase&)> make;
    const char* procedure;
    std::string file;
  };
  const std::vector<Case> cases = {
      {"damaged plain input",
       {{"streamgageevent", false}},
       [](Phase& t) {
         t.Input("A", "", "streamgageevent", wkbPoint, {{"POINT (1 1)", {"1", "a"}}});
         fs::resize_file(t.f.input / "A/streamgageevent.dbf", 40);
       },
       "OpenFeatureClass",
       "A/streamgageevent.dbf"},
      {"damaged work input",
       {{"RVXLine", true}},
       [](Phase& t) {
         t.Input("A", "hydrography", "RVXLine", wkbLineString, {Line(1, "1", "a")});
         fs::remove(t.f.input / "A/hydrography/RVXLine.shx");
       },
       "OpenFeatureClass1",
       "A/hydrography/RVXLine.shp"},
      {"no Comid",
       {{"RVXLine", true}},
       [](Phase& t) {
         t.Input("A", "hydrography", "RVXLine", wkbLineString, {{"LINESTRING (0 0,1 1)", {"a"}}},
                 {{"Name", OFTString, 10}});
       },
       "LoadFeatureclassWork",
       "A/hydrography/RVXLine.shp"},
      {"value too long",
       {{"catchment", false}},
       [](Phase& t) {
         t.Input("A", "Drainage", "catchment", wkbPolygon,
                 {{"POLYGON ((0 0,1 0,0 1,0 0))", {"1", "far too long"}}},
                 {{"Comid", OFTInteger, 10}, {"Name", OFTString, 20}});
       },
       "AddFields",
       "A/Drainage/catchment.shp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Phase t;
    t.OnlySteps(c.steps);
    test::WriteFile(t.f.list, "A\n");
    c.make(t);
    try {
      t.Append();
      ADD_FAILURE() << "no error";
    } catch (const ReportedError& e) {
      EXPECT_NE(e.Report().find("in procedure " + std::string(c.procedure) + " of"),
                std::string::npos)
          << e.Report();
      EXPECT_NE(e.Report().find((t.f.input / c.file).string()), std::string::npos) << e.Report();
    }
  }
}

TEST_F(FeaturePhaseTest, CancelStopsBetweenWorkspacesLeavingWholeWorkspacesBehind) {
  OnlySteps({{"RVXLine", true}, {"streamgageevent", false}});
  test::WriteFile(f.list, "A\nB\n");
  Input("A", "hydrography", "RVXLine", wkbLineString, {Line(1, "1", "a1"), Line(2, "2", "a2")});
  Input("B", "hydrography", "RVXLine", wkbLineString, {Line(3, "3", "b3")});
  feedback.cancelAfterChecks = 2;  // before the class, before A, then no more
  EXPECT_THROW(Append(), RunCancelled);
  EXPECT_EQ(ReadShapefile(f.output / "hydrography/RVXLine.shp"),
            (std::vector<KitFeature>{Line(1, "1", "a1"), Line(2, "2", "a2")}));
  EXPECT_TRUE(ReadShapefile(f.output / "streamgageevent.shp").empty());
}

TEST_F(FeaturePhaseTest, CatchmentHeaderStatesTheExtentOfItsShapes) {
  OnlySteps({{"catchment", false}});
  test::WriteFile(f.list, "A\nB\n");
  Input("A", "Drainage", "catchment", wkbPolygon, {{"POLYGON ((0 0,4 0,0 3,0 0))", {"1", "a"}}});
  Input("B", "drainage", "catchment", wkbPolygon, {{"POLYGON ((-2 5,1 9,1 5,-2 5))", {"2", "b"}}});
  Append();
  const fs::path drainage = f.output / "Drainage";
  const gis::Extent extent{-2, 0, 4, 9};
  EXPECT_EQ(gis::ShapesExtent(drainage, "catchment"), extent);
  EXPECT_EQ(gis::ReadHeaderExtents(drainage, "catchment").shp, extent);
  EXPECT_EQ(gis::ReadHeaderExtents(drainage, "catchment").shx, extent);
  EXPECT_EQ(Statuses().back(), "Fixing Extents for catchment");
  EXPECT_FALSE(gis::FindShapefile(drainage, "catchtemp"));
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
  gis::DeleteShapefile(drainage, "catchment");
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

  // Something of the user's under the temporary name: refused, and nothing is touched.
  SpoilHeaderExtent(drainage / "catchment.shx");
  test::WriteFile(drainage / "catchtemp.shp", "the user's");
  const auto before = test::Snapshot(drainage);
  EXPECT_THROW(RepairExtent(Context(false), drainage, "catchment", std::nullopt), AppError);
  EXPECT_EQ(test::Snapshot(drainage), before);
}

// Generated workspaces overlap, so neighbours share Comids: every class of the real layout
// must hold exactly the inputs' features in list order, each Comid of a de-duplicated class
// once, as its first workspace has it.
TEST_F(FeaturePhaseTest, GeneratedWorkspacesAppendAsTheLayoutSays) {
  layout = schema::ShippedSchema();
  fs::remove_all(f.output);
  fs::remove_all(Work());
  schema::WriteEmptyWorkspace(f.output, layout);
  schema::WriteEmptyWorkspace(Work(), layout);
  synth::GenerateOptions options;
  options.out = f.input;
  options.count = 4;
  options.cells = 96;
  options.margin = 16;
  options.threshold = 12;
  options.schemaFile = fs::path(RIVANET_SOURCE_DIR) / "schema/workspace.schema";
  synth::Generate(options, nullptr);
  const fs::path list = f.input / synth::kListFile;
  AppendFeatureClasses(Context(false), f.input, f.output, Work(), list);

  std::size_t passedOver = 0;
  for (const schema::AppendStep& step : layout.featureSteps) {
    SCOPED_TRACE(step.name);
    const schema::FeatureClass& fc = schema::FindFeatureClass(layout, step.name);
    std::vector<KitFeature> expected;
    std::set<std::string> seen;
    for (const char* ws : {"unit_U001", "unit_U002", "unit_U003", "unit_U004"}) {
      const fs::path folder = files->Resolve(f.input / ws / fc.folder);
      for (const KitFeature& feature : ReadShapefile(folder / (fc.name + ".shp"))) {
        const Value& comid = feature.values[0];
        if (!step.viaWork || (comid && seen.insert(*comid).second))
          expected.push_back(feature);
        else
          ++passedOver;
      }
    }
    const fs::path out = files->Resolve(f.output / fc.folder) / (fc.name + ".shp");
    EXPECT_EQ(ReadShapefile(out), expected);
  }
  EXPECT_GT(passedOver, 0u);  // the units did share Comids
}

}  // namespace
}  // namespace rivanet
