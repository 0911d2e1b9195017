#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "driver/ProcessWS.h"
#include "platform/Error.h"
#include "runctl/ErrorReport.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::MakeWorkspace;
using test::ReadFile;
using test::RunFolders;
using test::WriteFile;

// One run in its own folders: workspaces A and B listed in input/list.txt, and an output
// folder holding an earlier result and a file of the user's.
struct AppendRun : test::RunSetup {
  AppendRun() {
    // These workspaces hold no feature classes: the feature class phase, which its own tests
    // cover, has nothing to do here and only logs its time.
    layout.featureSteps.clear();
    MakeWorkspace(f.input, "A", {"readme.txt", "shared.txt"});
    MakeWorkspace(f.input, "B", {"shared.txt"});
    WriteFile(f.list, "A\r\nB\r\n");
    WriteFile(f.output / "hydrography/RVXLine.shp", "earlier features");
    WriteFile(f.output / "elev_unit/elev_cm/w001001.adf", "earlier grid");
    WriteFile(f.output / "RVXFlow.dbf", "earlier rows");
    WriteFile(f.output / "mine.txt", "the user's");
  }
  RunStatus Go(bool interactive = false) {
    return ProcessWS(Context(interactive), f.input, f.output, f.list);
  }
  // Everything under the test folder but the log and its copy.
  test::Tree Tree() const {
    const std::string app = f.app.lexically_relative(dir.Path()).string();
    return test::Snapshot(dir.Path(), {app + "/Active.log", app + "/RivanetAppend.log"});
  }
  std::string Summary(const char* status) const {
    return VersionText() + " processed " + f.list.string() +
           " and ran for M minutes and S seconds and " + status;
  }
};

std::string Skeleton(const std::string& item) { return ReadFile(test::ShippedSkeleton() / item); }

// A successful run writes only into its output: the input folder that holds it, and files of
// the user's behind links in the output or in place of the Work folder, stay as they were.
TEST(ProcessWSTest, SuccessfulRunWritesOnlyItsOutputAndLooksInOrder) {
  AppendRun run;
  MakeWorkspace(run.f.input, "C", {});  // no text files to contribute
  WriteFile(run.f.list, "A\r\nB\r\nC\r\n");
  // Users keep merged results beside the workspaces in the input folder.
  fs::rename(run.f.output, run.f.input / "merged");
  const fs::path out = run.f.output = run.f.input / "merged";
  const fs::path mine = run.dir / "mine";
  WriteFile(mine / "rows.dbf", "my rows");
  WriteFile(mine / "notes.txt", "my notes");
  WriteFile(mine / "folder/RVXLine.shp", "my lines");
  WriteFile(mine / "work/RVXFlow.dbf", "my rows");
  fs::remove(out / "RVXFlow.dbf");
  fs::remove_all(out / "hydrography");
  fs::create_symlink(mine / "rows.dbf", out / "RVXFlow.dbf");          // skeleton copy
  fs::create_symlink(mine / "notes.txt", out / "shared.txt");          // closing pass
  fs::create_directory_symlink(mine / "folder", out / "hydrography");  // deleted, replaced
  fs::create_directory_symlink(mine / "work", run.f.app / "Work");     // filled, then deleted
  const auto inputs = test::Snapshot(run.f.input, {"merged"});
  const auto mineBefore = test::Snapshot(mine);

  EXPECT_EQ(run.Go(/*interactive=*/true), RunStatus::Succeeded);
  EXPECT_EQ(test::Changes(inputs, test::Snapshot(run.f.input, {"merged"})), test::kNoChanges);
  EXPECT_EQ(test::Changes(mineBefore, test::Snapshot(mine)), test::kNoChanges);
  EXPECT_EQ(ReadFile(out / "readme.txt"), "A:readme.txt");
  EXPECT_EQ(ReadFile(out / "shared.txt"), "B:shared.txt");  // the later one wins
  EXPECT_EQ(ReadFile(out / "RVXFlow.dbf"), Skeleton("RVXFlow.dbf"));
  EXPECT_FALSE(fs::is_symlink(out / "RVXFlow.dbf"));
  EXPECT_FALSE(fs::is_symlink(out / "hydrography"));
  EXPECT_EQ(ReadFile(out / "hydrography/RVXLine.shp"), Skeleton("hydrography/RVXLine.shp"));

  const auto& e = run.feedback.events;
  ASSERT_FALSE(e.empty());
  EXPECT_EQ(e[0], "running");
  EXPECT_EQ(std::count(e.begin(), e.end(), "idle"), 1);
  EXPECT_LT(std::find(e.begin(), e.end(), "idle"),
            std::find(e.begin(), e.end(), "status:Finished running RivanetAppend 1.1.7"));
}

