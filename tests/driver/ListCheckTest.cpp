#include <gtest/gtest.h>

#include "driver/ListCheck.h"
#include "platform/Error.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::MakeWorkspace;
using test::WriteFile;

class ListCheckTest : public test::RunFixture {
 protected:
  std::optional<MosaicInputs> Check(const std::string& listContent, bool interactive = false) {
    WriteFile(f.list, listContent);
    return CheckWorkspaceList(Context(interactive), f.input, f.list);
  }
};

TEST_F(ListCheckTest, BuildsTheMosaicListsInListOrderWhateverTheLetterCase) {
  MakeWorkspace(f.input, "A");
  MakeWorkspace(f.input, "B;C");  // a ";" in a folder name is just a character
  fs::create_directories(f.input / "C/Drainage/Cat");
  fs::create_directories(f.input / "C/Elev_Unit/ELEV_CM");
  fs::create_directories(f.input / "C/FAC_FDR_UNIT/fac");
  fs::create_directories(f.input / "C/FAC_FDR_UNIT/Fdr");
  const auto inputs = Check("B;C\r\n  A \r\nc\r\n");
  ASSERT_TRUE(inputs);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"cat", "drainage/cat"},
      {"elev_cm", "elev_unit/elev_cm"},
      {"fac", "fac_fdr_unit/fac"},
      {"fdr", "fac_fdr_unit/fdr"}};
  ASSERT_EQ(inputs->grids.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(inputs->grids[i].grid, expected[i].first);
    const std::vector<fs::path> paths = {f.input / "B;C" / expected[i].second,
                                         f.input / "A" / expected[i].second,
                                         f.input / "c" / expected[i].second};
    EXPECT_EQ(inputs->grids[i].paths, paths);
  }
  EXPECT_EQ(inputs->workspaces, (std::vector<fs::path>{f.input / "B;C", f.input / "A", f.input / "c"}));
  EXPECT_EQ(inputs->workspaceCount, 3);
  EXPECT_FALSE(fs::exists(f.app / "Active.log"));  // a passing check logs nothing
}

TEST_F(ListCheckTest, FirstMissingGridFailsTheCheckWithItsOwnMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"drainage/cat", "/drainage/cat is missing."},
      {"elev_unit/elev_cm", "/elev_unit/elev_cm is missing."},
      {"fac_fdr_unit/fac", "/fac_fdr_unit/fac is missing."},
      {"fac_fdr_unit/fdr", "/fac_fdr_unit/fdr is missing."},
  };
  for (const auto& [grid, suffix] : cases) {
    fs::remove_all(f.input);
    fs::remove(f.app / "Active.log");
    feedback.events.clear();
    MakeWorkspace(f.input, "A");
    MakeWorkspace(f.input, "B", {}, {grid});
    MakeWorkspace(f.input, "C", {}, {"drainage/cat"});  // never examined
    EXPECT_FALSE(Check("A\nB\nC\n", /*interactive=*/true));
    const std::string message = "Error: The " + (f.input / "B").string() + suffix;
    EXPECT_EQ(feedback.Boxes(), std::vector<std::string>{message});
    EXPECT_EQ(Log(), std::vector<std::string>{message});
  }
}

TEST_F(ListCheckTest, OneOrFewerWorkspacesFail) {
  MakeWorkspace(f.input, "A");
  MakeWorkspace(f.input, "B");
  // Where the list ends is WorkspaceList's rule, tested there.
  for (const char* content : {"A\n\nB\n", ""}) {
    fs::remove(f.app / "Active.log");
    EXPECT_FALSE(Check(content)) << content;
    EXPECT_EQ(Log(), std::vector<std::string>{"Error: There was one or fewer entries in " +
                                              f.list.string()});
  }
}

TEST_F(ListCheckTest, NameThatCannotBeAFolderIsReportedMissing) {
  MakeWorkspace(f.input, "A");
  const std::string longName(10000, 'x');
  EXPECT_FALSE(Check("A\n" + longName + "\n"));
  EXPECT_EQ(Log(), std::vector<std::string>{"Error: The " + (f.input / longName).string() +
                                            "/drainage/cat is missing."});
}

TEST_F(ListCheckTest, WorkspaceCountOverflowIsAnError) {
  MakeWorkspace(f.input, "A");
  std::string content;
  for (int i = 0; i < 32767; ++i) content += "A\n";
  EXPECT_EQ(Check(content)->workspaceCount, 32767);
  try {
    Check(content + "A\n");
    FAIL() << "the 32768th workspace must overflow the count";
  } catch (const AppError& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
    EXPECT_NE(e.Description().find(f.list.string()), std::string::npos);
  }
}

}  // namespace
}  // namespace rivanet
