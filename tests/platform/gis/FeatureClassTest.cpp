// The vector side of the GIS library: what an append refuses, a class ArcGIS wrote, and the files
// of a shapefile as a whole. The feature class phase's tests read and append the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string_view>

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
    out->InsertStaged(in, mapping);
  }
  out->Close();
  return out->Inserted();
}

TEST(FeatureWriterTest, RefusesWhatTheOutputCannotHoldAndKeepsWhatCameBefore) {
  const KitField int4{"Code", OFTInteger, 4}, int9{"Code", OFTInteger, 9},
      int10{"Code", OFTInteger, 10}, text10{"Code", OFTString, 10};
  // `before` points without a value, which fit any field, then the refused feature.
  const struct {
    const char* what;
    KitField in, out;
    std::size_t before;
    const char* wkt;
    const char* value;
    const char* reason;
    std::uint64_t limit = kShapefileSizeLimit;
  } cases[] = {
      {"number too wide", int9, int4, 1, "POINT (1 1)", "123456",
       "\"Code\" (Integer 4) cannot hold 123456: wider"},
      {"wrong type", text10, int10, 1, "POINT (1 1)", "12 m",
       "(Integer 10) cannot hold \"12 m\": text in a number field"},
      {"a decimal the output would round away",
       {"Code", OFTReal, 12, 4},
       {"Code", OFTReal, 12, 2},
       1,
       "POINT (1 1)",
       "1.2345",
       "(Real 12.2) cannot hold 1.2345: more decimals"},
      // The class names no code page, so its bytes would reach the output as they stand.
      {"text in no known code page", text10, text10, 1, "POINT (1 1)", "Rivi\xE8re",
       "\"Code\" holds text that is not written in the code page of its file"},
      {"wrong shape", int4, int4, 0, "POLYGON ((0 0,1 0,1 1,0 0))", "1",
       "a Polygon, the feature class holds Point"},
      // A .shp of 100 header bytes and 28 per point passes 1000 bytes with the 33rd point.
      {"past the size limit", int4, int4, 32, "POINT (1 1)", "1", "would grow past 1000 bytes",
       1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::vector<KitFeature> features(c.before, {"POINT (1 1)", {std::nullopt}});
    features.push_back({c.wkt, {c.value}});
    const bool polygons = std::string(c.wkt).starts_with("POLYGON");
    WriteShapefile(dir / "in", "P", polygons ? wkbPolygon : wkbPoint, {c.in}, features);
    const auto in = FeatureReader::Open(dir / "in", "P");
    const AppError e = Raised([&] { AppendAll(dir / "out", {c.out}, *in, c.limit); });
    const std::string feature = "feature " + std::to_string(features.size()) + " of ";
    for (const std::string& says : {std::string(c.reason), feature + (dir / "in/P.shp").string(),
                                    (dir / "out/Out.shp").string()})
      EXPECT_NE(e.Description().find(says), std::string::npos) << says << ": " << e.Description();
    EXPECT_EQ(ReadShapefile(dir / "out/Out.shp").size(), c.before);
    for (const char* ext : {".shp", ".dbf", ".shx"})
      EXPECT_LE(fs::file_size(dir / ("out/Out" + std::string(ext))), c.limit) << ext;
  }
}

// An attribute table GDAL would read as something else is refused on opening: a memo field
// would arrive as the numbers of its blocks, a field named twice as one of the two, "12.7" in a
// field without decimals as 12, an impossible date as some other day.
TEST(FeatureReaderTest, RefusesAttributesItCannotReadAsStored) {
  // The one record of a one-field table starts after the header, its field list, the list's end
  // mark and the record's deletion flag.
  constexpr std::size_t kFirstValue = 32 + 32 + 1 + 1;
  const auto put = [](std::string& dbf, std::size_t at, std::string_view bytes) {
    std::copy(bytes.begin(), bytes.end(), dbf.begin() + static_cast<std::ptrdiff_t>(at));
  };
  const struct {
    std::vector<KitField> fields;
    std::function<void(std::string&)> spoil;
    const char* says;
  } cases[] = {
      {{{"Note", OFTString, 10}},
       [](std::string& dbf) { dbf[32 + 11] = 'M'; },  // the field's type
       "Field \"Note\" is of dBASE type 'M' (memo"},
      {{{"Comid", OFTInteger, 10}, {"Other", OFTInteger, 10}},
       [&](std::string& dbf) { put(dbf, 64, "COMID"); },  // the second field's name
       "The dBASE header names the field \"COMID\" twice"},
      {{{"Comid", OFTInteger, 10}},
       [&](std::string& dbf) { put(dbf, kFirstValue, "      12.7"); },
       "Row 1, field \"Comid\": \"12.7\" is not a whole number"},
      {{{"Since", OFTDate, 8}},
       [&](std::string& dbf) { put(dbf, kFirstValue, "20051399"); },
       "Row 1, field \"Since\": \"20051399\" is not a date"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    TempDir dir;
    WriteShapefile(
        dir.Path(), "P", wkbPoint, c.fields,
        {{"POINT (1 1)", std::vector<std::optional<std::string>>(c.fields.size(), "1")}});
    std::string dbf = test::ReadFile(dir / "P.dbf");
    c.spoil(dbf);
    test::WriteFile(dir / "P.dbf", dbf);
    const std::string says = c.says;
    const std::string e = Raised([&] { FeatureReader::Open(dir.Path(), "P"); }).Description();
    EXPECT_NE(e.find(says), std::string::npos) << e;
    EXPECT_NE(e.find((dir / "P.dbf").string()), std::string::npos) << e;
  }
}

// What a 2D output cannot hold of an input's shapes is left out and said; text the input's
// ISO-8859-1 marks as Windows text is read as Windows-1252.
TEST(FeatureWriterTest, TakesZValuesAndWindowsTextAsTheOutputHoldsThem) {
  TempDir dir;
  WriteShapefile(dir / "in", "P", wkbPoint25D, {{"Name", OFTString, 10}},
                 {{"POINT Z (1 2 3)", {"x"}}, {"POINT Z (4 5 6)", {"y"}}});
  std::string dbf = test::ReadFile(dir / "in/P.dbf");
  dbf[32 + 32 + 1 + 1] = '\x80';  // the first record's text: the euro sign
  test::WriteFile(dir / "in/P.dbf", dbf);
  test::WriteFile(dir / "in/P.cpg", "ISO-8859-1");
  const auto in = FeatureReader::Open(dir / "in", "P");
  WriteShapefile(dir / "out", "Out", wkbPoint, {{"Name", OFTString, 10}}, {});
  const auto out = FeatureWriter::Open(dir / "out", "Out", kShapefileSizeLimit);
  const FieldMapping mapping = out->MapFields(*in);
  EXPECT_EQ(mapping.DroppedValues(), "Z values");
  while (in->Next()) {
    out->Stage(*in, mapping);
    out->InsertStaged(*in, mapping);
  }
  out->Close();
  EXPECT_EQ(ReadShapefile(dir / "out/Out.shp"),
            (std::vector<KitFeature>{{"POINT (1 2)", {"€"}}, {"POINT (4 5)", {"y"}}}));
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

TEST(FeatureWriterTest, ProjectsAnInputInAnotherCoordinateSystem) {
  // Longitude -96, latitude 23 is the origin of Conus Albers (EPSG:5070, the output's), which
  // has no false easting or northing. A class without a coordinate system, or with a .prj that
  // names none GDAL can read (which is said), is taken as it is.
  const struct {
    int epsg;
    const char* from;
    std::string wkt;
    const char* prj = nullptr;
  } cases[] = {{4269, "NAD83", "POINT (0 0)"},
               {0, "", "POINT (-96 23)"},
               {0, "", "POINT (-96 23)", "this is no coordinate system"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.epsg);
    TempDir dir;
    WriteShapefile(dir / "in", "In", wkbPoint, {}, {{"POINT (-96 23)", {}}}, "UTF-8", c.epsg);
    if (c.prj != nullptr) test::WriteFile(dir / "in/In.prj", c.prj);
    WriteShapefile(dir / "out", "Out", wkbPoint, {}, {});
    const auto in = FeatureReader::Open(dir / "in", "In");
    const auto out = FeatureWriter::Open(dir / "out", "Out");
    const FieldMapping mapping = out->MapFields(*in);
    EXPECT_EQ(mapping.ProjectedFrom(), c.from);
    EXPECT_EQ(mapping.UnreadablePrj(), c.prj != nullptr);
    ASSERT_TRUE(in->Next());
    out->InsertStaged(*in, mapping);
    out->Close();
    const auto written = ReadShapefile(dir / "out/Out.shp");
    ASSERT_EQ(written.size(), 1u);
    OGRPoint p;
    const char* wkt = written[0].wkt.c_str();
    ASSERT_EQ(p.importFromWkt(&wkt), OGRERR_NONE);
    OGRPoint expected;
    const char* e = c.wkt.c_str();
    ASSERT_EQ(expected.importFromWkt(&e), OGRERR_NONE);
    EXPECT_NEAR(p.getX(), expected.getX(), 1e-6);
    EXPECT_NEAR(p.getY(), expected.getY(), 1e-6);
  }
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