void SetSkeleton(const RunFolders& f, const std::string& value) {
  // Section and key are found whatever their letter case, blanks around "=" aside.
  WriteFile(f.app / "RivanetAppend.ini", "[working]\r\nSKELPATH = " + value + "\r\n");
}

// "{app}", "{input}", "{output}", "{list}" in `text` stand for the run's folders.
// The run's list, written anew at `path`.
void MoveList(RunFolders& f, const fs::path& path) {
  f.list = path;
  WriteFile(f.list, "A\r\nB\r\n");
}

std::string Expand(std::string text, const RunFolders& f) {
  const std::pair<const char*, const fs::path&> names[] = {
      {"{app}", f.app}, {"{input}", f.input}, {"{output}", f.output}, {"{list}", f.list}};
  for (const auto& [name, path] : names)
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name))
      text.replace(at, std::strlen(name), path.string());
  return text;
}

// Every check that can fail a run comes before anything is deleted or written: the folders'
// places (real paths, links and letter case resolved), the settings file and the skeleton's
// contents, the workspace list. Each case arranges the folders of a fresh run.
TEST(ProcessWSTest, FailedChecksTellWhyAndLeaveEverythingAlone) {
  struct Case {
    const char* name;
    std::function<void(RunFolders&)> arrange;
    std::string message;
  };
  using F = RunFolders&;
  const Case cases[] = {
      {"output is the input folder", [](F f) { f.output = f.input; },
       "Error: The output folder {input} is the input folder {input}."},
      {"output lies inside a workspace", [](F f) { f.output = f.input / "B/drainage"; },
       "Error: The output folder {output} lies inside the workspace {input}/B."},
      {"output holds the input folder",
       [](F f) {
         fs::remove_all(f.output / "hydrography");
         fs::rename(f.input, f.output / "hydrography");
         f.input = f.output / "hydrography";
         f.list = f.input / "list.txt";
       },
       "Error: The output folder {output} contains the input folder {input}."},
      {"output is the application folder", [](F f) { f.output = f.app; },
       "Error: The output folder {app} is the application folder {app}."},
      {"output holds the application folder",
       [](F f) {
         fs::rename(f.app, f.output / "app");
         f.app = f.output / "app";
       },
       "Error: The output folder {output} contains the application folder {app}."},
      {"output is the skeleton", [](F f) { f.output = f.app / "Skel"; },
       "Error: The output folder {output} is the skeleton folder {app}/Skel."},
      {"output lies inside the skeleton", [](F f) { f.output = f.app / "Skel/hydrography"; },
       "Error: The output folder {output} lies inside the skeleton folder {app}/Skel."},
      {"output holds the skeleton",
       [](F f) {
         fs::rename(f.app / "Skel", f.output / "skel");
         SetSkeleton(f, "../output/skel");
       },
       "Error: The output folder {output} contains the skeleton folder {app}/../output/skel."},
      {"output is the Work folder, which then stays",
       [](F f) {
         WriteFile(f.app / "Work/leftover.dbf", "x");
         f.output = f.app / "Work";
       },
       "Error: The output folder {output} is the Work folder {app}/Work."},
      // (Letter case and links are resolved by the file system layer, which its own test goes
      // through; these cases show the checks compare folders through it.)
      {"output is a workspace through a link",
       [](F f) {
         f.output = f.input.parent_path() / "link";
         fs::create_directory_symlink(f.input / "A", f.output);
       },
       "Error: The output folder {output} is the workspace {input}/A."},
      {"input is the Work folder in other letter case",
       [](F f) {
         fs::rename(f.input, f.app / "work");
         f.input = f.app / "work";
         f.list = f.input / "list.txt";
       },
       "Error: The input folder {input} is the Work folder {app}/Work."},
      {"skeleton is the application folder", [](F f) { SetSkeleton(f, "."); },
       "Error: The skeleton folder {app}/. is the application folder {app}."},
      {"skeleton holds the application folder", [](F f) { SetSkeleton(f, ".."); },
       "Error: The skeleton folder {app}/.. contains the application folder {app}."},
      {"empty SkelPath", [](F f) { SetSkeleton(f, ""); },
       "The skeleton folder is missing: the settings file {app}/RivanetAppend.ini "
       "gives no SkelPath in its [Working] section"},
      {"no such skeleton folder", [](F f) { SetSkeleton(f, "Gone"); },
       "The {app}/Gone folder is missing"},
      {"a compression level that is no level",
       [](F f) {
         WriteFile(f.app / "RivanetAppend.ini",
                   "[Working]\r\nSkelPath=Skel\r\nGridCompressionLevel=fast\r\n");
       },
       "Error: GridCompressionLevel=fast in {app}/RivanetAppend.ini is no whole number from 1 "
       "to 9"},
      {"skeleton without hydrography", [](F f) { fs::remove_all(f.app / "Skel/hydrography"); },
       "Error: The skeleton folder {app}/Skel/hydrography is missing."},
      {"a feature class without its index",
       [](F f) { fs::remove(f.app / "Skel/Drainage/catchment.shx"); },
       "Error: The skeleton file {app}/Skel/Drainage/catchment.shx is missing."},
      // The list is read again after the output is prepared, and a link in a workspace may
      // lead into what the preparation deletes.
      {"list file inside an output folder the run replaces",
       [](F f) { MoveList(f, f.output / "hydrography/list.txt"); },
       "Error: The list file {list} lies inside the output's workspace folder "
       "{output}/hydrography."},
      {"list file inside the Work folder, which then stays",
       [](F f) { MoveList(f, f.app / "Work/list.txt"); },
       "Error: The list file {list} lies inside the Work folder {app}/Work."},
      {"list file a workspace's text file would replace",
       [](F f) { MoveList(f, f.output / "Shared.txt"); },
       "Error: The list file {list} would be replaced by {input}/A/shared.txt, a text file "
       "the run copies into the output folder."},
      {"a workspace's grid folder linked into the output",
       [](F f) {
         fs::create_directories(f.output / "drainage");
         fs::rename(f.input / "B/Drainage/cat", f.output / "drainage/cat");
         fs::create_directory_symlink(f.output / "drainage/cat", f.input / "B/Drainage/cat");
       },
       "Error: The grid folder {input}/B/drainage/cat lies inside the output folder {output}."},
      {"list ends after one workspace", [](F f) { WriteFile(f.list, "A\r\n\r\nB\r\n"); },
       "Error: There was one or fewer entries in {list}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AppendRun run;
    c.arrange(run.f);
    const auto before = run.Tree();
    const std::string message = Expand(c.message, run.f);
    EXPECT_EQ(run.Go(/*interactive=*/true), RunStatus::Failed);
    EXPECT_EQ(run.Log(),
              (std::vector<std::string>{
                  message, run.Summary("Failed"),
                  "RivanetAppend encountered data errors during processing of input file - " +
                      run.f.list.string()}));
    EXPECT_EQ(run.feedback.Boxes(),
              (std::vector<std::string>{message,
                                        "RivanetAppend encountered data errors during processing.  "
                                        "Please check the log file (RivanetAppend.log).",
                                        "Finished running " + run.f.list.string()}));
    EXPECT_EQ(test::Changes(before, run.Tree()), test::kNoChanges);
  }
}

// What stands in the output where the preparation puts a folder or a file, and that it could
// not replace, ends the run through an error report before anything is deleted.
TEST(ProcessWSTest, WhatThePreparationCannotReplaceIsFoundBeforeAnythingIsDeleted) {
  const std::pair<const char*, std::function<void(RunFolders&)>> cases[] = {
      {"Not a directory: {output}/elev_unit",
       [](RunFolders& f) {
         fs::remove_all(f.output / "elev_unit");
         WriteFile(f.output / "elev_unit", "a file of the user's");
       }},
      {"Is a directory: {output}/RVXStatus.dbf",
       [](RunFolders& f) { fs::create_directory(f.output / "RVXStatus.dbf"); }},
      {"Not a directory: {output}/Drainage",
       [](RunFolders& f) { WriteFile(f.output / "Drainage", "a file of the user's"); }},
  };
  for (const auto& [says, arrange] : cases) {
    SCOPED_TRACE(says);
    AppendRun run;
    arrange(run.f);
    const auto before = run.Tree();
    const std::string expected = Expand(says, run.f);
    try {
      run.Go();
      ADD_FAILURE() << "no error";
    } catch (const ReportedError& e) {
      EXPECT_NE(e.Report().find(expected), std::string::npos) << e.Report();
    }
    EXPECT_EQ(test::Changes(before, run.Tree()), test::kNoChanges);
  }
}

TEST(ProcessWSTest, UnwritableLogIsFoundBeforeTheOutputIsPrepared) {
  AppendRun run;
  fs::create_directory(run.f.app / "Active.log");  // cannot be appended to
  const auto before = run.Tree();
  EXPECT_THROW(run.Go(), LogWriteFailure);
  EXPECT_EQ(test::Changes(before, run.Tree()), test::kNoChanges);
}

// A cancel right after the output preparation shows what the preparation made: the earlier
// result replaced by the skeleton, whatever its letter case, and the user's files kept. (The
// batch and window tests cancel before the output is touched.)
TEST(ProcessWSTest, CancelStopsAtTheNextSafePointAndClosesAsCancelled) {
  AppendRun run;
  const fs::path& out = run.f.output;
  // A workspace folder spelled unlike both the skeleton and the layout.
  WriteFile(out / "DRAINAGE/cat/cat.tif", "earlier grid");
  WriteFile(out / "hydrologicunits/old.shp", "earlier");
  WriteFile(out / "other/keep.dat", "the user's");
  WriteFile(run.f.app / "Work/leftover.dbf", "x");
  WriteFile(run.f.app / "Temp/leftover.tif", "x");
  run.feedback.cancelAfterChecks = 1;
  EXPECT_EQ(run.Go(), RunStatus::Cancelled);
  EXPECT_EQ(run.Log().back(), run.Summary("Cancelled"));
  EXPECT_FALSE(fs::exists(run.f.app / "Work"));
  EXPECT_FALSE(fs::exists(run.f.app / "Temp"));

  EXPECT_FALSE(fs::exists(out / "DRAINAGE"));
  EXPECT_EQ(ReadFile(out / "Drainage/catchment.shp"), Skeleton("Drainage/catchment.shp"));
  EXPECT_TRUE(fs::is_empty(out / "elev_unit"));
  EXPECT_EQ(ReadFile(out / "hydrography/RVXLine.shp"), Skeleton("hydrography/RVXLine.shp"));
  EXPECT_FALSE(fs::exists(out / "hydrologicunits/old.shp"));
  EXPECT_EQ(ReadFile(out / "RVXFlow.dbf"), Skeleton("RVXFlow.dbf"));
  EXPECT_EQ(ReadFile(out / "mine.txt"), "the user's");
  EXPECT_EQ(ReadFile(out / "other/keep.dat"), "the user's");
  EXPECT_FALSE(fs::exists(out / "readme.txt"));  // the closing pass did not run
}

}  // namespace
}  // namespace rivanet
