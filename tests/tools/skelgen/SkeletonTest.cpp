#include <gtest/gtest.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "workspace/Schema.h"
#include "SchemaWriter.h"
#include "platform/gis/Crs.h"
#include "platform/gis/GdalSupport.h"
#include "Skeleton.h"
#include "support/TempDir.h"

namespace rivanet::skelgen {
namespace {

namespace fs = std::filesystem;
using rivanet::test::ReadFile;
using rivanet::test::TempDir;
using rivanet::test::WriteFile;
using namespace rivanet::schema;

const fs::path kSchemaFile = fs::path(RIVANET_SOURCE_DIR) / "schema" / "workspace.schema";

std::string Quote(const std::string& s) {
  std::string q(1, '\'');
  for (char c : s) {
    if (c == '\'') q.append("'\\''");
    else q.push_back(c);
  }
  q.push_back('\'');
  return q;
}

// Runs the generator as the build does; returns its exit code.
int RunSkelgen(const std::vector<std::string>& args) {
  std::string command = Quote(RIVANET_SKELGEN_EXE);
  for (const auto& a : args) command.append(" ").append(Quote(a));
  command.append(" 2>/dev/null");
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

OGRFieldType OgrType(FieldType t) {
  switch (t) {
    case FieldType::Integer: return OFTInteger;
    case FieldType::Real: return OFTReal;
    case FieldType::String: return OFTString;
    case FieldType::Date: return OFTDate;
  }
  return OFTBinary;
}

// The file holds an empty layer with exactly the schema's fields.
void ExpectEmptyLayer(const fs::path& file, OGRwkbGeometryType geometry, const std::vector<Field>& fields) {
  SCOPED_TRACE(file.string());
  GDALDatasetUniquePtr ds = gis::OpenShapefile(file, false);
  ASSERT_EQ(ds->GetLayerCount(), 1);
  OGRLayer* layer = ds->GetLayer(0);
  EXPECT_EQ(layer->GetGeomType(), geometry);
  EXPECT_EQ(layer->GetFeatureCount(), 0);
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  ASSERT_EQ(defn->GetFieldCount(), static_cast<int>(fields.size()));
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    const Field& want = fields[static_cast<std::size_t>(i)];
    const OGRFieldDefn* got = defn->GetFieldDefn(i);
    EXPECT_STREQ(got->GetNameRef(), want.name.c_str());
    EXPECT_EQ(got->GetType(), OgrType(want.type)) << want.name;
    if (want.type != FieldType::Date) {
      EXPECT_EQ(got->GetWidth(), want.width) << want.name;
      EXPECT_EQ(got->GetPrecision(), want.precision) << want.name;
    }
  }
  const fs::path cpg = fs::path(file).replace_extension(".cpg");
  EXPECT_EQ(ReadFile(cpg), "UTF-8");
}

void ExpectEpsg(const fs::path& prj, int epsg) {
  const std::string text = ReadFile(prj);
  const std::string wkt = gis::WktOf(*gis::SpatialRefFromEpsg(epsg, prj), "EPSG");
  EXPECT_TRUE(gis::SameCrs(text, wkt)) << prj << ": " << text;
}

struct Column {
  std::string name, type;
  bool operator==(const Column&) const = default;
};

class ScratchDb {
 public:
  explicit ScratchDb(const fs::path& file) {
    if (sqlite3_open_v2(file.string().c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      ADD_FAILURE() << "cannot open " << file;
  }
  ~ScratchDb() { sqlite3_close(m_db); }

  // Each row of a query, as text.
  std::vector<std::vector<std::string>> Rows(const std::string& sql, const std::string& bound = "") {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(m_db);
      return rows;
    }
    if (!bound.empty()) sqlite3_bind_text(stmt, 1, bound.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const auto* text = sqlite3_column_text(stmt, i);
        row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return rows;
  }

  std::vector<Column> Columns(const std::string& table) {
    std::vector<Column> columns;
    for (const auto& row : Rows("SELECT name, type FROM pragma_table_info(?1)", table))
      columns.push_back({row[0], row[1]});
    return columns;
  }

  // The columns of each index on `table`, e.g. {{"myValue"}}.
  std::vector<std::vector<std::string>> IndexedColumns(const std::string& table) {
    std::vector<std::vector<std::string>> result;
    for (const auto& index : Rows("SELECT name FROM pragma_index_list(?1)", table)) {
      std::vector<std::string> columns;
      for (const auto& row : Rows("SELECT name FROM pragma_index_info(?1) ORDER BY seqno", index[0]))
        columns.push_back(row[0]);
      result.push_back(columns);
    }
    return result;
  }

 private:
  sqlite3* m_db = nullptr;
};

std::set<std::string> FilesUnder(const fs::path& folder) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), folder).generic_string());
  }
  return files;
}

