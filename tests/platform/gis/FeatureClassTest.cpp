// The vector side of the GIS library: reading feature classes, appending to them, and the files
// of a shapefile as a whole.
#include <gtest/gtest.h>

#include <functional>

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
using test::Snapshot;
using test::TempDir;
using test::Value;
using test::WriteShapefile;

const std::vector<KitField> kLineFields = {{"Comid", OFTInteger, 10}, {"Name", OFTString, 10}};
const std::vector<KitFeature> kTwoLines = {{"LINESTRING (0 0,1 1)", {"7", "first"}},
                                           {"LINESTRING (2 2,3 5)", {"9", "second"}}};

// Appends every feature of `in` to `out`.
void AppendAll(FeatureWriter& out, FeatureReader& in) {
  const FieldMapping mapping = out.MapFields(in);
  while (in.Next()) {
    out.Stage(in, mapping);
    out.InsertStaged(in);
  }
}

std::unique_ptr<FeatureWriter> EmptyOutput(const fs::path& folder, OGRwkbGeometryType type,
                                           const std::vector<KitField>& fields,
                                           std::uint64_t limit = kShapefileSizeLimit) {
  WriteShapefile(folder, "Out", type, fields, {});
  return FeatureWriter::Open(folder, "Out", limit);
}

TEST(FeatureReaderTest, FindsClassesWhateverTheirCaseReadsInOrderAndWritesNothing) {
  TempDir dir;
  WriteShapefile(dir / "in/Hydro", "Lines", wkbLineString, kLineFields, kTwoLines);
  const auto before = Snapshot(dir / "in/Hydro");

  const auto reader = FeatureReader::Open(dir / "in/hydro", "LINES");
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->File(), dir / "in/Hydro/Lines.shp");
  EXPECT_EQ(reader->FindField("comid"), 0);
  EXPECT_EQ(reader->FindField("Missing"), -1);
  EXPECT_EQ(reader->Fields()[1], (DbfField{"Name", DbfType::String, 10, 0}));
  int count = 0;
  while (reader->Next()) EXPECT_EQ(reader->Number(), ++count);
  EXPECT_EQ(count, 2);

  EXPECT_EQ(Snapshot(dir / "in/Hydro"), before);
  EXPECT_EQ(FeatureReader::Open(dir / "in/Hydro", "Other"), nullptr);
  EXPECT_EQ(FeatureReader::Open(dir / "nowhere", "Lines"), nullptr);
}

TEST(FeatureReaderTest, DamagedClassesAreRefusedNamingTheFile) {
  struct Case {
    const char* damage;
    std::function<void(const fs::path& base)> apply;  // base: the path without extension
    const char* reason;
  };
  const auto cut = [](const fs::path& file, double part) {
    fs::resize_file(file,
                    static_cast<std::uintmax_t>(static_cast<double>(fs::file_size(file)) * part));
  };
  const std::vector<Case> cases = {
      {"no .shx", [](const fs::path& b) { fs::remove(b.string() + ".shx"); }, "(.shx)"},
      {"no .dbf", [](const fs::path& b) { fs::remove(b.string() + ".dbf"); }, "(.dbf)"},
      {"truncated .shp", [&](const fs::path& b) { cut(b.string() + ".shp", 0.8); }, "truncated"},
      {"truncated .shx", [&](const fs::path& b) { cut(b.string() + ".shx", 0.8); }, ".shx"},
      {"truncated .dbf", [&](const fs::path& b) { cut(b.string() + ".dbf", 0.8); }, "truncated"},
      {"more records than shapes",
       [](const fs::path& b) {
         WriteShapefile(b.parent_path() / "three", "Lines", wkbLineString, kLineFields,
                        {kTwoLines[0], kTwoLines[1], kTwoLines[0]});
         fs::copy_file(b.parent_path() / "three/Lines.dbf", b.string() + ".dbf",
                       fs::copy_options::overwrite_existing);
       },
       "holds 2 shapes but its attribute table 3 records"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.damage);
    TempDir dir;
    WriteShapefile(dir.Path(), "Lines", wkbLineString, kLineFields, kTwoLines);
    c.apply(dir / "Lines");
    const AppError e = Raised([&] {
      const auto reader = FeatureReader::Open(dir.Path(), "Lines");
      while (reader->Next()) {
      }
    });
    EXPECT_NE(e.Description().find((dir / "Lines.").string()), std::string::npos)
        << e.Description();
    EXPECT_NE(e.Description().find(c.reason), std::string::npos) << e.Description();
  }
}

