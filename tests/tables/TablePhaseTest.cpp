// The table phase on small workspaces: the groups and their rules, what the user sees, and what
// a bad table, a read-only target or a cancel leaves behind.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "platform/files/FileSystem.h"
#include "platform/gis/DbfReader.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "support/DbfFile.h"
#include "support/RecordingFeedback.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"
#include "tables/TablePhase.h"
#include "workspace/Schema.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::DbfRecord;
using test::WriteLayoutTable;

DbfRecord Flow(const std::string& from, const std::string& to) {
  return {{from, to, "", "", "", "", ""}};
}
DbfRecord Meta(const std::string& duuid, const std::string& who) {
  return {{duuid, "20200102", who, "", ""}};
}
DbfRecord Cross(const std::string& comid, const std::string& code) {
  return {{comid, code, "", "", "", "", ""}};
}

std::string Text(const gis::DbfValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  return std::holds_alternative<double>(v) ? "real" : "";
}

// Every row of a table as its first `columns` values joined by '|'.
std::vector<std::string> Rows(const fs::path& file, std::size_t columns = 2) {
  gis::DbfReader reader(file);
  std::vector<std::string> rows;
  gis::DbfRow row;
  while (reader.Next(row)) {
    std::string line;
    for (std::size_t i = 0; i < columns; ++i) {
      if (i > 0) line += '|';
      line += Text(row[i]);
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

class TablePhaseTest : public ::testing::Test {
 protected:
  TablePhaseTest() {
    for (const auto& folder : {input, output, work}) fs::create_directories(folder);
  }

  // The phase over the workspaces of `list` with the given run order, the layout's tables.
  void Run(std::vector<schema::AppendStep> steps) {
    layout.tableSteps = std::move(steps);
    ActivityLog log(*files, app, false);
    RunContext ctx{app, false, *files, log, feedback, layout};
    AppendTables(ctx, input, output, work, list);
  }
  std::vector<std::string> Log() const {
    std::vector<std::string> lines = test::LogMessages(app / "Active.log");
    std::erase_if(lines, [](const auto& l) { return l.find(" took ") != std::string::npos; });
    return lines;
  }
  std::vector<std::string> Statuses() const {
    std::vector<std::string> statuses;
    for (const auto& e : feedback.events)
      if (e.rfind("status:", 0) == 0) statuses.push_back(e.substr(7));
    return statuses;
  }
  // Both workspaces' RVXFlow tables and empty targets for it, for the failure cases.
  void TwoFlowWorkspaces() {
    WriteLayoutTable(output, "RVXFlow", {Flow("9", "9")});
    WriteLayoutTable(input / "W1", "RVXFlow", {Flow("1", "2")});
    WriteLayoutTable(input / "W2", "RVXFlow", {Flow("3", "4"), Flow("5", "6")});
    WriteLayoutTable(output, "RVXStatus");
    WriteLayoutTable(input / "W1", "RVXStatus", {{{"1", "ok", "", ""}}});
    test::WriteFile(list, "W1\nW2\n");
  }

  test::TempDir dir;
  // Folder names with blanks, brackets, semicolons and quotes reach no SQL text.
  fs::path app = dir / "app";
  fs::path input = dir / "in [put];x";
  fs::path output = dir / "out a]b;c'd e";
  fs::path work = app / "Work";
  fs::path list = input / "list.txt";
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  test::RecordingFeedback feedback;
  schema::Schema layout = schema::ShippedSchema();
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
  // W2 shares a row of each table with W1, in a Latin-1 table, named in other letter case.
  test::WriteDbf(input / "W2/rvxflow.DBF", test::ColumnsOf(schema::FindTable(layout, "RVXFlow")),
                 {Flow("1", "2")});
  test::WriteDbf(input / "W2/RVXMetadata.dbf",
                 test::ColumnsOf(schema::FindTable(layout, "RVXMetadata")),
                 {Meta("5", "b"), Meta("7", "Rivi\xE8re")}, "ISO-8859-1");
  WriteLayoutTable(input / "W2", "RVXReachCrossReference", {Cross("10", "x"), Cross("12", "z")});
  // Files of the user's that the old engine's scratch name would have hit.
  test::WriteFile(input / "W1/Working.dbf", "mine");
  test::WriteFile(output / "Working.dbf", "mine too");
  test::WriteFile(list, "W1\nW2\n");
  const auto outputNames = Names(output);
  const auto workNames = Names(work);

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

  EXPECT_EQ(
      Statuses(),
      (std::vector<std::string>{
          "Appending RVXFlow for Workspace: W1", "Appending RVXFlow for Workspace: W2",
          "Appending RVXMetadata for Workspace: W1", "Appending RVXMetadata for Workspace: W2",
          "Appending RVXStatus for Workspace: W1",
          "Appending RVXReachCrossReference for Workspace: W1",
          "Appending RVXReachCrossReference for Workspace: W2",
          "Appending RVXMetadata for Workspace: W1", "Appending RVXMetadata for Workspace: W2",
          "Appending RVXReachCrossReference", "Appending RVXMetadata"}));
  EXPECT_EQ(
      Log(),
      (std::vector<std::string>{
          "RVXFlow: 4 rows read from 2 workspaces, 3 appended, 1 passed over as repeated rows",
          "RVXMetadata: 5 rows read from 2 workspaces, 3 appended, 2 passed over for DUUID 0, "
          "0 passed over as repeated rows",
          "RVXStatus: 1 row read from 1 workspace, 1 appended, 0 passed over as repeated rows",
          "RVXReachCrossReference into the Work folder: 4 rows read from 2 workspaces, 4 "
          "appended, 0 passed over as repeated rows",
          "RVXMetadata into the Work folder: 5 rows read from 2 workspaces, 3 appended, 2 "
          "passed over for DUUID 0, 0 passed over as repeated rows",
          "RVXReachCrossReference from the Work folder: 4 rows read, 3 appended, 1 passed "
          "over as repeated rows",
          "RVXMetadata from the Work folder: 3 rows read, 2 appended, 0 passed over for DUUID "
          "0, 1 passed over as repeated rows"}));

  // Nothing left behind, nothing of the user's touched, the Work folder's tables unchanged.
  EXPECT_EQ(Names(output), outputNames);
  EXPECT_EQ(Names(work), workNames);
  EXPECT_EQ(test::ReadFile(input / "W1/Working.dbf"), "mine");
  EXPECT_EQ(test::ReadFile(output / "Working.dbf"), "mine too");
  EXPECT_TRUE(Rows(work / "RVXMetadata.dbf").empty());
}

TEST_F(TablePhaseTest, OnlyTheTableNamedExactlyRVXMetadataLosesItsDuuidZeroRows) {
  for (const char* name : {"RVXMetadata", "rvxmetadata"}) {
    WriteLayoutTable(output, "RVXMetadata");
    WriteLayoutTable(input / "W1", "RVXMetadata", {Meta("0", "a"), Meta("5", "b"), Meta("0", "c")});
    test::WriteFile(list, "W1\n");
    Run({{name, false}});
    EXPECT_EQ(Rows(output / "RVXMetadata.dbf").size(), name[0] == 'R' ? 1u : 3u) << name;
  }
}

TEST_F(TablePhaseTest, EmptyAndLargeTablesAppendInFull) {
  WriteLayoutTable(output, "RVXFlow");
  WriteLayoutTable(input / "W1", "RVXFlow");
  std::vector<DbfRecord> many;
  many.reserve(100001);
  for (int i = 0; i < 100000; ++i) many.push_back(Flow(std::to_string(i), std::to_string(i % 7)));
  many.push_back(Flow("0", "0"));  // the one repeat
  WriteLayoutTable(input / "W2", "RVXFlow", many);
  test::WriteFile(list, "W1\nW2\n");
  Run({{"RVXFlow", false}});
  const std::vector<std::string> rows = Rows(output / "RVXFlow.dbf");
  ASSERT_EQ(rows.size(), 100000u);
  EXPECT_EQ(rows.front(), "0|0");
  EXPECT_EQ(rows.back(), "99999|4");
  EXPECT_EQ(Log().front(),
            "RVXFlow: 100001 rows read from 2 workspaces, 100000 appended, 1 passed over as "
            "repeated rows");
}

TEST_F(TablePhaseTest, AFailureNamesItsCauseAndLeavesEachTableWholeWithNothingBehind) {
  const auto flowColumns = test::ColumnsOf(schema::FindTable(layout, "RVXFlow"));
  auto extra = flowColumns;
  extra.push_back({"Extra", 'N', 5, 0});
  auto wider = flowColumns;
  wider.back().width = 2;  // HasGeo, 1 wide in the target
  struct Case {
    const char* name;
    std::function<void()> spoil;
    std::vector<const char*> reportSays;
    std::vector<std::string> flowAfter;  // RVXFlow once the run has stopped
  };
  const std::vector<std::string> before = {"9|9"};
  const std::vector<std::string> withW1 = {"9|9", "1|2"};
  const std::vector<Case> cases = {
      {"source field the target lacks",
       [&] {
         test::WriteDbf(input / "W2/RVXFlow.dbf", extra, {{{"3", "4", "", "", "", "", "", "1"}}});
       },
       {"\"Extra\"", "RVXFlow", "procedure AppendTable"},
       withW1},
      {"damaged source",
       [&] {
         test::WriteFile(input / "W2/RVXFlow.dbf", test::DbfBytes(flowColumns, {}).substr(0, 50));
       },
       {"W2/RVXFlow.dbf"},
       withW1},
      {"value too long half-way through an append",
       [&] {
         test::WriteDbf(input / "W2/RVXFlow.dbf", wider,
                        {Flow("3", "4"), {{"5", "6", "", "", "", "", "ab"}}});
       },
       {"Row 2 of", "HasGeo", "\"ab\""},
       before},
      {"read-only target",
       [&] { ::chmod((output / "RVXFlow.dbf").c_str(), 0444); },
       {"read-only"},
       before},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(output);
    fs::remove_all(input);
    fs::create_directories(output);
    TwoFlowWorkspaces();
    c.spoil();
    const auto names = Names(output);
    try {
      Run({{"RVXStatus", false}, {"RVXFlow", false}});
      ADD_FAILURE() << "no error";
    } catch (const ReportedError& e) {
      for (const char* says : c.reportSays)
        EXPECT_NE(e.Report().find(says), std::string::npos) << says << " not in " << e.Report();
    }
    ::chmod((output / "RVXFlow.dbf").c_str(), 0644);
    EXPECT_EQ(Rows(output / "RVXFlow.dbf"), c.flowAfter);
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
