// The writer of empty feature classes and tables never writes over a file, and a write it
// cannot finish exactly leaves nothing behind. What it writes is checked through the skeleton
// and the example workspaces made with it.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "SchemaWriter.h"
#include "support/TempDir.h"

namespace rivanet::schema {
namespace {

namespace fs = std::filesystem;
using rivanet::test::TempDir;

const FeatureClass kFlow{"hydrography",
                         "Flow",
                         Geometry::LineString,
                         {{"Comid", FieldType::Integer, 10, 0}, {"FDate", FieldType::Date, 8, 0}}};

std::string Message(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

TEST(SchemaWriter, RefusesToOverwriteAndNamesTheFile) {
  TempDir dir;
  CreateEmptyFeatureClass(dir.Path(), kFlow, 5070);
  FeatureClass top = kFlow;
  top.folder.clear();
  CreateEmptyFeatureClass(dir.Path(), top, 5070);
  const test::Tree before = test::Snapshot(dir.Path());

  FeatureClass other = kFlow;
  other.fields.pop_back();
  const std::string error = Message([&] { CreateEmptyFeatureClass(dir.Path(), other, 5070); });
  EXPECT_NE(error.find("Already exists: " + (dir / "hydrography/Flow.shp").string()),
            std::string::npos)
      << error;
  // A table shares the <name>.dbf of a top-level feature class.
  const std::string clash = Message([&] {
    CreateEmptyTable(dir.Path(), Table{"Flow", top.fields});
  });
  EXPECT_NE(clash.find("Already exists: " + (dir / "Flow.dbf").string()), std::string::npos)
      << clash;
  EXPECT_EQ(test::Changes(before, test::Snapshot(dir.Path())), test::kNoChanges);
}

TEST(SchemaWriter, FailureNamesTheFileAndLeavesNothingBehind) {
  TempDir dir;
  FeatureClass badName = kFlow;
  badName.fields.push_back({"LongerThanTen", FieldType::Integer, 5, 0});  // would be cut short
  const std::string name = Message([&] { CreateEmptyFeatureClass(dir.Path(), badName, 5070); });
  EXPECT_NE(name.find("Flow.shp"), std::string::npos) << name;
  const std::string epsg = Message([&] { CreateEmptyFeatureClass(dir.Path(), kFlow, 999999); });
  EXPECT_NE(epsg.find("Flow.prj"), std::string::npos) << epsg;
  EXPECT_EQ(test::Snapshot(dir.Path()), (test::Tree{{"hydrography", "<dir>"}}));
}

}  // namespace
}  // namespace rivanet::schema
