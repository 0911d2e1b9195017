#include <gtest/gtest.h>

#include <functional>

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
  MakeWorkspace(f.input, "a");    // "A", listed, is taken as it stands; no question of case
  MakeWorkspace(f.input, "B;C");  // a ";" in a folder name is just a character
  // Grid folders (and the files in them) spelled unlike the layout.
  MakeWorkspace(f.input, "C");
  fs::rename(f.input / "C/elev_unit", f.input / "C/Elev_Unit");
  fs::rename(f.input / "C/fac_fdr_unit", f.input / "C/FAC_FDR_UNIT");
  for (const auto& [from, to] : {std::pair{"Drainage/cat", "Drainage/Cat"},
                                 {"Elev_Unit/elev_cm", "Elev_Unit/ELEV_CM"},
                                 {"FAC_FDR_UNIT/fdr", "FAC_FDR_UNIT/Fdr"}})
    fs::rename(f.input / "C" / from, f.input / "C" / to);
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

// The first workspace the run could not use fails the check: a grid folder missing (these
// messages are the run's established ones), a grid the mosaic could not open (found by the
// grid phase, it would cost the output the run had already cleared), a name that a
// case-sensitive file system holds in several letter cases, none of them as listed.
TEST_F(ListCheckTest, FirstWorkspaceTheRunCannotUseFailsTheCheckNamingIt) {
  MakeWorkspace(f.input, "A");
  MakeWorkspace(f.input, "C", {}, {"drainage/cat"});  // never examined
  // A name too long to be a folder is missing like any other.
  const std::string tooLong(10000, 'x');
  const fs::path b = f.input / "B";
  struct Case {
    const char* what;
    std::string name;  // listed between A and C
    std::function<void()> spoil;
    std::string message;  // "{b}" stands for the workspace B
  };
  const Case cases[] = {
      // The first and the last grid of the layout; the check goes through them in one loop.
      {"no catchment grid", "B", [&] { fs::remove_all(b / "Drainage/cat"); },
       "Error: The {b}/drainage/cat is missing."},
      {"no flow direction grid", "B", [&] { fs::remove_all(b / "fac_fdr_unit/fdr"); },
       "Error: The {b}/fac_fdr_unit/fdr is missing."},
      {"a name too long", tooLong, [] {},
       "Error: The " + (f.input / tooLong / "drainage/cat").string() + " is missing."},
      {"a grid folder without a grid", "B",
       [&] {
         fs::remove(b / "fac_fdr_unit/fac/fac.tif");
         WriteFile(b / "fac_fdr_unit/fac/readme.txt", "no grid here");
       },
       "Error: The {b}/fac_fdr_unit/fac is no grid the run can read: No grid in folder (neither "
       "fac.tif nor hdr.adf): {b}/fac_fdr_unit/fac."},
      {"an empty grid file", "B", [&] { fs::resize_file(b / "elev_unit/elev_cm/elev_cm.tif", 0); },
       // GDAL's own words follow.
       "Error: The {b}/elev_unit/elev_cm is no grid the run can read: Cannot open grid: *"},
      {"a workspace in two letter cases, neither as listed", "Unit_B",
       [&] {
         fs::rename(b, f.input / "unit_B");
         MakeWorkspace(f.input, "UNIT_B");
       },
       "Error: The name {input}/Unit_B matches {input}/UNIT_B and {input}/unit_B, which differ "
       "only in letter case."},
      {"a feature class folder in two letter cases", "B",
       [&] {
         fs::rename(b / "hydrography", b / "Hydrography");
         fs::create_directory(b / "HYDROGRAPHY");
       },
       "Error: The name {b}/hydrography matches {b}/HYDROGRAPHY and {b}/Hydrography, which "
       "differ only in letter case."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& entry : fs::directory_iterator(f.input))
      if (entry.path().filename() != "A" && entry.path().filename() != "C")
        fs::remove_all(entry.path());
    fs::remove(f.app / "Active.log");
    feedback.events.clear();
    MakeWorkspace(f.input, "B");
    c.spoil();
    EXPECT_FALSE(Check("A\n" + c.name + "\nC\n", /*interactive=*/true));
    std::string message = c.message;
    for (const auto& [name, path] : {std::pair{std::string("{b}"), b}, {"{input}", f.input}})
      for (auto at = message.find(name); at != std::string::npos; at = message.find(name))
        message.replace(at, name.size(), path.string());
    std::vector<std::string> logged = Log();
    if (message.ends_with("*")) {  // the message starts so
      message.pop_back();
      for (std::string& line : logged) line = line.substr(0, message.size());
    }
    EXPECT_EQ(logged, std::vector<std::string>{message});
    EXPECT_EQ(feedback.Boxes().size(), 1u);  // one box, the message logged
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
