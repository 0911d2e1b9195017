// The vector side of the GIS library: what an append refuses, a class ArcGIS wrote, and the files
// of a shapefile as a whole. The feature class phase's tests read and append the rest.
#include <gtest/gtest.h>

#include "GisTest.h"
#include "platform/gis/FeatureReader.h"
#include "platform/gis/FeatureWriter.h"
#include "platform/gis/Shapefile.h"
#include "support/ShapefileKit.h"

namespace rivanet::gis {
namespace {

namespace fs = std::filesystem;
using test::KitFeature;
using test::KitField;
using test::Raised;
using test::ReadShapefile;
using test::TempDir;
using test::WriteShapefile;

// Appends every feature of `in` to a new empty point class <folder>/Out.shp with `fields`; an
// error leaves the class closed with what was inserted before.
std::int64_t AppendAll(const fs::path& folder, const std::vector<KitField>& fields,
                       FeatureReader& in, std::uint64_t limit = kShapefileSizeLimit) {
  WriteShapefile(folder, "Out", wkbPoint, fields, {});
  const auto out = FeatureWriter::Open(folder, "Out", limit);
  const FieldMapping mapping = out->MapFields(in);
  while (in.Next()) {
    out->Stage(in, mapping);
    out->InsertStaged(in);
  }
  out->Close();
  return out->Inserted();
}

TEST(FeatureWriterTest, RefusesWhatTheOutputCannotHoldAndKeepsWhatCameBefore) {
  struct Case {
    const char* what;
    KitField in, out;
    std::vector<KitFeature> features;  // the last is refused
    const char* reason;
    std::uint64_t limit = kShapefileSizeLimit;
  };
  const auto field = [](const char* name, OGRFieldType type, int width, int precision = 0) {
    return KitField{name, type, width, precision};
  };
  // `before` points without a value, which fit any field, then one with `refused`.
  const auto features = [](std::size_t before, const char* wkt, const char* refused) {
    std::vector<KitFeature> all(before, {"POINT (1 1)", {std::nullopt}});
    all.push_back({wkt, {refused}});
    return all;
  };
  const char* point = "POINT (1 1)";
  const std::vector<Case> cases = {
      {"number too wide", field("Code", OFTInteger, 9), field("Code", OFTInteger, 4),
       features(1, point, "123456"), "\"Code\" (Integer 4) cannot hold 123456: wider"},
      {"wrong type", field("Code", OFTString, 10), field("Code", OFTInteger, 10),
       features(1, point, "12 m"), "(Integer 10) cannot hold \"12 m\": text in a number field"},
      {"wrong shape", field("Code", OFTInteger, 4), field("Code", OFTInteger, 4),
       features(0, "POLYGON ((0 0,1 0,1 1,0 0))", "1"), "a Polygon, the feature class holds Point"},
      // A .shp of 100 header bytes and 28 per point passes 1000 bytes with the 33rd point.
      {"past the size limit", field("Code", OFTInteger, 4), field("Code", OFTInteger, 4),
       features(32, point, "1"), "would grow past 1000 bytes", 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const bool polygons = c.features.back().wkt.rfind("POLYGON", 0) == 0;
    WriteShapefile(dir / "in", "P", polygons ? wkbPolygon : wkbPoint, {c.in}, c.features);
    const auto in = FeatureReader::Open(dir / "in", "P");
    const AppError e = Raised([&] { AppendAll(dir / "out", {c.out}, *in, c.limit); });
    const std::string feature = "feature " + std::to_string(c.features.size()) + " of ";
    for (const std::string& says : {std::string(c.reason), feature + (dir / "in/P.shp").string(),
                                    (dir / "out/Out.shp").string()})
      EXPECT_NE(e.Description().find(says), std::string::npos) << says << ": " << e.Description();
    EXPECT_EQ(ReadShapefile(dir / "out/Out.shp").size(), c.features.size() - 1);
    for (const char* ext : {".shp", ".dbf", ".shx"})
      EXPECT_LE(fs::file_size(dir / ("out/Out" + std::string(ext))), c.limit) << ext;
  }
}

TEST(FeatureWriterTest, AppendsAnArcGisPointClass) {
  TempDir dir;
  const fs::path data = fs::path(RIVANET_TEST_DATA) / "shapefiles";
  const auto in = FeatureReader::Open(data, "place_names");  // the file is Place_Names.shp
  ASSERT_TRUE(in);
  EXPECT_EQ(AppendAll(dir.Path(),
                      {{"GeneralNam", OFTString, 50},
                       {"Population", OFTInteger64, 10},
                       {"LoadDate", OFTDate, 8}},
                      *in),
            105);
  const auto original = ReadShapefile(data / "Place_Names.shp");
  const auto written = ReadShapefile(dir / "Out.shp");
  ASSERT_EQ(written.size(), original.size());
  EXPECT_EQ(written[0].values[0], test::Value("Sunderlands"));
  for (std::size_t i = 0; i < written.size(); ++i)
    EXPECT_EQ(written[i].values,
              (std::vector<test::Value>{original[i].values[13], original[i].values[16],
                                        original[i].values[19]}));
}

TEST(ShapefileTest, DeletesAndRenamesEveryFileOfTheShapefileAndNothingElse) {
  TempDir dir;
  for (const char* file : {"Lines.shp", "Lines.shx", "Lines.DBF", "Lines.prj", "Lines.sbn",
                           "Lines.shp.xml", "Lines2.shp", "Lines.old.shp", "Other.shp"})
    test::WriteFile(dir / file, file);
  RenameShapefile(dir.Path(), "lines", "Renamed");
  DeleteShapefile(dir.Path(), "Other");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir.Path())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Lines.old.shp", "Lines2.shp", "Renamed.DBF",
                                            "Renamed.prj", "Renamed.sbn", "Renamed.shp",
                                            "Renamed.shp.xml", "Renamed.shx"}));
  EXPECT_EQ(test::ReadFile(dir / "Renamed.DBF"), "Lines.DBF");

  test::WriteFile(dir / "Lines2.dbf", "in the way");
  EXPECT_EQ(Raised([&] { RenameShapefile(dir.Path(), "Renamed", "lines2"); }).Number(),
            kErrFileAlreadyExists);
  EXPECT_TRUE(fs::exists(dir / "Renamed.shp"));
}

}  // namespace
}  // namespace rivanet::gis
