#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>

#include "workspace/Schema.h"
#include "platform/Error.h"
#include "support/TempDir.h"

namespace rivanet::schema {
namespace {

using rivanet::test::TempDir;
using rivanet::test::WriteFile;

const std::string kHeader = "epsg 5070\n";
const std::string kVat = "vat\n field Value Integer 10\nend\n";

// Loads `text` from a file and returns the error message, or "" when it loads.
std::string LoadError(const TempDir& dir, const std::string& text) {
  const auto file = dir / "bad.schema";
  WriteFile(file, text);
  try {
    LoadSchema(file);
  } catch (const AppError& e) {
    return e.what();
  }
  return "";
}

struct BadCase {
  const char* label;
  std::string text;
  int line;
  const char* message;
};

TEST(SchemaLoader, RejectsBadInputNamingFileAndLine) {
  TempDir dir;
  const std::string fc = "featureclass hydro/F Point\n field Comid Integer 10\n";
  const BadCase cases[] = {
      {"unknown keyword", kHeader + "feild X Integer 10\n", 2, "unknown keyword 'feild'"},
      {"bad field type", kHeader + "table T\n field X Long 10\nend\n", 3, "unknown field type 'Long'"},
      {"duplicate field ignoring case", kHeader + "table T\n field Comid Integer 10\n\n field COMID Integer 10\nend\n",
       5, "duplicate field 'COMID'"},
      {"missing Comid", kHeader + "# comment\nfeatureclass a/F Polygon\n field Name String 10\nend\n", 5,
       "has no Comid field"},
      {"Comid not Integer", kHeader + "featureclass F Point\n field Comid String 10\nend\n", 4,
       "Comid must be Integer"},
      {"name longer than dBASE allows", kHeader + "table T\n field ReachCodeXY String 14\nend\n", 3,
       "longer than 10 characters"},
      {"Integer too wide to stay 32-bit", kHeader + "table T\n field N Integer 11\nend\n", 3, "Integer width"},
      {"Real without decimals", kHeader + "table T\n field R Real 19 0\nend\n", 3, "Real precision"},
      {"String without width", kHeader + "table T\n field S String\nend\n", 3, "field <name> String <width>"},
      {"width not a number", kHeader + "table T\n field S String 1O\nend\n", 3, "bad width '1O'"},
      {"unknown geometry", kHeader + "featureclass F Polyline\n", 2, "unknown geometry type 'Polyline'"},
      {"field outside a section", kHeader + "field X Integer 10\n", 2, "outside"},
      {"section never closed", kHeader + fc + "table T\n", 4, "inside 'featureclass hydro/F'"},
      {"end without section", kHeader + "end\n", 2, "'end' without"},
      {"duplicate name across tables and classes", kHeader + fc + "end\ntable f\n field A Integer 1\nend\n", 5,
       "duplicate feature class or table name 'f'"},
      {"empty table", kHeader + "table T\nend\n", 3, "has no fields"},
      {"bad folder", kHeader + "featureclass ../F Point\n", 2, "bad folder"},
      {"second epsg", kHeader + "epsg 4269\n", 2, "second 'epsg'"},
      {"grid without folder", kHeader + "grid cat Int32\n", 2, "needs a folder"},
      {"grid cell type", kHeader + "grid d/cat Float32\n", 2, "unknown cell type 'Float32'"},
      {"append before definition", kHeader + "append T\n", 2, "names no feature class or table"},
      {"append route", kHeader + "table T\n field A Integer 1\nend\nappend T later\n", 5, "unknown route"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string error = LoadError(dir, c.text + kVat);
    EXPECT_NE(error.find("bad.schema:" + std::to_string(c.line) + ": "), std::string::npos) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(SchemaLoader, RejectsFilesMissingRequiredSections) {
  TempDir dir;
  EXPECT_NE(LoadError(dir, kVat).find("no 'epsg' line"), std::string::npos);
  EXPECT_NE(LoadError(dir, kHeader).find("no 'vat' section"), std::string::npos);
  // A section still open at the end of the file is reported where it starts.
  const std::string open = LoadError(dir, kHeader + kVat + "\nfeatureclass F Point\n field Comid Integer 10\n");
  EXPECT_NE(open.find("bad.schema:6: 'featureclass F' is never closed"), std::string::npos) << open;
  const std::string missing = (dir / "none.schema").string();
  try {
    LoadSchema(dir / "none.schema");
    FAIL() << "a missing file loaded";
  } catch (const AppError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
}

TEST(SchemaLoader, ReadsEveryKindOfStatement) {
  TempDir dir;
  WriteFile(dir / "ok.schema",
            "epsg 4269   # NAD83\n"
            "featureclass top Point\n field Comid Integer 10\nend\n"
            "featureclass a/b/deep LineString\n"
            "  field Comid   Integer 10\n  field FDate Date\n  field LenKm Real 19 11\n  field Code String 14\n"
            "end\n"
            "table T\n field Id Integer 5\nend\n" +
                kVat);
  const Schema s = LoadSchema(dir / "ok.schema");
  EXPECT_EQ(s.epsg, 4269);
  ASSERT_EQ(s.featureClasses.size(), 2u);
  EXPECT_EQ(s.featureClasses[0].folder, "");
  EXPECT_EQ(s.featureClasses[0].geometry, Geometry::Point);

  const FeatureClass& deep = FindFeatureClass(s, "deep");
  EXPECT_EQ(&deep, &FindFeatureClass(s, "a/b/deep"));
  EXPECT_EQ(deep.folder, "a/b");
  EXPECT_EQ(deep.geometry, Geometry::LineString);
  ASSERT_EQ(deep.fields.size(), 4u);
  EXPECT_EQ(deep.fields[1].type, FieldType::Date);
  EXPECT_EQ(deep.fields[1].width, 8);
  EXPECT_EQ(deep.fields[2].type, FieldType::Real);
  EXPECT_EQ(deep.fields[2].width, 19);
  EXPECT_EQ(deep.fields[2].precision, 11);
  EXPECT_EQ(deep.fields[3].type, FieldType::String);
  EXPECT_EQ(deep.fields[3].width, 14);

  EXPECT_EQ(FindTable(s, "T").fields.at(0).width, 5);
  EXPECT_THROW(FindTable(s, "top"), AppError);
  EXPECT_THROW(FindFeatureClass(s, "T"), AppError);
}

// The layout the program is built with: everything a run reads, writes and appends.
TEST(WorkspaceSchema, HoldsWhatTheRunNeeds) {
  const Schema& s = ShippedSchema();
  EXPECT_EQ(s.epsg, 5070);

  std::vector<std::string> grids;
  for (const auto& g : s.grids)
    grids.push_back(g.Path() + (g.cellType == CellType::UInt8 ? " UInt8" : " Int32") + (g.positiveOnly ? " >0" : ""));
  EXPECT_EQ(grids, (std::vector<std::string>{"drainage/cat Int32 >0", "elev_unit/elev_cm Int32",
                                             "fac_fdr_unit/fac Int32", "fac_fdr_unit/fdr UInt8 >0"}));

  const std::set<std::pair<std::string, Geometry>> expectedClasses = {
      {"Drainage/catchment", Geometry::Polygon},        {"hydrography/RVXArea", Geometry::Polygon},
      {"hydrography/RVXFlowline", Geometry::LineString}, {"hydrography/RVXLine", Geometry::LineString},
      {"hydrography/RVXPoint", Geometry::Point},         {"hydrography/RVXWaterbody", Geometry::Polygon},
      {"hydrologicunits/subbasin", Geometry::Polygon},   {"streamgageevent", Geometry::Point},
  };
  std::set<std::pair<std::string, Geometry>> classes;
  for (const auto& fc : s.featureClasses) classes.insert({fc.folder.empty() ? fc.name : fc.folder + "/" + fc.name, fc.geometry});
  EXPECT_EQ(classes, expectedClasses);
  EXPECT_EQ(WorkspaceFolders(s), (std::vector<std::string>{"drainage", "elev_unit", "fac_fdr_unit", "hydrography",
                                                           "hydrologicunits"}));

  auto steps = [](const std::vector<AppendStep>& list) {
    std::vector<std::string> names;
    for (const auto& step : list) names.push_back(step.name + (step.viaWork ? " work" : ""));
    return names;
  };
  EXPECT_EQ(steps(s.featureSteps),
            (std::vector<std::string>{"RVXArea work", "RVXFlowline", "RVXLine work", "RVXPoint work",
                                      "RVXWaterbody work", "streamgageevent", "catchment", "subbasin"}));
  EXPECT_EQ(steps(s.tableSteps),
            (std::vector<std::string>{
                "RVXFlow", "RVXFlowlineVaa", "RVXhydrolineevent", "RVXhydropointevent", "RVXMetadata",
                "RVXReachCode_comid", "RVXStatus", "RVXReachCrossReference work", "RVXMetadata work",
                "RVXFeaturetometadata work", "RVXSourcecitation work", "RVXVerticalRelationship work",
                "catchmentattributesnlcd", "catchmentattributestempprecip", "flowlineattributesflow",
                "flowlineattributesnlcd", "flowlineattributestempprecip", "headwaternodearea"}));
  EXPECT_EQ(s.tables.size(), 17u);

  // The routed feature classes are de-duplicated by Comid; the metadata append drops DUUID 0.
  for (const auto& fc : s.featureClasses) {
    auto comid = std::find_if(fc.fields.begin(), fc.fields.end(), [](const Field& f) { return f.name == "Comid"; });
    ASSERT_NE(comid, fc.fields.end()) << fc.name;
    EXPECT_EQ(comid->type, FieldType::Integer) << fc.name;
  }
  const auto& metadata = FindTable(s, "RVXMetadata").fields;
  EXPECT_TRUE(std::any_of(metadata.begin(), metadata.end(),
                          [](const Field& f) { return f.name == "DUUID" && f.type == FieldType::Integer; }));

  std::vector<std::string> vat;
  for (const auto& f : s.catVat) vat.push_back(f.name);
  EXPECT_EQ(vat, (std::vector<std::string>{"Value", "Count", "Comid", "Prod_unit"}));
  EXPECT_EQ(s.catVat[3].type, FieldType::String);
  EXPECT_EQ(s.catVat[3].width, 4);
}

}  // namespace
}  // namespace rivanet::schema
