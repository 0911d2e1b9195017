#include <gtest/gtest.h>

#include <algorithm>
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
  std::vector<std::string> FailedLog(const std::string& reason) const {
    return {reason, Summary("Failed"),
            "RivanetAppend encountered data errors during processing of input file - " +
                f.list.string()};
  }
};

std::string Skeleton(const std::string& item) { return ReadFile(test::ShippedSkeleton() / item); }

TEST(ProcessWSTest, SuccessfulInteractiveRunLogsAndLooksInOrder) {
  AppendRun run;
  MakeWorkspace(run.f.input, "C", {});  // no text files to contribute
  WriteFile(run.f.list, "A\r\nB\r\nC\r\n");
  EXPECT_EQ(run.Go(/*interactive=*/true), RunStatus::Succeeded);

  const std::string from = " from input file " + run.f.list.string();
  const std::vector<std::string> log = run.Log();
  EXPECT_EQ(test::DriverEntries(log),
            (std::vector<std::string>{VersionText() + " preparing output folder " + run.f.output.string() + from,
                                      VersionText() + " processed folder A" + from,
                                      VersionText() + " processed folder B" + from,
                                      VersionText() + " processed folder C" + from, run.Summary("Succeeded")}));
  // Each phase in its turn, between the preparation and the closing lines.
  auto at = [&](const std::string& entry) { return std::find(log.begin(), log.end(), entry) - log.begin(); };
  EXPECT_LT(at("Feature class phase took S seconds"), at("Table phase took S seconds"));
  EXPECT_LT(at("Table phase took S seconds"), at("Grid phase took S seconds"));
  EXPECT_LT(at("Grid phase took S seconds"), at(VersionText() + " processed folder A" + from));
  const std::vector<std::string> grids = test::GridPhaseLog(3);
  EXPECT_EQ(std::vector<std::string>(log.begin() + at(grids.front()), log.begin() + at(grids.back()) + 1), grids);
  EXPECT_EQ(ReadFile(run.f.app / "RivanetAppend.log"), ReadFile(run.f.app / "Active.log"));
  EXPECT_FALSE(fs::exists(run.f.app / "Work"));
  const fs::path& out = run.f.output;
  EXPECT_EQ(ReadFile(out / "readme.txt"), "A:readme.txt");
  EXPECT_EQ(ReadFile(out / "shared.txt"), "B:shared.txt");  // the later one wins
  EXPECT_EQ(ReadFile(out / "mine.txt"), "the user's");
  EXPECT_EQ(ReadFile(out / "hydrography/RVXLine.shp"), Skeleton("hydrography/RVXLine.shp"));
  EXPECT_FALSE(fs::exists(out / "elev_unit/elev_cm/w001001.adf"));  // the earlier grid is gone
  EXPECT_TRUE(fs::exists(out / "elev_unit/elev_cm/elev_cm.tif"));

  const auto& e = run.feedback.events;
  ASSERT_GE(e.size(), 4u);
  EXPECT_EQ(e[0], "running");
  EXPECT_EQ(e[1], "status:");
  EXPECT_EQ(std::count(e.begin(), e.end(), "idle"), 1);
  EXPECT_LT(std::find(e.begin(), e.end(), "idle"),
            std::find(e.begin(), e.end(), "status:Finished running RivanetAppend 1.1.7"));
  EXPECT_EQ(run.feedback.Boxes(), std::vector<std::string>{"Finished running " + run.f.list.string()});
}

TEST(ProcessWSTest, FailedListCheckShowsThreeBoxesAndLeavesEverythingAlone) {
  AppendRun run;
  WriteFile(run.f.list, "A\r\n\r\nB\r\n");
  WriteFile(run.f.app / "Work/leftover.dbf", "x");
  auto before = run.Tree();
  EXPECT_EQ(run.Go(/*interactive=*/true), RunStatus::Failed);

  const std::string failure = "Error: There was one or fewer entries in " + run.f.list.string();
  EXPECT_EQ(run.Log(), run.FailedLog(failure));
  EXPECT_EQ(run.feedback.Boxes(),
            (std::vector<std::string>{
                failure,
                "RivanetAppend encountered data errors during processing.  Please check the log "
                "file (RivanetAppend.log).",
                "Finished running " + run.f.list.string()}));
  before.erase("app/Work");
  before.erase("app/Work/leftover.dbf");  // a leftover Work folder goes, as at every run's end
  EXPECT_EQ(test::Changes(before, run.Tree()), test::kNoChanges);
  EXPECT_EQ(ReadFile(run.f.app / "RivanetAppend.log"), ReadFile(run.f.app / "Active.log"));
}

