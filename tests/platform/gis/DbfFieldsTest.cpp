// What fits a dBASE field: the checks shared by the table, feature and grid phases.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/gis/DbfFields.h"
#include "platform/gis/DbfFit.h"

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
      // Written with 3 decimals: "-9999.500" is 9 wide; a fourth decimal would be rounded away.
      {{"Slope", DbfType::Real, 8, 3},
       {9999.999, -999.999, I{1234}, 0.125},
       {-9999.5, INFINITY, S("1.5"), 1.2345, -0.0005}},
      // Every 11-decimal value read from a table comes back as it was read.
      {{"AreaSqKm", DbfType::Real, 19, 11},
       {0.12345678901, 9876543.1, 1234567.12345678901},
       {0.123456789012345}},
      {text, {S("Rivière"), S("")}, {S("Rivières"), I{5}}},  // bytes, not letters
      {{"FDate", DbfType::Date, 8, 0},
       {S("20200229"), S("2021-03-14"), S("2021/12/31")},
       {S("2021/02/29"), S("2021-13-01"), S("14.03.2021"), I{20210314}}},
  };
  // The quick check the appends use agrees with the full one.
  const auto quick = [](const DbfField& f, const DbfValue& v) {
    return ValueProblem(f, v, DbfTextWidth::Utf8Bytes);
  };
  for (const auto& c : cases) {
    for (const auto& v : c.fit) {
      EXPECT_EQ(FieldValueProblem(c.field, v), std::nullopt) << c.field.name << " " << v.index();
      EXPECT_EQ(quick(c.field, v), std::nullopt) << c.field.name << " " << v.index();
    }
    for (const auto& v : c.misfit) {
      EXPECT_TRUE(FieldValueProblem(c.field, v)) << c.field.name << " " << v.index();
      EXPECT_TRUE(quick(c.field, v)) << c.field.name << " " << v.index();
    }
  }
  const std::string why = *FieldValueProblem(text, S("Rivières"));
  EXPECT_NE(why.find("\"Name\""), std::string::npos) << why;
  EXPECT_NE(why.find("\"Rivières\""), std::string::npos) << why;
  const DbfField count{"Count", DbfType::Integer, 18, 0};
  EXPECT_NE(FieldValueProblem(count, 1.2345678901234567e19)->find("wider than the field"),
            std::string::npos);
  EXPECT_NE(FieldValueProblem({"Slope", DbfType::Real, 8, 3}, 1.2345)->find("more decimals"),
            std::string::npos);
}
