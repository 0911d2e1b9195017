// How a source row becomes the target's SQL values and back, and when rows count as one.

#include <gtest/gtest.h>

#include <functional>

#include "platform/Error.h"
#include "tables/RowMapping.h"

namespace rivanet::tables {
namespace {

using gis::DbfField;
using gis::DbfRow;
using gis::DbfTextWidth;
using gis::DbfType;
using gis::DbfValue;

const std::vector<DbfField> kTarget = {{"Comid", DbfType::Integer, 10, 0},
                                       {"Length", DbfType::Real, 8, 3},
                                       {"Name", DbfType::String, 7, 0},
                                       {"Since", DbfType::Date, 8, 0},
                                       {"Extra", DbfType::String, 4, 0}};

std::string Problem(const std::function<void()>& f) {
  try {
    f();
  } catch (const AppError& e) {
    return e.Description();
  }
  return "";
}

TEST(RowMapping, ColumnsMatchByNameWhateverTheCaseAndRefuseAFieldTheTargetLacks) {
  const std::vector<DbfField> source = {{"SINCE", DbfType::Date, 8, 0},
                                        {"comid", DbfType::Integer, 9, 0},
                                        {"name", DbfType::String, 20, 0},
                                        {"length", DbfType::Real, 19, 11}};
  EXPECT_EQ(MapColumns(source, kTarget, "T"), (ColumnMap{{1, 3, 2, 0, -1}}));
  const std::string e = Problem([&] {
    MapColumns({{"Comid", DbfType::Integer, 10, 0}, {"Other", DbfType::Real, 5, 1}}, kTarget,
               "RVXFlow");
  });
  EXPECT_NE(e.find("\"Other\""), std::string::npos) << e;
  EXPECT_NE(e.find("RVXFlow"), std::string::npos) << e;
}

TEST(RowMapping, ValuesBecomeTheTargetFieldsKindOrAreRefusedWhenTheyWouldChange) {
  const ColumnMap same{{0, 1, 2, 3, -1}};
  // The source has no Extra: the target's Extra stays empty.
  const auto to = [&](const DbfRow& row, DbfTextWidth text = DbfTextWidth::Utf8Bytes) {
    return ToSql(kTarget, text, same, row);
  };
  EXPECT_EQ(to({7.0, std::int64_t{2}, "Zürich", "20210314"}),
            (SqlRow{std::int64_t{7}, 2.0, "Zürich", "2021/03/14", {}}));
  EXPECT_EQ(to({{}, -0.0, {}, "2021-03-14"}), (SqlRow{{}, -0.0, {}, "2021/03/14", {}}));
  // "Rivière" is 8 bytes of UTF-8 but 7 characters of a single-byte code page.
  EXPECT_EQ(to({{}, {}, "Rivière", {}}, DbfTextWidth::Characters)[2], SqlValue{"Rivière"});

  const std::vector<std::pair<DbfRow, const char*>> refused = {
      {{7.5, {}, {}, {}}, "not an integer"},
      {{std::int64_t{12345678901}, {}, {}, {}}, "wider than the field"},
      {{{}, 123456.5, {}, {}}, "wider than the field"},
      {{"12", {}, {}, {}}, "text in a number field"},
      {{{}, {}, "Rivières", {}}, "longer than the field"},
      {{{}, {}, std::int64_t{3}, {}}, "a number in a text field"},
      {{{}, {}, {}, "2021/02/30"}, "not a date"},
  };
  for (const auto& [row, says] : refused) {
    const std::string e = Problem([&] { to(row, DbfTextWidth::Characters); });
    EXPECT_NE(e.find(says), std::string::npos) << says << ": " << e;
  }
  EXPECT_NE(Problem([&] { to({{}, {}, "Rivière", {}}); }).find("8 bytes"), std::string::npos);
}

TEST(RowMapping, RowsAreOneExactlyWhenDistinctTakesThemAsOneAndReadBackUnchanged) {
  const SqlRow row{std::int64_t{1}, 0.5, "a", "2021/03/14", {}};
  EXPECT_EQ(RowKey(row), RowKey(SqlRow{std::int64_t{1}, 0.5, "a", "2021/03/14", {}}));
  EXPECT_EQ(RowKey({0.0}), RowKey({-0.0}));
  const std::vector<SqlRow> distinct = {
      {std::int64_t{1}, 0.5, "a", {}, {}},
      {std::int64_t{2}, 0.5, "a", {}, {}},
      {std::int64_t{1}, 0.25, "a", {}, {}},
      {std::int64_t{1}, 0.5, "a ", {}, {}},
      {std::int64_t{1}, 0.5, {}, "a", {}},
      {std::int64_t{1}, 0.5, "a", {}, ""},
      {std::int64_t{1}, 0.5, std::string("a\0b", 3), {}, {}},
      {std::int64_t{1}, 0.5, "ab", {}, {}},
  };
  for (std::size_t i = 0; i < distinct.size(); ++i)
    for (std::size_t j = i + 1; j < distinct.size(); ++j)
      EXPECT_NE(RowKey(distinct[i]), RowKey(distinct[j])) << i << " and " << j;

  EXPECT_TRUE(IsZero(std::int64_t{0}));
  EXPECT_TRUE(IsZero(-0.0));
  EXPECT_FALSE(IsZero(SqlValue{}));
  EXPECT_FALSE(IsZero("0"));

  EXPECT_EQ(FromSql(kTarget, row), (DbfRow{std::int64_t{1}, 0.5, "a", "2021/03/14", {}}));
  EXPECT_EQ(FromSql(kTarget, {2.0, std::int64_t{3}, {}, {}, {}}),
            (DbfRow{std::int64_t{2}, 3.0, {}, {}, {}}));
  EXPECT_THROW(FromSql(kTarget, {"x", {}, {}, {}, {}}), AppError);
  EXPECT_THROW(FromSql(kTarget, {{}, {}, 1.0, {}, {}}), AppError);
  EXPECT_THROW(FromSql(kTarget, {{}}), AppError);
}

}  // namespace
}  // namespace rivanet::tables
