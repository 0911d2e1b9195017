#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/Error.h"
#include "support/TempDir.h"
#include "workspace/Schema.h"

namespace rivanet::schema {
namespace {

using rivanet::test::TempDir;
using rivanet::test::WriteFile;

const std::string kHeader = "epsg 5070\n";
const std::string kVat = "vat\n field Value Integer 10\nend\n";

// Loads `text` (none: no file is written) from a file and returns the error message, or ""
// when it loads.
std::string LoadError(const TempDir& dir, const std::optional<std::string>& text) {
  const auto file = dir / "bad.schema";
  if (text) WriteFile(file, *text);
  try {
    LoadSchema(file);
  } catch (const AppError& e) {
    return e.what();
  }
  return "";
}

// Each field as "<name> <type> <width> <precision>, ".
std::string Describe(const std::vector<Field>& fields) {
  const char* const kTypes[] = {"Integer", "Real", "String", "Date"};  // in FieldType's order
  std::string text;
  for (const auto& f : fields)
    text += f.name + " " + kTypes[static_cast<int>(f.type)] + " " + std::to_string(f.width) + " " +
            std::to_string(f.precision) + ", ";
  return text;
}

TEST(SchemaLoader, RejectsBadInputNamingFileAndLine) {
  TempDir dir;
  EXPECT_NE(LoadError(dir, std::nullopt).find((dir / "bad.schema").string()), std::string::npos);
  const std::string fc = "featureclass hydro/F Point\n field Comid Integer 10\n";
  const struct {
    std::string text;
    int line;
    const char* message;
  } cases[] = {
      {"feild X Integer 10\n", 2, "unknown keyword 'feild'"},
      {"table T\n field X Long 10\nend\n", 3, "unknown field type 'Long'"},
      {"table T\n field Comid Integer 10\n\n field COMID Integer 10\nend\n", 5,
       "duplicate field 'COMID'"},
      {"# comment\nfeatureclass a/F Polygon\n field Name String 10\nend\n", 5,
       "has no Comid field"},
      {"featureclass F Point\n field Comid String 10\nend\n", 4, "Comid must be Integer"},
      {"table T\n field ReachCodeXY String 14\nend\n", 3, "longer than 10 characters"},
      {"table T\n field N Integer 11\nend\n", 3, "Integer width"},  // would not stay 32-bit
      {"table T\n field S String\nend\n", 3, "field <name> String <width>"},
      {fc + "table T\n", 4, "inside 'featureclass hydro/F'"},
      {"table T\nend\n", 3, "has no fields"},
      {"featureclass ../F Point\n", 2, "bad folder"},
      {"table T\n field A Integer 1\nend\nappend T later\n", 5, "unknown route"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const std::string error = LoadError(dir, kHeader + c.text + kVat);
    EXPECT_NE(error.find("bad.schema:" + std::to_string(c.line) + ": "), std::string::npos)
        << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  // Faults of the whole file.
  EXPECT_NE(LoadError(dir, kVat).find("no 'epsg' line"), std::string::npos);
  EXPECT_NE(LoadError(dir, kHeader).find("no 'vat' section"), std::string::npos);
}

// The layout the program is built with: the folders a run replaces, and the order and route of
// its appends. (Its grids, their cell types and the catchment table's fields are what the grid
// phase's test runs on; its feature classes and tables are what the skeleton is made of.)
TEST(WorkspaceSchema, HoldsWhatTheRunNeeds) {
  const Schema& s = ShippedSchema();
  EXPECT_EQ(WorkspaceFolders(s), (std::vector<std::string>{"drainage", "elev_unit", "fac_fdr_unit",
                                                           "hydrography", "hydrologicunits"}));

  auto steps = [](const std::vector<AppendStep>& list) {
    std::vector<std::string> names;
    for (const auto& step : list) names.push_back(step.name + (step.viaWork ? " work" : ""));
    return names;
  };
  EXPECT_EQ(
      steps(s.featureSteps),
      (std::vector<std::string>{"RVXArea work", "RVXFlowline", "RVXLine work", "RVXPoint work",
                                "RVXWaterbody work", "streamgageevent", "catchment", "subbasin"}));
  EXPECT_EQ(
      steps(s.tableSteps),
      (std::vector<std::string>{
          "RVXFlow", "RVXFlowlineVaa", "RVXhydrolineevent", "RVXhydropointevent", "RVXMetadata",
          "RVXReachCode_comid", "RVXStatus", "RVXReachCrossReference work", "RVXMetadata work",
          "RVXFeaturetometadata work", "RVXSourcecitation work", "RVXVerticalRelationship work",
          "catchmentattributesnlcd", "catchmentattributestempprecip", "flowlineattributesflow",
          "flowlineattributesnlcd", "flowlineattributestempprecip", "headwaternodearea"}));

  // Every kind of field, and lookups by name or path, of the right kind only.
  const auto& flowline = FindFeatureClass(s, "hydrography/RVXFlowline").fields;
  EXPECT_EQ(Describe({flowline.begin(), flowline.begin() + 6}),
            "Comid Integer 10 0, FDate Date 8 0, Resolution Integer 10 0, GNIS_ID String 10 0, "
            "GNIS_Name String 65 0, LengthKm Real 19 11, ");
  EXPECT_EQ(&FindFeatureClass(s, "RVXFlowline"), &FindFeatureClass(s, "hydrography/RVXFlowline"));
  EXPECT_THROW(FindTable(s, "RVXFlowline"), AppError);
  EXPECT_THROW(FindFeatureClass(s, "RVXFlow"), AppError);
  // The metadata append drops rows whose DUUID is 0. (Every feature class has an Integer Comid,
  // which the loader enforces.)
  EXPECT_NE(Describe(FindTable(s, "RVXMetadata").fields).find("DUUID Integer"), std::string::npos);
  EXPECT_EQ(Describe(s.catVat),
            "Value Integer 10 0, Count Integer 10 0, Comid Integer 10 0, Prod_unit String 4 0, ");
}

}  // namespace
}  // namespace rivanet::schema
