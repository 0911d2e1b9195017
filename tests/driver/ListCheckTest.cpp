#include <gtest/gtest.h>

#include "driver/ListCheck.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunContext.h"
#include "support/RecordingFeedback.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::LogMessages;
using test::MakeWorkspace;
using test::RecordingFeedback;
using test::TempDir;
using test::WriteFile;

class ListCheckTest : public test::RunFixture {
 protected:
  std::optional<MosaicInputs> Check(const std::string& listContent, bool interactive = false) {
    WriteFile(list, listContent);
    return CheckWorkspaceList(Context(interactive), input, list);
  }

  const fs::path& input = f.input;
  const fs::path& list = f.list;
};

TEST_F(ListCheckTest, BuildsTheFourMosaicListsInListOrder) {
  MakeWorkspace(input, "A");
  MakeWorkspace(input, "B;C");  // a ";" in a folder name is just a character
  MakeWorkspace(input, "C");
  const auto inputs = Check("B;C\r\n  A \r\nC\r\n");
  ASSERT_TRUE(inputs);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"cat", "drainage/cat"},
      {"elev_cm", "elev_unit/elev_cm"},
      {"fac", "fac_fdr_unit/fac"},
      {"fdr", "fac_fdr_unit/fdr"}};
  ASSERT_EQ(inputs->grids.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(inputs->grids[i].grid, expected[i].first);
    const std::vector<fs::path> paths = {input / "B;C" / expected[i].second, input / "A" / expected[i].second,
                                         input / "C" / expected[i].second};
    EXPECT_EQ(inputs->grids[i].paths, paths);
  }
  EXPECT_EQ(inputs->workspaceCount, 3);
  EXPECT_FALSE(fs::exists(f.app / "Active.log"));  // a passing check logs nothing
}

TEST_F(ListCheckTest, GridFoldersAreFoundWhateverTheirLetterCase) {
  fs::create_directories(input / "A/Drainage/Cat");
  fs::create_directories(input / "A/Elev_Unit/ELEV_CM");
  fs::create_directories(input / "A/FAC_FDR_UNIT/fac");
  fs::create_directories(input / "A/FAC_FDR_UNIT/Fdr");
  MakeWorkspace(input, "B");
  EXPECT_TRUE(Check("a\nB\n"));
}

TEST_F(ListCheckTest, FirstMissingGridFailsTheCheckBoxBeforeLogLine) {
  MakeWorkspace(input, "A");
  MakeWorkspace(input, "B", {}, {"fac_fdr_unit/fdr"});
  MakeWorkspace(input, "C", {}, {"drainage/cat"});  // never examined
  EXPECT_FALSE(Check("A\nB\nC\n", /*interactive=*/true));
  const std::string message = "Error: The " + (input / "B").string() + "/fac_fdr_unit/fdr is missing.";
  EXPECT_EQ(feedback.Boxes(), std::vector<std::string>{message});
  EXPECT_EQ(Log(), std::vector<std::string>{message});
}

TEST_F(ListCheckTest, EachGridHasItsOwnMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"drainage/cat", "/drainage/cat is missing."},
      {"elev_unit/elev_cm", "/elev_unit/elev_cm is missing."},
      {"fac_fdr_unit/fac", "/fac_fdr_unit/fac is missing."},
  };
  for (const auto& [grid, suffix] : cases) {
    fs::remove_all(input);
    fs::remove(f.app / "Active.log");
    MakeWorkspace(input, "A", {}, {grid});
    MakeWorkspace(input, "B");
    EXPECT_FALSE(Check("A\nB\n"));
    EXPECT_EQ(Log(), std::vector<std::string>{"Error: The " + (input / "A").string() + suffix});
    EXPECT_TRUE(feedback.Boxes().empty());  // batch: no box
  }
}

TEST_F(ListCheckTest, OneOrFewerWorkspacesFail) {
  MakeWorkspace(input, "A");
  MakeWorkspace(input, "B");
  for (const char* content : {"A\n\nB\n", "", "\nA\nB\n", "   \r\nA\r\n", "A"}) {
    fs::remove(f.app / "Active.log");
    EXPECT_FALSE(Check(content)) << content;
    EXPECT_EQ(Log(), std::vector<std::string>{"Error: There was one or fewer entries in " +
                                              list.string()});
  }
}

TEST_F(ListCheckTest, NameThatCannotBeAFolderIsReportedMissing) {
  MakeWorkspace(input, "A");
  const std::string longName(10000, 'x');
  EXPECT_FALSE(Check("A\n" + longName + "\n"));
  EXPECT_EQ(Log(), std::vector<std::string>{"Error: The " + (input / longName).string() +
                                            "/drainage/cat is missing."});
}

TEST_F(ListCheckTest, WorkspaceCountOverflowIsAnError) {
  MakeWorkspace(input, "A");
  std::string content;
  for (int i = 0; i < 32767; ++i) content += "A\n";
  EXPECT_EQ(Check(content)->workspaceCount, 32767);
  try {
    Check(content + "A\n");
    FAIL() << "the 32768th workspace must overflow the count";
  } catch (const AppError& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
    EXPECT_NE(e.Description().find(list.string()), std::string::npos);
  }
}

}  // namespace
}  // namespace rivanet
