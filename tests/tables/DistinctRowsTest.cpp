// The DISTINCT of one append: each distinct row once, in the order of its first occurrence,
// whatever the grouping of the inserts and however often hashes collide.

#include <gtest/gtest.h>

#include <set>

#include "platform/Error.h"
#include "support/TempDir.h"
#include "tables/DistinctRows.h"

namespace rivanet::tables {
namespace {

// Rows with repeats next to each other, a group (64 rows) apart, in the last short group, and
// rows that differ only in a value being absent.
std::vector<SqlRow> Offered() {
  std::vector<SqlRow> rows;
  for (int i = 0; i < 300; ++i) {
    const int k = i % 3 == 0 ? i / 7 : i;
    std::string name(1, 'r');
    name += std::to_string(k);
    rows.push_back({std::int64_t{k}, k % 2 ? SqlValue{0.5} : SqlValue{}, name});
  }
  rows.push_back(rows.front());
  return rows;
}

// SELECT DISTINCT as a reader would check it by hand.
std::vector<SqlRow> FirstOccurrences(const std::vector<SqlRow>& rows) {
  std::vector<SqlRow> kept;
  std::set<std::string> seen;
  for (const auto& row : rows)
    if (seen.insert(RowKey(row)).second) kept.push_back(row);
  return kept;
}

TEST(DistinctRows, EachDistinctRowPassesOnceInOrderWhateverTheHash) {
  test::TempDir dir;
  TableStage stage(dir / "stage.sqlite");
  const std::vector<SqlRow> offered = Offered();
  const std::vector<SqlRow> expected = FirstOccurrences(offered);
  ASSERT_LT(expected.size(), offered.size());

  const std::vector<std::pair<const char*, DistinctRows::Hash>> hashes = {
      {"the program's", std::hash<std::string>{}},
      {"every row alike", [](const std::string&) { return std::uint64_t{42}; }},
      {"a few buckets", [](const std::string& key) { return std::uint64_t{key.size() % 3}; }},
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
  // Another append compares nothing with the rows of the ones before.
  std::vector<SqlRow> again;
  DistinctRows next(stage, [&](SqlRow&& row) { again.push_back(std::move(row)); });
  next.Offer(offered.front());
  next.Finish();
  EXPECT_EQ(again, std::vector<SqlRow>{offered.front()});
}

}  // namespace
}  // namespace rivanet::tables
