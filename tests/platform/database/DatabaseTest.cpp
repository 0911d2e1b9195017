#include <gtest/gtest.h>

#include <functional>

#include "platform/Error.h"
#include "platform/database/Database.h"
#include "support/TempDir.h"

namespace rivanet::db {
namespace {

using test::TempDir;

// Values travel bound, so no text can break out of a statement, and names go quoted.
TEST(Database, BoundValuesAndQuotedNamesRoundTripWhateverTheirText) {
  TempDir dir;
  Connection db(dir / "a b'[c].db", OpenMode::Create);
  const std::string table = "we\"ird]; name", tricky = "a'b\"c; DROP TABLE t; --\xC3\xA9";
  db.Execute("CREATE TABLE " + QuoteIdentifier(table) + "(i INTEGER, r REAL, " +
             QuoteIdentifier("s\"x") + " TEXT)");
  Statement insert = db.Prepare("INSERT INTO " + QuoteIdentifier(table) + " VALUES (?, ?, ?)");
  insert.Bind(1, std::int64_t{-9007199254740993});
  insert.Bind(2, 0.1);
  insert.Bind(3, tricky);
  EXPECT_FALSE(insert.Step());
  insert.Reset();
  insert.BindNull(1);
  insert.BindNull(2);
  insert.Bind(3, std::string_view("x\0y", 3));
  insert.Step();
  EXPECT_EQ(db.Changes(), 1);

  Statement read = db.Prepare("SELECT m.name, t.* FROM sqlite_master m, " + QuoteIdentifier(table) +
                              " t ORDER BY t.rowid");
  ASSERT_TRUE(read.Step());
  EXPECT_EQ(read.Text(0), table);
  EXPECT_EQ(read.Int64(1), -9007199254740993);
  EXPECT_EQ(read.Real(2), 0.1);
  EXPECT_EQ(read.Text(3), tricky);
  ASSERT_TRUE(read.Step());
  EXPECT_EQ(read.Type(1), ColumnType::Null);
  EXPECT_EQ(read.Text(3), std::string("x\0y", 3));
  EXPECT_FALSE(read.Step());
}

TEST(Database, TransactionRollsBackUnlessCommitted) {
  TempDir dir;
  Connection db(dir / "t.db", OpenMode::Create);
  db.Execute("CREATE TABLE t(x)");
  for (const bool commit : {false, true}) {
    Transaction tx(db);
    db.Execute(commit ? "INSERT INTO t VALUES (2)" : "INSERT INTO t VALUES (1)");
    if (commit) tx.Commit();
  }
  Statement rows = db.Prepare("SELECT group_concat(x) FROM t");
  ASSERT_TRUE(rows.Step());
  EXPECT_EQ(rows.Text(0), "2");
}

TEST(Database, FailuresNameTheFileAndCarrySqliteCodes) {
  TempDir dir;
  test::WriteFile(dir / "junk.db", std::string(4096, 'x'));
  Connection ok(dir / "ok.db", OpenMode::Create);
  ok.Execute("CREATE TABLE u(x UNIQUE); INSERT INTO u VALUES (1)");
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { Connection db(dir / "missing.db", OpenMode::ReadOnly); }, "missing.db"},
      {[&] { Connection(dir / "junk.db", OpenMode::ReadWrite).Execute("SELECT 1 FROM u"); },
       "junk.db"},
      {[&] { ok.Prepare("SELECT * FROM nowhere"); }, "no such table: nowhere"},
      {[&] { ok.Execute("INSERT INTO u VALUES (1)"); }, "ok.db"},
  };
  for (const auto& [action, needle] : cases) {
    try {
      action();
      ADD_FAILURE() << "no error for " << needle;
    } catch (const AppError& e) {
      EXPECT_EQ(std::pair(e.Scheme(), e.Source()),
                std::pair(ErrorScheme::Sqlite, std::string("SQLite")));
      EXPECT_NE(e.Number(), 0);
      EXPECT_NE(e.Description().find(needle), std::string::npos) << e.Description();
    }
  }
}

}  // namespace
}  // namespace rivanet::db
