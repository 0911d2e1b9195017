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

// The list is read line by line (CR LF or LF), blanks trimmed, an editor's byte-order mark
// skipped; duplicates are kept (the overflow case below).
TEST_F(ListCheckTest, BuildsTheMosaicListsInListOrderWhateverTheLetterCase) {
  MakeWorkspace(f.input, "A");
  MakeWorkspace(f.input, "B;C");  // a ";" in a folder name is just a character
  for (const char* grid :
       {"Drainage/Cat", "Elev_Unit/ELEV_CM", "FAC_FDR_UNIT/fac", "FAC_FDR_UNIT/Fdr"})
    fs::create_directories(f.input / "C" / grid);
  const auto inputs = Check("\357\273\277B;C\r\n  A \nc\r\n");  // the mark: EF BB BF
  ASSERT_TRUE(inputs);
  const std::vector<fs::path> workspaces = {f.input / "B;C", f.input / "A", f.input / "c"};
  EXPECT_EQ(inputs->workspaces, workspaces);
  const char* grids[][2] = {{"cat", "drainage/cat"},
                            {"elev_cm", "elev_unit/elev_cm"},
                            {"fac", "fac_fdr_unit/fac"},
                            {"fdr", "fac_fdr_unit/fdr"}};
  ASSERT_EQ(inputs->grids.size(), std::size(grids));
  for (std::size_t i = 0; i < std::size(grids); ++i) {
    EXPECT_EQ(inputs->grids[i].grid, grids[i][0]);
    std::vector<fs::path> paths;
    for (const auto& workspace : workspaces) paths.push_back(workspace / grids[i][1]);
    EXPECT_EQ(inputs->grids[i].paths, paths);
  }
  EXPECT_FALSE(fs::exists(f.app / "Active.log"));  // a passing check logs nothing
}

TEST_F(ListCheckTest, FirstMissingGridFailsTheCheckNamingIt) {
  MakeWorkspace(f.input, "A");
  MakeWorkspace(f.input, "C", {}, {"drainage/cat"});  // never examined
  // A name too long to be a folder is missing like any other.
  const std::string tooLong(10000, 'x');
  // The first and the last grid of the layout; the check goes through them in one loop.
  const std::pair<std::string, const char*> cases[] = {
      {"B", "drainage/cat"}, {"B", "fac_fdr_unit/fdr"}, {tooLong, "drainage/cat"}};
  for (const auto& [name, grid] : cases) {
    SCOPED_TRACE(grid);
    fs::remove_all(f.input / "B");
    fs::remove(f.app / "Active.log");
    feedback.events.clear();
    MakeWorkspace(f.input, "B", {}, {grid});
    EXPECT_FALSE(Check("A\n" + name + "\nC\n", /*interactive=*/true));
    const std::string message = "Error: The " + (f.input / name / grid).string() + " is missing.";
    EXPECT_EQ(feedback.Boxes(), std::vector<std::string>{message});
    EXPECT_EQ(Log(), std::vector<std::string>{message});
  }
}

TEST_F(ListCheckTest, UnreadableListOrCountOverflowIsAnErrorNamingTheList) {
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
  fs::remove(f.list);
  try {
    CheckWorkspaceList(Context(false), f.input, f.list);
    FAIL() << "a missing list must be refused";
  } catch (const AppError& e) {
    EXPECT_EQ(e.Number(), ENOENT);
    EXPECT_NE(e.Description().find(f.list.string()), std::string::npos);
  }
}

}  // namespace
}  // namespace rivanet
