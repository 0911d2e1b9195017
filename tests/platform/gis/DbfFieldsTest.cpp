// What fits a dBASE field: the checks shared by the table, feature and grid phases.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/gis/DbfFields.h"

using namespace rivanet::gis;

TEST(DbfFields, ValueFitsItsFieldAsDbaseWritesIt) {
  using I = std::int64_t;
  using S = std::string;
  const DbfField text{"Name", DbfType::String, 8, 0};
  struct Case {
    DbfField field;
    std::vector<DbfValue> fit, misfit;
  };
  const std::vector<Case> cases = {
      // The sign takes a place; an integral real is an integer.
      {{"Count", DbfType::Integer, 5, 0},
       {I{99999}, I{-9999}, 12.0, {}},
       {I{-10000}, I{100000}, 12.5, S("12"), NAN}},
      // Written with 3 decimals: "-9999.500" is 9 wide.
      {{"Slope", DbfType::Real, 8, 3},
       {9999.999, -999.999, I{1234}},
       {-9999.5, INFINITY, S("1.5")}},
      {text, {S("Rivière"), S("")}, {S("Rivières"), I{5}}},  // bytes, not letters
      {{"FDate", DbfType::Date, 8, 0},
       {S("20200229"), S("2021-03-14"), S("2021/12/31")},
       {S("2021/02/29"), S("2021-13-01"), S("14.03.2021"), I{20210314}}},
  };
  for (const auto& c : cases) {
    for (const auto& v : c.fit) EXPECT_EQ(FieldValueProblem(c.field, v), std::nullopt);
    for (const auto& v : c.misfit)
      EXPECT_TRUE(FieldValueProblem(c.field, v)) << c.field.name << " " << v.index();
  }
  const std::string why = *FieldValueProblem(text, S("Rivières"));
  EXPECT_NE(why.find("\"Name\""), std::string::npos) << why;
  EXPECT_NE(why.find("\"Rivières\""), std::string::npos) << why;
}
