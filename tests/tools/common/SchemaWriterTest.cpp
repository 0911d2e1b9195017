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

using rivanet::test::TempDir;

const FeatureClass kFlow{"hydrography",
                         "Flow",
                         Geometry::LineString,
                         {{"Comid", FieldType::Integer, 10, 0}, {"FDate", FieldType::Date, 8, 0}}};

TEST(SchemaWriter, RefusedOrUnfinishedWriteNamesTheFileAndChangesNothing) {
  TempDir dir;
  CreateEmptyFeatureClass(dir.Path(), kFlow, 5070);
  FeatureClass top = kFlow, other = kFlow, badName = kFlow, fresh = kFlow;
  top.folder.clear();
  CreateEmptyFeatureClass(dir.Path(), top, 5070);
  const test::Tree before = test::Snapshot(dir.Path());
  other.fields.pop_back();
  badName.name = fresh.name = "Other";
  badName.fields.push_back({"LongerThanTen", FieldType::Integer, 5, 0});  // would be cut short
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { CreateEmptyFeatureClass(dir.Path(), other, 5070); },
       "Already exists: " + (dir / "hydrography/Flow.shp").string()},
      {[&] {
         CreateEmptyTable(dir.Path(), Table{"Flow", top.fields});
       },
       "Already exists: " + (dir / "Flow.dbf").string()},  // the .dbf of a top-level class
      {[&] { CreateEmptyFeatureClass(dir.Path(), badName, 5070); }, "Other.shp"},
      {[&] { CreateEmptyFeatureClass(dir.Path(), fresh, 999999); }, "Other.prj"},
  };
  for (const auto& [write, named] : cases) {
    SCOPED_TRACE(named);
    try {
      write();
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::Changes(before, test::Snapshot(dir.Path())), test::kNoChanges);
  }
}

}  // namespace
}  // namespace rivanet::schema
