// The skeleton and scratch database rivanet-skelgen writes, read back with OGR and SQLite and
// compared with the schema; and failed runs, which must keep the previous skeleton. These are the
// tests of the empty-class and table writer the tool shares with rivanet-synth too.

#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Skeleton.h"
#include "platform/database/Database.h"
#include "platform/gis/Crs.h"
#include "platform/gis/GdalSupport.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "workspace/Schema.h"

namespace rivanet::skelgen {
namespace {

namespace fs = std::filesystem;
using namespace rivanet::test;
using namespace rivanet::schema;

const fs::path kSchemaFile = fs::path(RIVANET_SOURCE_DIR) / "schema" / "workspace.schema";

int RunSkelgen(const std::vector<std::string>& args, const fs::path& app) {
  return RunProgram(RIVANET_SKELGEN_EXE, args, app).exitCode;
}

// The file holds an empty layer with exactly the schema's fields.
void ExpectEmptyLayer(const fs::path& file, OGRwkbGeometryType geometry,
                      const std::vector<Field>& fields) {
  SCOPED_TRACE(file.string());
  // In FieldType's order.
  const OGRFieldType kOgrType[] = {OFTInteger, OFTReal, OFTString, OFTDate};
  GDALDatasetUniquePtr ds = gis::OpenShapefile(file, false);
  OGRLayer* layer = ds->GetLayer(0);
  EXPECT_EQ(layer->GetGeomType(), geometry);
  EXPECT_EQ(layer->GetFeatureCount(), 0);
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  ASSERT_EQ(defn->GetFieldCount(), static_cast<int>(fields.size()));
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    const Field& want = fields[static_cast<std::size_t>(i)];
    const OGRFieldDefn* got = defn->GetFieldDefn(i);
    EXPECT_STREQ(got->GetNameRef(), want.name.c_str());
    EXPECT_EQ(got->GetType(), kOgrType[static_cast<int>(want.type)]) << want.name;
    if (want.type != FieldType::Date) {  // OGR reports a dBASE date 10 wide
      EXPECT_EQ(std::pair(got->GetWidth(), got->GetPrecision()),
                std::pair(want.width, want.precision))
          << want.name;
    }
  }
  EXPECT_EQ(ReadFile(fs::path(file).replace_extension(".cpg")), "UTF-8");
}

// Run over an older skeleton and a file that is no database: both are replaced.
TEST(Skelgen, SkeletonAndDatabaseMatchTheSchema) {
  TempDir app;
  WriteFile(app / "Skel/stale.dbf", "old");
  WriteFile(app / "VatWorkSkel.mdb", "not a database");
  ASSERT_EQ(
      RunSkelgen({"--schema", kSchemaFile.string(), "--out", app.Path().string()}, app.Path()), 0);
  const Schema schema = LoadSchema(kSchemaFile);
  const std::string esri5070 = gis::WktOf(*gis::SpatialRefFromEpsg(5070, {}), "EPSG");

  std::set<std::string> expected;
  for (const auto& fc : schema.featureClasses) {
    const std::string base = "Skel/" + (fc.folder.empty() ? "" : fc.folder + "/") + fc.name;
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) expected.insert(base + ext);
    const OGRwkbGeometryType kGeometry[] = {wkbPoint, wkbLineString, wkbPolygon};  // by Geometry
    ExpectEmptyLayer(app / (base + ".shp"), kGeometry[static_cast<int>(fc.geometry)], fc.fields);
    EXPECT_TRUE(gis::SameCrs(ReadFile(app / (base + ".prj")), esri5070)) << base;
  }
  for (const auto& table : schema.tables) {
    for (const char* ext : {".dbf", ".cpg"}) expected.insert("Skel/" + table.name + ext);
    ExpectEmptyLayer(app / ("Skel/" + table.name + ".dbf"), wkbNone, table.fields);
  }
  expected.insert("VatWorkSkel.mdb");
  // Nothing else is left in the application folder: no stale file, no temporary copy.
  std::set<std::string> files;
  for (const auto& [name, content] : Snapshot(app.Path()))
    if (content != "<dir>") files.insert(name);
  EXPECT_EQ(files, expected);

  // The stale file became a database with the two tables; their columns and emptiness are
  // what every run of EndToEndTest relies on.
  db::Connection db(app / "VatWorkSkel.mdb", db::OpenMode::ReadOnly);
  db::Statement rows =
      db.Prepare("SELECT (SELECT count(*) FROM tblImport) + (SELECT count(*) FROM tblVat)");
  ASSERT_TRUE(rows.Step());
  EXPECT_EQ(rows.Int64(0), 0);
}

// A bad schema file stops the tool before it writes anything. A write that fails half way (two
// classes want the same files, a coordinate system there is none of) names its file. (Names
// dBASE would cut short and a table on a class's .dbf are refused by the schema loader first.)
TEST(Skelgen, FailedRunNamesTheFileAndKeepsThePreviousSkeleton) {
  TempDir app;
  WriteFile(app / "Skel/previous.dbf", "kept");
  WriteFile(app / "VatWorkSkel.mdb", "kept");
  WriteFile(app / "bad.schema", "epsg 5070\ntable T\n field X Long 10\nend\n");
  const Tree before = Snapshot(app.Path());
  EXPECT_EQ(RunSkelgen({"--schema", (app / "bad.schema").string(), "--out", app.Path().string()},
                       app.Path()),
            1);
  const struct {
    std::function<void(Schema&)> spoil;
    const char* says;
    const char* file;
  } cases[] = {
      {[](Schema& s) { s.featureClasses.push_back(s.featureClasses.front()); }, "Already exists",
       "/Drainage/catchment.shp"},
      {[](Schema& s) { s.epsg = 999999; }, "999999", "/Drainage/catchment.prj"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Schema schema = LoadSchema(kSchemaFile);
    c.spoil(schema);
    try {
      WriteSkeleton(schema, app.Path());
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      for (const char* part : {c.says, c.file})
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(Changes(before, Snapshot(app.Path())), kNoChanges);
}

}  // namespace
}  // namespace rivanet::skelgen
