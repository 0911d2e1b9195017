// The DISTINCT of one append: each distinct row once, in the order of its first occurrence,
// whatever the grouping of the inserts and however often hashes collide.

#include <gtest/gtest.h>

#include <set>

#include "platform/Error.h"
#include "support/TempDir.h"
#include "tables/DistinctRows.h"

namespace rivanet::tables {
namespace {

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
}

}  // namespace
}  // namespace rivanet::tables
