#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "SchemaWriter.h"
#include "platform/gis/GdalSupport.h"
#include "support/TempDir.h"

namespace rivanet::schema {
namespace {

namespace fs = std::filesystem;
using rivanet::test::ReadFile;
using rivanet::test::TempDir;

FeatureClass Flowlines() {
  return {"hydrography",
          "Flow",
          Geometry::LineString,
          {{"Comid", FieldType::Integer, 10, 0},
           {"FDate", FieldType::Date, 8, 0},
           {"LengthKm", FieldType::Real, 19, 11},
           {"ReachCode", FieldType::String, 14, 0}}};
}

std::string Message(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

// The generator that fills example workspaces re-opens the empty files and appends to them;
// a 10-digit Comid must still be a 32-bit Integer field and keep its value.
TEST(SchemaWriter, FeatureClassTakesAppendedFeaturesWithIntegerComid) {
  TempDir dir;
  CreateEmptyFeatureClass(dir.Path(), Flowlines(), 5070);
  const fs::path shp = dir / "hydrography/Flow.shp";
  {
    GDALDatasetUniquePtr ds = gis::OpenShapefile(shp, true);
    OGRLayer* layer = ds->GetLayer(0);
    ASSERT_NE(layer, nullptr);
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetField("Comid", 2147483647);
    feature.SetField("FDate", 2021, 3, 14);
    feature.SetField("LengthKm", 1.25);
    feature.SetField("ReachCode", "01010001000123");
    OGRLineString line;
    line.addPoint(1000.0, 2000.0);
    line.addPoint(1500.0, 2500.0);
    feature.SetGeometry(&line);
    ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
  }
  GDALDatasetUniquePtr ds = gis::OpenShapefile(shp, false);
  OGRLayer* layer = ds->GetLayer(0);
  const OGRFieldDefn* comid = layer->GetLayerDefn()->GetFieldDefn(0);
  EXPECT_EQ(comid->GetType(), OFTInteger);
  EXPECT_EQ(comid->GetWidth(), 10);
  ASSERT_EQ(layer->GetFeatureCount(), 1);
  gis::FeaturePtr back(layer->GetNextFeature());
  EXPECT_EQ(back->GetFieldAsInteger("Comid"), 2147483647);
  EXPECT_DOUBLE_EQ(back->GetFieldAsDouble("LengthKm"), 1.25);
  EXPECT_STREQ(back->GetFieldAsString("ReachCode"), "01010001000123");
  EXPECT_STREQ(back->GetFieldAsString("FDate"), "2021/03/14");
}

TEST(SchemaWriter, TableIsALoneDbfThatTakesRows) {
  TempDir dir;
  const Table flow{"Flow", {{"FromComid", FieldType::Integer, 10, 0}, {"ToComid", FieldType::Integer, 10, 0}}};
  CreateEmptyTable(dir.Path(), flow);
  EXPECT_FALSE(fs::exists(dir / "Flow.shp"));
  EXPECT_EQ(ReadFile(dir / "Flow.cpg"), "UTF-8");
  {
    GDALDatasetUniquePtr ds = gis::OpenShapefile(dir / "Flow.dbf", true);
    OGRLayer* layer = ds->GetLayer(0);
    EXPECT_EQ(layer->GetGeomType(), wkbNone);
    OGRFeature row(layer->GetLayerDefn());
    row.SetField(0, 1234567890);
    row.SetField(1, -123456789);
    ASSERT_EQ(layer->CreateFeature(&row), OGRERR_NONE);
  }
  GDALDatasetUniquePtr ds = gis::OpenShapefile(dir / "Flow.dbf", false);
  OGRLayer* layer = ds->GetLayer(0);
  EXPECT_EQ(layer->GetLayerDefn()->GetFieldDefn(1)->GetType(), OFTInteger);
  gis::FeaturePtr back(layer->GetNextFeature());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetFieldAsInteger(0), 1234567890);
  EXPECT_EQ(back->GetFieldAsInteger(1), -123456789);
}

TEST(SchemaWriter, RefusesToOverwriteAndNamesTheFile) {
  TempDir dir;
  CreateEmptyFeatureClass(dir.Path(), Flowlines(), 5070);
  const fs::path dbf = dir / "hydrography/Flow.dbf";
  const std::string before = ReadFile(dbf);

  FeatureClass other = Flowlines();
  other.fields.pop_back();
  const std::string error = Message([&] { CreateEmptyFeatureClass(dir.Path(), other, 5070); });
  EXPECT_NE(error.find("Already exists: " + (dir / "hydrography/Flow.shp").string()), std::string::npos) << error;
  EXPECT_EQ(ReadFile(dbf), before);

  // A table shares the <name>.dbf of a top-level feature class.
  FeatureClass top = Flowlines();
  top.folder.clear();
  CreateEmptyFeatureClass(dir.Path(), top, 5070);
  const std::string clash = Message([&] { CreateEmptyTable(dir.Path(), Table{"Flow", top.fields}); });
  EXPECT_NE(clash.find("Already exists: " + (dir / "Flow.dbf").string()), std::string::npos) << clash;
}

// Anything the driver cannot write exactly fails the call and leaves no files behind.
TEST(SchemaWriter, FailureLeavesNothingBehind) {
  TempDir dir;
  FeatureClass badName = Flowlines();
  badName.fields.push_back({"LongerThanTen", FieldType::Integer, 5, 0});  // the driver would cut the name
  std::string error = Message([&] { CreateEmptyFeatureClass(dir.Path(), badName, 5070); });
  EXPECT_NE(error.find("Flow.shp"), std::string::npos) << error;
  EXPECT_NE(error.find("LongerThanTen"), std::string::npos) << error;

  error = Message([&] { CreateEmptyFeatureClass(dir.Path(), Flowlines(), 999999); });
  EXPECT_NE(error.find("EPSG:999999"), std::string::npos) << error;
  EXPECT_NE(error.find("Flow.prj"), std::string::npos) << error;

  error = Message([&] { CreateEmptyTable(dir.Path(), Table{"T", {{"Big", FieldType::String, 300, 0}}}); });
  EXPECT_NE(error.find("T.dbf"), std::string::npos) << error;

  for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
    EXPECT_TRUE(entry.is_directory()) << "left behind: " << entry.path();
  }
}

}  // namespace
}  // namespace rivanet::schema