TEST(Skelgen, SkeletonMatchesTheSchema) {
  TempDir app;
  ASSERT_EQ(RunSkelgen({"--schema", kSchemaFile.string(), "--out", app.Path().string()}), 0);
  const Schema schema = LoadSchema(kSchemaFile);
  const fs::path skel = app / "Skel";

  std::set<std::string> expected;
  for (const auto& fc : schema.featureClasses) {
    const std::string base = (fc.folder.empty() ? "" : fc.folder + "/") + fc.name;
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) expected.insert(base + ext);
    const OGRwkbGeometryType geometry = fc.geometry == Geometry::Point        ? wkbPoint
                                        : fc.geometry == Geometry::LineString ? wkbLineString
                                                                              : wkbPolygon;
    ExpectEmptyLayer(skel / (base + ".shp"), geometry, fc.fields);
    ExpectEpsg(skel / (base + ".prj"), 5070);
  }
  for (const auto& table : schema.tables) {
    for (const char* ext : {".dbf", ".cpg"}) expected.insert(table.name + ext);
    ExpectEmptyLayer(skel / (table.name + ".dbf"), wkbNone, table.fields);
  }
  EXPECT_EQ(FilesUnder(skel), expected);
  EXPECT_TRUE(fs::is_regular_file(skel / "Drainage/catchment.shp"));
  EXPECT_TRUE(fs::is_regular_file(skel / "streamgageevent.shp"));
  EXPECT_TRUE(fs::is_regular_file(skel / "RVXFlow.dbf"));

  ScratchDb db(app / "VatWorkSkel.mdb");
  EXPECT_EQ(db.Columns("tblImport"),
            (std::vector<Column>{{"myValue", "INTEGER"}, {"Comid", "INTEGER"}, {"Prod_unit", "TEXT"}}));
  EXPECT_EQ(db.Columns("tblVat"), (std::vector<Column>{{"myValue", "INTEGER"}}));
  for (const char* table : {"tblImport", "tblVat"}) {
    SCOPED_TRACE(table);
    EXPECT_EQ(db.IndexedColumns(table), (std::vector<std::vector<std::string>>{{"myValue"}}));
    EXPECT_EQ(db.Rows(std::string("SELECT count(*) FROM ") + table), (std::vector<std::vector<std::string>>{{"0"}}));
  }
  EXPECT_EQ(db.Rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"tblImport"}, {"tblVat"}}));

  // Nothing but the two results is left in the application folder.
  std::set<std::string> top;
  for (const auto& entry : fs::directory_iterator(app.Path())) top.insert(entry.path().filename().string());
  EXPECT_EQ(top, (std::set<std::string>{"Skel", "VatWorkSkel.mdb"}));
}

TEST(Skelgen, RegeneratingReplacesTheOldSkeletonAndDatabase) {
  TempDir app;
  WriteFile(app / "Skel/stale.dbf", "old");
  WriteFile(app / "VatWorkSkel.mdb", "not a database");
  ASSERT_EQ(RunSkelgen({"--out", app.Path().string(), "--schema", kSchemaFile.string()}), 0);
  EXPECT_FALSE(fs::exists(app / "Skel/stale.dbf"));
  EXPECT_TRUE(fs::exists(app / "Skel/hydrography/RVXFlowline.shp"));
  ScratchDb db(app / "VatWorkSkel.mdb");
  EXPECT_EQ(db.Columns("tblVat"), (std::vector<Column>{{"myValue", "INTEGER"}}));
}

TEST(Skelgen, FailedRunKeepsThePreviousSkeleton) {
  TempDir app;
  WriteFile(app / "Skel/previous.dbf", "kept");

  // A bad schema file stops the tool before it writes anything.
  WriteFile(app / "bad.schema", "epsg 5070\ntable T\n field X Long 10\nend\n");
  EXPECT_EQ(RunSkelgen({"--schema", (app / "bad.schema").string(), "--out", app.Path().string()}), 1);
  EXPECT_EQ(RunSkelgen({"--schema", kSchemaFile.string()}), 2);
  EXPECT_EQ(RunSkelgen({"--out", app.Path().string(), "--verbose"}), 2);

  // A failure half way through writing (two classes want the same files).
  Schema schema = LoadSchema(kSchemaFile);
  schema.featureClasses.push_back(schema.featureClasses.front());
  EXPECT_THROW(WriteSkeleton(schema, app.Path()), std::runtime_error);

  EXPECT_EQ(ReadFile(app / "Skel/previous.dbf"), "kept");
  std::set<std::string> top;
  for (const auto& entry : fs::directory_iterator(app.Path())) top.insert(entry.path().filename().string());
  EXPECT_EQ(top, (std::set<std::string>{"Skel", "bad.schema"}));
}

}  // namespace
}  // namespace rivanet::skelgen
