// The table phase on small workspaces: the groups and their rules, what the user sees, and what
// a bad table, a read-only target or a cancel leaves behind.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/files/FileSystem.h"
#include "platform/gis/DbfReader.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunMessages.h"
#include "support/DbfFile.h"
#include "support/Workspaces.h"
#include "tables/TablePhase.h"
#include "workspace/Schema.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::DbfRecord;
using test::WriteLayoutTable;

using S = const std::string&;
DbfRecord Flow(S from, S to) { return {{from, to, "", "", "", "", ""}}; }
DbfRecord Meta(S duuid, S who) { return {{duuid, "20200102", who, "", ""}}; }
DbfRecord Cross(S comid, S code) { return {{comid, code, "", "", "", "", ""}}; }

// Every row of a table as its first `columns` values joined by '|'.
std::vector<std::string> Rows(const fs::path& file, std::size_t columns = 2) {
  gis::DbfReader reader(file);
  std::vector<std::string> rows;
  for (gis::DbfRow row; reader.Next(row);) {
    std::string line;
    for (std::size_t i = 0; i < columns; ++i) {
      const auto* number = std::get_if<std::int64_t>(&row[i]);
      const auto* text = std::get_if<std::string>(&row[i]);
      line += (i > 0 ? "|" : "") + (number ? std::to_string(*number) : text ? *text : "");
    }
    rows.push_back(line);
  }
  return rows;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class TablePhaseTest : public test::RunFixture {
 protected:
  TablePhaseTest() {
    for (const auto& folder : {input, output, work}) fs::create_directories(folder);
  }
  // The phase over the workspaces of `list` with the given run order, the layout's tables.
  void Run(std::vector<schema::AppendStep> steps) {
    layout.tableSteps = std::move(steps);
    AppendTables(Context(false), input, output, work, list);
  }
  // Both workspaces' RVXFlow tables, W1's RVXStatus, and the targets for them.
  void TwoFlowWorkspaces() {
    WriteLayoutTable(output, "RVXFlow", {Flow("9", "9")});
    WriteLayoutTable(input / "W1", "RVXFlow", {Flow("1", "2")});
    WriteLayoutTable(input / "W2", "RVXFlow", {Flow("3", "4"), Flow("5", "6")});
    WriteLayoutTable(output, "RVXStatus");
    WriteLayoutTable(input / "W1", "RVXStatus", {{{"1", "ok", "", ""}}});
    test::WriteFile(list, "W1\nW2\n");
  }

  // Folder names with blanks, brackets, semicolons and quotes reach no SQL text.
  fs::path input = dir / "in [put];x";
  fs::path output = dir / "out a]b;c'd e";
  fs::path work = f.app / "Work";
  fs::path list = input / "list.txt";
};

TEST_F(TablePhaseTest, GroupsAppendWithTheirRulesInListOrder) {
  for (const auto& folder : {output, work})
    for (const char* table : {"RVXFlow", "RVXMetadata", "RVXStatus", "RVXReachCrossReference"})
      WriteLayoutTable(folder, table);
  WriteLayoutTable(output, "RVXFlow", {Flow("1", "2")});
  // W1: rows A, A, B of RVXFlow; DUUID 0, 5, 0; RVXStatus, which W2 lacks.
  WriteLayoutTable(input / "W1", "RVXFlow", {Flow("1", "2"), Flow("1", "2"), Flow("3", "4")});
  WriteLayoutTable(input / "W1", "RVXMetadata", {Meta("0", "a"), Meta("5", "b"), Meta("0", "c")});
  WriteLayoutTable(input / "W1", "RVXStatus", {{{"1", "ok", "", ""}}});
  WriteLayoutTable(input / "W1", "RVXReachCrossReference", {Cross("10", "x"), Cross("11", "y")});
  // W2 shares a row of each table with W1; its tables are named and their columns spelt in other
  // letter case, and one is in Latin-1.
  auto upper = test::ColumnsOf(schema::FindTable(layout, "RVXFlow"));
  for (auto& column : upper)
    std::transform(column.name.begin(), column.name.end(), column.name.begin(), ::toupper);
  test::WriteDbf(input / "W2/rvxflow.DBF", upper, {Flow("1", "2")});
  test::WriteDbf(input / "W2/RVXMetadata.dbf",
                 test::ColumnsOf(schema::FindTable(layout, "RVXMetadata")),
                 {Meta("5", "b"), Meta("7", "Rivi\xE8re")}, "ISO-8859-1");
  WriteLayoutTable(input / "W2", "RVXReachCrossReference", {Cross("10", "x"), Cross("12", "z")});
  // Files of the user's that the old engine's scratch name, or the name of a copy the appends
  // write, would have hit.
  test::WriteFile(input / "W1/Working.dbf", "mine");
  test::WriteFile(output / "Working.dbf", "mine too");
  test::WriteFile(output / "RVXFlow-appending.dbf", "and mine");
  test::WriteFile(list, "W1\nW2\n");
  const auto outputNames = Names(output);
  const auto workNames = Names(work);
  // The copy an append killed in an earlier run left behind.
  test::WriteFile(output / ".RivanetAppend-appending-RVXFlow/RVXFlow.dbf", "half written");
  const test::Tree inputs = test::Snapshot(input);

  Run({{"RVXFlow", false},
       {"RVXMetadata", false},
       {"RVXStatus", false},
       {"RVXReachCrossReference", true},
       {"RVXMetadata", true}});

  // Target rows first, then each workspace's distinct rows; a row two workspaces share arrives
  // twice on the direct route and once through the Work folder.
  EXPECT_EQ(Rows(output / "RVXFlow.dbf"), (std::vector<std::string>{"1|2", "1|2", "3|4", "1|2"}));
  EXPECT_EQ(Rows(output / "RVXStatus.dbf"), (std::vector<std::string>{"1|ok"}));
  EXPECT_EQ(Rows(output / "RVXReachCrossReference.dbf"),
            (std::vector<std::string>{"10|x", "11|y", "12|z"}));
  // Without DUUID 0, directly and again through the Work folder; text in UTF-8 whatever the
  // workspace's code page.
  EXPECT_EQ(Rows(output / "RVXMetadata.dbf", 3),
            (std::vector<std::string>{"5|2020/01/02|b", "5|2020/01/02|b", "7|2020/01/02|Rivière",
                                      "5|2020/01/02|b", "7|2020/01/02|Rivière"}));

  // The second pass of the Work folder route appends without naming a workspace.
  for (const char* status : {"Appending RVXReachCrossReference", "Appending RVXMetadata"})
    EXPECT_EQ(std::ranges::count(feedback.Statuses(), status), 1) << status;
  // The counts of the Work folder route, whose rows pass the DUUID and DISTINCT rules twice.
  const std::vector<std::string> entries = Log();
  ASSERT_GE(entries.size(), 5u);
  EXPECT_EQ(
      std::vector<std::string>(entries.end() - 5, entries.end() - 1),
      (std::vector<std::string>{
          "RVXReachCrossReference into the Work folder: 4 rows read from 2 workspaces, 4 "
          "appended, 0 passed over as repeated rows",
          "RVXMetadata into the Work folder: 5 rows read from 2 workspaces, 3 appended, 2 "
          "passed over for DUUID 0, 0 passed over as repeated rows",
          "RVXReachCrossReference from the Work folder: 4 rows read, 3 appended, 1 passed "
          "over as repeated rows",
          "RVXMetadata from the Work folder: 3 rows read, 2 appended, 0 passed over for DUUID "
          "0, 1 passed over as repeated rows"}));

  // Nothing left behind (an earlier run's copy gone too), the inputs and the user's files
  // untouched, the Work folder's tables unchanged.
  EXPECT_EQ(Names(output), outputNames);
  EXPECT_EQ(Names(work), workNames);
  EXPECT_EQ(test::Changes(inputs, test::Snapshot(input)), test::kNoChanges);
  EXPECT_EQ(test::ReadFile(output / "Working.dbf"), "mine too");
  EXPECT_EQ(test::ReadFile(output / "RVXFlow-appending.dbf"), "and mine");
  EXPECT_TRUE(Rows(work / "RVXMetadata.dbf").empty());
  EXPECT_EQ(test::ReadFile(output / "RVXFlow.dbf").back(), '\x1A');  // the end-of-file mark
}

TEST_F(TablePhaseTest, AFailureNamesItsCauseAndLeavesEachTableWholeWithNothingBehind) {
  const auto flow = test::ColumnsOf(schema::FindTable(layout, "RVXFlow"));
  auto extra = flow;
  extra.push_back({"Extra", 'N', 5, 0});
  auto wider = flow;
  wider.back().width = 2;  // HasGeo, 1 wide in the target
  struct Case {
    const char* name;
    std::string source;  // W2's RVXFlow.dbf; none: the target is made read-only
    const char* says;
    const char* alsoSays;
    bool keepsW1;  // W1's append stays in RVXFlow; else RVXFlow stays as it was
  };
  const std::vector<Case> cases = {
      {"source field the target lacks",
       test::DbfBytes(extra, {{{"3", "4", "", "", "", "", "", "1"}}}),
       "Field \"Extra\" is not a field of table RVXFlow", "procedure AppendTable", true},
      {"damaged source", test::DbfBytes(flow, {}).substr(0, 50), "W2/RVXFlow.dbf", "", true},
      {"value too long half-way through an append",
       test::DbfBytes(wider, {Flow("3", "4"), {{"5", "6", "", "", "", "", "ab"}}}), "Row 2 of",
       "\"HasGeo\" (String 1) cannot hold \"ab\"", true},
      {"read-only target", "", "read-only", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const fs::path& folder : {input, output}) fs::remove_all(folder);
    TwoFlowWorkspaces();
    if (c.source.empty())
      ::chmod((output / "RVXFlow.dbf").c_str(), 0444);
    else
      test::WriteFile(input / "W2/RVXFlow.dbf", c.source);
    const auto names = Names(output);
    try {
      Run({{"RVXStatus", false}, {"RVXFlow", false}});
      ADD_FAILURE() << "no error";
    } catch (const ReportedError& e) {
      for (const char* says : {c.says, c.alsoSays})
        EXPECT_NE(e.Report().find(says), std::string::npos) << says << " not in " << e.Report();
    }
    ::chmod((output / "RVXFlow.dbf").c_str(), 0644);
    std::vector<std::string> rows = {"9|9"};
    if (c.keepsW1) rows.push_back("1|2");
    EXPECT_EQ(Rows(output / "RVXFlow.dbf"), rows);
    EXPECT_EQ(Rows(output / "RVXStatus.dbf"), (std::vector<std::string>{"1|ok"}));
    EXPECT_EQ(Names(output), names);
    EXPECT_EQ(Names(work), std::vector<std::string>{});
  }
}

TEST_F(TablePhaseTest, CancelStopsBetweenWorkspacesKeepingTheAppendsDone) {
  TwoFlowWorkspaces();
  feedback.cancelAfterChecks = 2;  // before the table, before W1, then before W2
  EXPECT_THROW(Run({{"RVXFlow", false}, {"RVXStatus", false}}), RunCancelled);
  EXPECT_EQ(Rows(output / "RVXFlow.dbf"), (std::vector<std::string>{"9|9", "1|2"}));
  EXPECT_TRUE(Rows(output / "RVXStatus.dbf").empty());
  EXPECT_EQ(Names(work), std::vector<std::string>{});
}

}  // namespace
}  // namespace rivanet
