#include <gtest/gtest.h>

#include <functional>

#include "platform/Error.h"
#include "platform/database/Database.h"
#include "support/TempDir.h"

namespace rivanet::db {
namespace {

using test::TempDir;

TEST(Database, BoundValuesRoundTripWhateverTheirText) {
  TempDir dir;
  Connection db(dir / "a b'[c].db", OpenMode::Create);
  db.Execute("CREATE TABLE t(i INTEGER, r REAL, s TEXT)");
  Statement insert = db.Prepare("INSERT INTO t VALUES (?, ?, ?)");
  const std::string tricky = "a'b\"c; DROP TABLE t; --\xC3\xA9";
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

  Statement read = db.Prepare("SELECT i, r, s FROM t ORDER BY rowid");
  ASSERT_TRUE(read.Step());
  EXPECT_EQ(read.Int64(0), -9007199254740993);
  EXPECT_EQ(read.Real(1), 0.1);
  EXPECT_EQ(read.Text(2), tricky);
  ASSERT_TRUE(read.Step());
  EXPECT_EQ(read.Type(0), ColumnType::Null);
  EXPECT_EQ(read.Text(2), std::string("x\0y", 3));
  EXPECT_FALSE(read.Step());
  EXPECT_EQ(read.ColumnName(2), "s");
}

TEST(Database, TransactionRollsBackUnlessCommitted) {
  TempDir dir;
  Connection db(dir / "t.db", OpenMode::Create);
  db.Execute("CREATE TABLE t(x)");
  {
    Transaction tx(db);
    db.Execute("INSERT INTO t VALUES (1)");
  }
  {
    Transaction tx(db);
    db.Execute("INSERT INTO t VALUES (2)");
    tx.Commit();
  }
  Statement count = db.Prepare("SELECT group_concat(x) FROM t");
  ASSERT_TRUE(count.Step());
  EXPECT_EQ(count.Text(0), "2");
}

TEST(Database, QuotedIdentifiersCannotBreakOut) {
  TempDir dir;
  Connection db(dir / "q.db", OpenMode::Create);
  const std::string name = "we\"ird]; name";
  db.Execute("CREATE TABLE " + QuoteIdentifier(name) + "(" + QuoteIdentifier("a\"b") + ")");
  Statement s = db.Prepare("SELECT name FROM sqlite_master");
  ASSERT_TRUE(s.Step());
  EXPECT_EQ(s.Text(0), name);
}

TEST(Database, FailuresNameTheFileAndCarrySqliteCodes) {
  TempDir dir;
  const auto expectFailure = [&](const std::function<void()>& action, const std::string& needle) {
    try {
      action();
      ADD_FAILURE() << "no error";
    } catch (const AppError& e) {
      EXPECT_EQ(e.Scheme(), ErrorScheme::Sqlite);
      EXPECT_EQ(e.Source(), "SQLite");
      EXPECT_NE(e.Number(), 0);
      EXPECT_NE(e.Description().find(needle), std::string::npos) << e.Description();
    }
  };
  expectFailure([&] { Connection db(dir / "missing.db", OpenMode::ReadOnly); }, "missing.db");
  test::WriteFile(dir / "junk.db", std::string(4096, 'x'));
  expectFailure(
      [&] {
        Connection db(dir / "junk.db", OpenMode::ReadWrite);
        db.Execute("SELECT * FROM sqlite_master");
      },
      "junk.db");
  Connection db(dir / "ok.db", OpenMode::Create);
  expectFailure([&] { db.Prepare("SELECT * FROM nowhere"); }, "no such table: nowhere");
  db.Execute("CREATE TABLE u(x UNIQUE)");
  db.Execute("INSERT INTO u VALUES (1)");
  expectFailure([&] { db.Execute("INSERT INTO u VALUES (1)"); }, "ok.db");
}

}  // namespace
}  // namespace rivanet::db