TEST(FeatureWriterTest, CopiesValuesByNameAndLeavesFieldsTheInputLacksEmpty) {
  TempDir dir;
  const std::vector<KitField> outFields = {{"Comid", OFTInteger64, 10},
                                           {"Name", OFTString, 10},
                                           {"LengthKm", OFTReal, 19, 11},
                                           {"FDate", OFTDate, 8}};
  WriteShapefile(dir / "a", "L", wkbLineString, outFields,
                 {{"LINESTRING (0 0,1 1)", {"7", "alpha", "1.5", "2020/02/29"}}});
  // Another letter case, a field the output does not have, and two the output has missing.
  WriteShapefile(dir / "b", "L", wkbMultiLineString,
                 {{"COMID", OFTInteger, 9}, {"Extra", OFTString, 5}, {"name", OFTString, 8}},
                 {{"MULTILINESTRING ((5 5,6 6))", {"9", "x", "beta"}}});
  const auto out = EmptyOutput(dir / "out", wkbLineString, outFields);
  for (const char* input : {"a", "b"}) AppendAll(*out, *FeatureReader::Open(dir / input, "L"));
  EXPECT_EQ(out->Inserted(), 2);
  out->Close();

  EXPECT_EQ(ReadShapefile(dir / "out/Out.shp"),
            (std::vector<KitFeature>{
                {"LINESTRING (0 0,1 1)", {"7", "alpha", "1.50000000000", "2020/02/29"}},
                {"LINESTRING (5 5,6 6)", {"9", "beta", std::nullopt, std::nullopt}}}));
}

TEST(FeatureWriterTest, RefusesWhatTheOutputCannotHoldAndKeepsWhatCameBefore) {
  struct Case {
    const char* what;
    KitField in;
    KitField out;
    KitFeature bad;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"text too long",
       {"Name", OFTString, 20},
       {"Name", OFTString, 5},
       {"POINT (1 1)", {"Crème brûlée"}},
       "\"Name\" (String 5) cannot hold \"Crème brûlée\""},
      {"number too wide",
       {"Code", OFTInteger, 9},
       {"Code", OFTInteger, 4},
       {"POINT (1 1)", {"123456"}},
       "\"Code\" (Integer 4) cannot hold 123456: wider"},
      {"real too wide",
       {"Area", OFTReal, 24, 3},
       {"Area", OFTReal, 19, 11},
       {"POINT (1 1)", {"123456789.5"}},
       "\"Area\" (Real 19.11) cannot hold 123456789.5: wider"},
      {"wrong type",
       {"Code", OFTString, 10},
       {"Code", OFTInteger, 10},
       {"POINT (1 1)", {"12 m"}},
       "\"Code\" (Integer 10) cannot hold \"12 m\": text in a number field"},
      {"wrong shape",
       {"Code", OFTInteger, 4},
       {"Code", OFTInteger, 4},
       {"POLYGON ((0 0,1 0,1 1,0 0))", {"1"}},
       "it is a Polygon, the feature class holds Point"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    // First a feature without a value, which fits any field: it stays in the output, except
    // where its shape is the fault.
    const bool polygons = c.bad.wkt.rfind("POLYGON", 0) == 0;
    const KitFeature empty{c.bad.wkt, {std::nullopt}};
    WriteShapefile(dir / "in", "P", polygons ? wkbPolygon : wkbPoint, {c.in}, {empty, c.bad});
    {
      const auto out = EmptyOutput(dir / "out", wkbPoint, {c.out});
      const auto in = FeatureReader::Open(dir / "in", "P");
      const AppError e = Raised([&] { AppendAll(*out, *in); });
      EXPECT_NE(e.Description().find(c.reason), std::string::npos) << e.Description();
      const std::string feature = polygons ? "feature 1 of " : "feature 2 of ";
      EXPECT_NE(e.Description().find(feature + (dir / "in/P.shp").string()), std::string::npos);
      EXPECT_NE(e.Description().find((dir / "out/Out.shp").string()), std::string::npos);
    }
    EXPECT_EQ(ReadShapefile(dir / "out/Out.shp").size(), polygons ? 0u : 1u);
  }
}

