#include <gtest/gtest.h>

#include <functional>

#include "platform/Error.h"
#include "platform/database/Database.h"
#include "support/TempDir.h"

namespace rivanet::db {
namespace {

using test::TempDir;

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
