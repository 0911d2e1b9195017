// How a source row becomes the target's SQL values and back, when rows count as one, and the
// DISTINCT of one append: each distinct row once, in the order of its first occurrence, whatever
// the grouping of the inserts and however often hashes collide. How columns are matched by name
// is seen in the table phase's tests.

#include <gtest/gtest.h>

#include <set>

#include "platform/Error.h"
#include "support/TempDir.h"
#include "tables/DistinctRows.h"
#include "tables/RowMapping.h"

namespace rivanet::tables {
namespace {

using gis::DbfField;
using gis::DbfRow;
using gis::DbfTextWidth;
using gis::DbfType;
using I = std::int64_t;

const std::vector<DbfField> kTarget = {{"Comid", DbfType::Integer, 10, 0},
                                       {"Length", DbfType::Real, 8, 3},
                                       {"Name", DbfType::String, 7, 0},
                                       {"Since", DbfType::Date, 8, 0},
                                       {"Extra", DbfType::String, 4, 0}};

TEST(RowMapping, ValuesBecomeTheTargetFieldsKindOrAreRefusedWhenTheyWouldChange) {
  // The source has no Extra: the target's Extra stays empty.
  const auto to = [](const DbfRow& row, DbfTextWidth text = DbfTextWidth::Utf8Bytes) {
    return ToSql(kTarget, text, ColumnMap{{0, 1, 2, 3, -1}, {}}, row);
  };
  const SqlRow row = to({7.0, I{2}, "Zürich", "20210314"});
  EXPECT_EQ(row, (SqlRow{I{7}, 2.0, "Zürich", "2021/03/14", {}}));
  EXPECT_EQ(FromSql(kTarget, row), (DbfRow{I{7}, 2.0, "Zürich", "2021/03/14", {}}));
  EXPECT_EQ(to({{}, -0.0, {}, "2021-03-14"}), (SqlRow{{}, -0.0, {}, "2021/03/14", {}}));
  // "Rivière" is 8 bytes of UTF-8 but 7 characters of a single-byte code page.
  EXPECT_EQ(to({{}, {}, "Rivière", {}}, DbfTextWidth::Characters)[2], SqlValue{"Rivière"});

  // A value is refused rather than changed to fit; number widths are the dBASE field checks'.
  const std::vector<std::pair<DbfRow, const char*>> refused = {
      {{7.5, {}, {}, {}}, "not an integer"},
      {{"12", {}, {}, {}}, "text in a number field"},
      {{{}, {}, "Rivières", {}}, "longer than the field"},
      {{{}, {}, I{3}, {}}, "a number in a text field"},
      {{{}, {}, {}, "2021/02/30"}, "not a date"},
      {{{}, 1.23456, {}, {}}, "more decimals than the field keeps"},
  };
  for (const auto& [values, says] : refused) {
    try {
      to(values, DbfTextWidth::Characters);
      ADD_FAILURE() << says << ": not refused";
    } catch (const AppError& e) {
      EXPECT_NE(e.Description().find(says), std::string::npos) << e.Description();
    }
  }
  EXPECT_THROW(to({{}, {}, "Rivière", {}}), AppError);  // 8 bytes in a UTF-8 table

  // Unless the source's field declares no more decimals than the target keeps: what it holds
  // beyond them was never part of its values, and the real is rounded as it will be stored.
  const std::vector<DbfField> declares3 = {{"Length", DbfType::Real, 10, 3}};
  const std::vector<DbfField> declares5 = {{"Length", DbfType::Real, 10, 5}};
  const ColumnMap rounding = MapColumns(declares3, kTarget, "T");
  EXPECT_TRUE(rounding.rounds[1]);
  EXPECT_FALSE(MapColumns(declares5, kTarget, "T").rounds[1]);
  EXPECT_EQ(ToSql(kTarget, DbfTextWidth::Utf8Bytes, rounding, {1.23456})[1], SqlValue{1.235});
}

TEST(RowMapping, RowsAreOneExactlyWhenDistinctTakesThemAsOne) {
  EXPECT_EQ(RowKey({0.0}), RowKey({-0.0}));
  const std::vector<SqlRow> distinct = {
      {I{1}, 0.5, "a", {}, {}},  {I{1}, 0.25, "a", {}, {}},
      {I{1}, 0.5, "a ", {}, {}}, {I{1}, 0.5, {}, "a", {}},
      {I{1}, 0.5, "a", {}, ""},  {I{1}, 0.5, std::string("a\0b", 3), {}, {}},
      {I{1}, 0.5, "ab", {}, {}}};
  for (std::size_t i = 0; i < distinct.size(); ++i)
    for (std::size_t j = i + 1; j < distinct.size(); ++j)
      EXPECT_NE(RowKey(distinct[i]), RowKey(distinct[j])) << i << " and " << j;
}

TEST(DistinctRows, EachDistinctRowPassesOnceInOrderWhateverTheHash) {
  test::TempDir dir;
  TableStage stage(dir / "stage.sqlite");
  // Rows with repeats next to each other, a group of inserts (64 rows) apart and in the last
  // short group; the expected rows as a reader would pick them by hand.
  std::vector<SqlRow> offered, expected;
  std::set<std::string> seen;
  for (int i = 0; i <= 300; ++i) {
    const int k = i == 300 ? 0 : i % 3 == 0 ? i / 7 : i;
    std::string name(1, 'r');  // built so, for GCC 12's false -Wrestrict on "r" + text
    name += std::to_string(k);
    SqlRow row{std::int64_t{k}, k % 2 ? SqlValue{0.5} : SqlValue{}, name};
    if (seen.insert(RowKey(row)).second) expected.push_back(row);
    offered.push_back(std::move(row));
  }
  ASSERT_LT(expected.size(), offered.size());

  const std::vector<std::pair<const char*, DistinctRows::Hash>> hashes = {
      {"the program's", std::hash<std::string>{}},
      {"every row alike", [](const std::string&) { return std::uint64_t{42}; }},
      {"at the end of the range", [](const std::string&) { return ~std::uint64_t{0} - 1; }},
  };
  for (const auto& [name, hash] : hashes) {
    std::vector<SqlRow> passed;
    {
      db::Transaction transaction(stage.Db());
      DistinctRows distinct(
          stage, [&](SqlRow&& row) { passed.push_back(std::move(row)); }, hash);
      for (const SqlRow& row : offered) distinct.Offer(row);
      distinct.Finish();
      transaction.Commit();
    }
    EXPECT_EQ(passed, expected) << name;
  }
}

}  // namespace
}  // namespace rivanet::tables