TEST(FeatureWriterTest, RefusesAnInsertThatWouldPassTheSizeLimit) {
  TempDir dir;
  std::vector<KitFeature> many(40, KitFeature{"POINT (1 2)", {"1", "abc"}});
  WriteShapefile(dir / "in", "P", wkbPoint, kLineFields, many);
  constexpr std::uint64_t kLimit = 1000;
  {
    const auto out = EmptyOutput(dir / "out", wkbPoint, kLineFields, kLimit);
    const AppError e = Raised([&] { AppendAll(*out, *FeatureReader::Open(dir / "in", "P")); });
    EXPECT_NE(e.Description().find("would grow past 1000 bytes"), std::string::npos);
    EXPECT_GT(out->Inserted(), 0);
    out->Close();
  }
  for (const char* ext : {".shp", ".dbf", ".shx"})
    EXPECT_LE(fs::file_size(dir.Path() / ("out/Out" + std::string(ext))), kLimit) << ext;
  const auto written = ReadShapefile(dir / "out/Out.shp");
  EXPECT_FALSE(written.empty());
  EXPECT_LT(written.size(), many.size());
}

TEST(FeatureWriterTest, TextArrivesUnchangedWhateverTheInputCodePage) {
  const std::string text = "Crème brûlée à l'Œuf";  // all of it in Latin-1 as well, but Œ
  for (const std::string encoding : {"UTF-8", "ISO-8859-1"}) {
    SCOPED_TRACE(encoding);
    TempDir dir;
    const std::string value = encoding == "UTF-8" ? text : "Crème brûlée à l'oeuf";
    WriteShapefile(dir / "in", "P", wkbPoint, {{"Name", OFTString, 40}}, {{"POINT (1 1)", {value}}},
                   encoding);
    const auto out = EmptyOutput(dir / "out", wkbPoint, {{"Name", OFTString, 40}});
    AppendAll(*out, *FeatureReader::Open(dir / "in", "P"));
    out->Close();
    EXPECT_EQ(ReadShapefile(dir / "out/Out.shp")[0].values[0], Value(value));
    EXPECT_NE(test::ReadFile(dir / "out/Out.dbf").find(value), std::string::npos);  // UTF-8 bytes
  }
}

TEST(FeatureWriterTest, AppendsAnArcGisPointClass) {
  TempDir dir;
  const fs::path data = fs::path(RIVANET_TEST_DATA) / "shapefiles";
  const std::vector<KitField> fields = {
      {"GeneralNam", OFTString, 50}, {"Population", OFTInteger64, 10}, {"LoadDate", OFTDate, 8}};
  const auto out = EmptyOutput(dir / "out", wkbPoint, fields);
  const auto in = FeatureReader::Open(data, "place_names");  // the file is Place_Names.shp
  ASSERT_TRUE(in);
  AppendAll(*out, *in);
  out->Close();

  const auto original = ReadShapefile(data / "Place_Names.shp");
  const auto written = ReadShapefile(dir / "out/Out.shp");
  ASSERT_EQ(written.size(), 105u);
  ASSERT_EQ(original.size(), 105u);
  EXPECT_EQ(written[0].values[0], Value("Sunderlands"));
  for (std::size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(written[i].values[0], original[i].values[13]);  // GeneralNam
    EXPECT_EQ(written[i].values[1], original[i].values[16]);  // Population
    EXPECT_EQ(written[i].values[2], original[i].values[19]);  // LoadDate
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