// Where the output, input, application or skeleton folder stands to another. Each case moves
// the folders of a fresh run; an empty message means the run is allowed.
struct RelationCase {
  const char* name;
  std::function<void(RunFolders&, const fs::path& root)> arrange;
  std::function<std::string(const RunFolders&)> message;
};

void SetSkeleton(const RunFolders& f, const std::string& value) {
  WriteFile(f.app / "RivanetAppend.ini", "[Working]\r\nSkelPath=" + value + "\r\n");
}

std::string Refusal(const std::string& subject, const fs::path& a, const std::string& relation,
                    const std::string& object, const fs::path& b) {
  return "Error: The " + subject + " " + a.string() + " " + relation + " the " + object + " " +
         b.string() + ".";
}

TEST(ProcessWSTest, FolderRelationsAreCheckedBeforeAnythingIsTouched) {
  const RelationCase cases[] = {
      {"output is the input folder", [](RunFolders& f, const fs::path&) { f.output = f.input; },
       [](const RunFolders& f) { return Refusal("output folder", f.input, "is", "input folder", f.input); }},
      {"output is a workspace", [](RunFolders& f, const fs::path&) { f.output = f.input / "A"; },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "is", "workspace", f.input / "A");
       }},
      {"output lies inside a workspace",
       [](RunFolders& f, const fs::path&) { f.output = f.input / "B/drainage"; },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "lies inside", "workspace", f.input / "B");
       }},
      {"output holds the input folder",
       [](RunFolders& f, const fs::path&) {
         f.input = f.output / "hydrography";
         f.list = f.input / "list.txt";
         MakeWorkspace(f.input, "A");
         MakeWorkspace(f.input, "B");
         WriteFile(f.list, "A\nB\n");
       },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "contains", "input folder", f.input);
       }},
      {"output is the application folder", [](RunFolders& f, const fs::path&) { f.output = f.app; },
       [](const RunFolders& f) {
         return Refusal("output folder", f.app, "is", "application folder", f.app);
       }},
      {"output holds the application folder",
       [](RunFolders& f, const fs::path& root) {
         fs::create_directories(root / "programs");
         fs::rename(f.app, root / "programs/app");
         f.app = root / "programs/app";
         f.output = root / "programs";
       },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "contains", "application folder", f.app);
       }},
      {"output is the skeleton", [](RunFolders& f, const fs::path&) { f.output = f.app / "Skel"; },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "is", "skeleton folder", f.app / "Skel");
       }},
      {"output lies inside the skeleton",
       [](RunFolders& f, const fs::path&) { f.output = f.app / "Skel/hydrography"; },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "lies inside", "skeleton folder", f.app / "Skel");
       }},
      {"output holds the skeleton",
       [](RunFolders& f, const fs::path& root) {
         fs::create_directories(root / "common");
         fs::rename(f.app / "Skel", root / "common/skel");
         SetSkeleton(f, "../common/skel");
         f.output = root / "common";
       },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "contains", "skeleton folder",
                        f.app.string() + "/../common/skel");
       }},
      {"output is the Work folder",
       [](RunFolders& f, const fs::path&) {
         WriteFile(f.app / "Work/leftover.dbf", "x");
         f.output = f.app / "Work";
       },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "is", "Work folder", f.app / "Work");
       }},
      {"output is a workspace through a link",
       [](RunFolders& f, const fs::path& root) {
         fs::create_directory_symlink(f.input / "A", root / "link");
         f.output = root / "link";
       },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "is", "workspace", f.input / "A");
       }},
      {"output is a workspace in other letter case",
       [](RunFolders& f, const fs::path& root) { f.output = root / "INPUT/a"; },
       [](const RunFolders& f) {
         return Refusal("output folder", f.output, "is", "workspace", f.input / "A");
       }},
      {"input is the Work folder in other letter case",
       [](RunFolders& f, const fs::path&) {
         fs::rename(f.input, f.app / "work");
         f.input = f.app / "work";
         f.list = f.input / "list.txt";
       },
       [](const RunFolders& f) {
         return Refusal("input folder", f.input, "is", "Work folder", f.app / "Work");
       }},
      {"skeleton is the application folder", [](RunFolders& f, const fs::path&) { SetSkeleton(f, "."); },
       [](const RunFolders& f) {
         return Refusal("skeleton folder", f.app.string() + "/.", "is", "application folder", f.app);
       }},
      {"skeleton holds the application folder",
       [](RunFolders& f, const fs::path&) { SetSkeleton(f, ".."); },
       [](const RunFolders& f) {
         return Refusal("skeleton folder", f.app.string() + "/..", "contains", "application folder",
                        f.app);
       }},
      {"output beside the workspaces in the input folder",
       [](RunFolders& f, const fs::path&) {
         f.output = f.input / "merged";
         fs::create_directory(f.output);
       },
       [](const RunFolders&) { return std::string(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AppendRun run;
    c.arrange(run.f, run.dir.Path());
    const auto before = run.Tree();
    const std::string message = c.message(run.f);
    if (message.empty()) {
      const auto inputs = test::Snapshot(run.f.input, {"merged"});
      EXPECT_EQ(run.Go(), RunStatus::Succeeded) << ::testing::PrintToString(run.Log());
      EXPECT_EQ(test::Changes(inputs, test::Snapshot(run.f.input, {"merged"})), test::kNoChanges);
      EXPECT_EQ(ReadFile(run.f.output / "RVXFlow.dbf"), Skeleton("RVXFlow.dbf"));
      continue;
    }
    EXPECT_EQ(run.Go(), RunStatus::Failed);
    EXPECT_EQ(run.Log(), run.FailedLog(message));
    EXPECT_EQ(test::Changes(before, run.Tree()), test::kNoChanges);
  }
}

TEST(ProcessWSTest, SkeletonIsCheckedBeforeAnythingIsTouched) {
  struct Case {
    const char* name;
    std::function<void(const RunFolders&)> arrange;
    std::function<std::string(const RunFolders&)> message;
  };
  const auto skel = [](const RunFolders& f) { return f.app.string() + "/Skel/"; };
  const Case cases[] = {
      {"no settings file", [](const RunFolders& f) { fs::remove(f.app / "RivanetAppend.ini"); },
       [](const RunFolders& f) {
         return "The skeleton folder is missing: the settings file " +
                (f.app / "RivanetAppend.ini").string() + " does not exist";
       }},
      {"empty SkelPath", [](const RunFolders& f) { SetSkeleton(f, ""); },
       [](const RunFolders& f) {
         return "The skeleton folder is missing: the settings file " +
                (f.app / "RivanetAppend.ini").string() + " gives no SkelPath in its [Working] section";
       }},
      {"no SkelPath",
       [](const RunFolders& f) { WriteFile(f.app / "RivanetAppend.ini", "[Working]\n"); },
       [](const RunFolders& f) {
         return "The skeleton folder is missing: the settings file " +
                (f.app / "RivanetAppend.ini").string() + " gives no SkelPath in its [Working] section";
       }},
      {"no such folder", [](const RunFolders& f) { SetSkeleton(f, "Gone"); },
       [](const RunFolders& f) { return "The " + (f.app / "Gone").string() + " folder is missing"; }},
      {"empty skeleton",
       [](const RunFolders& f) {
         fs::remove_all(f.app / "Skel");
         fs::create_directory(f.app / "Skel");
       },
       [=](const RunFolders& f) { return "Error: The skeleton folder " + skel(f) + "Drainage is missing."; }},
      {"no hydrography", [](const RunFolders& f) { fs::remove_all(f.app / "Skel/hydrography"); },
       [=](const RunFolders& f) {
         return "Error: The skeleton folder " + skel(f) + "hydrography is missing.";
       }},
      {"a feature class without its index",
       [](const RunFolders& f) { fs::remove(f.app / "Skel/Drainage/catchment.shx"); },
       [=](const RunFolders& f) {
         return "Error: The skeleton file " + skel(f) + "Drainage/catchment.shx is missing.";
       }},
      {"a table missing", [](const RunFolders& f) { fs::remove(f.app / "Skel/RVXStatus.dbf"); },
       [=](const RunFolders& f) {
         return "Error: The skeleton file " + skel(f) + "RVXStatus.dbf is missing.";
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AppendRun run;
    c.arrange(run.f);
    const auto before = run.Tree();
    EXPECT_EQ(run.Go(/*interactive=*/true), RunStatus::Failed);
    EXPECT_EQ(run.Log(), run.FailedLog(c.message(run.f)));
    EXPECT_EQ(test::Changes(before, run.Tree()), test::kNoChanges);
    // Checked before the window takes its running look.
    EXPECT_EQ(std::count(run.feedback.events.begin(), run.feedback.events.end(), "running"), 0);
  }
}

TEST(ProcessWSTest, UnwritableLogIsFoundBeforeTheOutputIsPrepared) {
  AppendRun run;
  fs::create_directory(run.f.app / "Active.log");  // cannot be appended to
  const auto before = run.Tree();
  EXPECT_THROW(run.Go(), LogWriteFailure);
  EXPECT_EQ(test::Changes(before, run.Tree()), test::kNoChanges);
}

TEST(ProcessWSTest, FilesBehindLinksAreNeverWritten) {
  AppendRun run;
  const fs::path mine = run.dir / "mine";
  WriteFile(mine / "rows.dbf", "my rows");
  WriteFile(mine / "notes.txt", "my notes");
  WriteFile(mine / "folder/RVXLine.shp", "my lines");
  const fs::path& out = run.f.output;
  fs::remove(out / "RVXFlow.dbf");
  fs::create_symlink(mine / "rows.dbf", out / "RVXFlow.dbf");        // skeleton copy
  fs::create_symlink(mine / "notes.txt", out / "shared.txt");        // closing pass
  fs::remove_all(out / "hydrography");
  fs::create_directory_symlink(mine / "folder", out / "hydrography");  // deleted, replaced
  WriteFile(mine / "work/RVXFlow.dbf", "my rows");
  fs::create_directory_symlink(mine / "work", run.f.app / "Work");  // filled, then deleted
  const auto mineBefore = test::Snapshot(mine);

  EXPECT_EQ(run.Go(), RunStatus::Succeeded);
  EXPECT_EQ(test::Changes(mineBefore, test::Snapshot(mine)), test::kNoChanges);
  EXPECT_EQ(ReadFile(out / "RVXFlow.dbf"), Skeleton("RVXFlow.dbf"));
  EXPECT_FALSE(fs::is_symlink(out / "RVXFlow.dbf"));
  EXPECT_EQ(ReadFile(out / "shared.txt"), "B:shared.txt");
  EXPECT_FALSE(fs::is_symlink(out / "hydrography"));
  EXPECT_EQ(ReadFile(out / "hydrography/RVXLine.shp"), Skeleton("hydrography/RVXLine.shp"));
}

TEST(ProcessWSTest, CancelStopsAtTheNextSafePointAndClosesAsCancelled) {
  struct Case {
    int answersBeforeCancel;
    bool outputPrepared;
  };
  for (const Case c : {Case{0, false}, Case{1, true}}) {
    SCOPED_TRACE(c.answersBeforeCancel);
    AppendRun run;
    WriteFile(run.f.app / "Work/leftover.dbf", "x");
    WriteFile(run.f.app / "Temp/leftover.tif", "x");
    auto before = run.Tree();
    run.feedback.cancelAfterChecks = c.answersBeforeCancel;
    EXPECT_EQ(run.Go(), RunStatus::Cancelled);
    EXPECT_EQ(run.Log().back(), run.Summary("Cancelled"));
    EXPECT_EQ(ReadFile(run.f.app / "RivanetAppend.log"), ReadFile(run.f.app / "Active.log"));
    EXPECT_FALSE(fs::exists(run.f.app / "Work"));
    EXPECT_FALSE(fs::exists(run.f.app / "Temp"));
    for (const char* gone : {"app/Work", "app/Work/leftover.dbf", "app/Temp", "app/Temp/leftover.tif"})
      before.erase(gone);
    if (c.outputPrepared) {
      EXPECT_EQ(ReadFile(run.f.output / "RVXFlow.dbf"), Skeleton("RVXFlow.dbf"));
      EXPECT_FALSE(fs::exists(run.f.output / "readme.txt"));  // the closing pass did not run
    } else {
      EXPECT_EQ(test::Changes(before, run.Tree()), test::kNoChanges);
    }
  }
}

TEST(ProcessWSTest, MissingListFileIsReportedByProcessWS) {
  AppendRun run;
  fs::remove(run.f.list);
  EXPECT_THROW(run.Go(), ReportedError);
}

}  // namespace
}  // namespace rivanet
