#include <gtest/gtest.h>

#include <algorithm>

#include "driver/ProcessWS.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "support/RecordingFeedback.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::LogMessages;
using test::MakeWorkspace;
using test::ReadFile;
using test::RecordingFeedback;
using test::TempDir;
using test::WriteFile;

class ProcessWSTest : public test::RunFixture {
 protected:
  RunStatus Run(bool interactive) { return ProcessWS(Context(interactive), f.input, f.output, f.list); }
  std::string Summary(const char* status) {
    return VersionText() + " processed " + f.list.string() + " and ran for M minutes and S seconds and " + status;
  }
  // The run's own log lines, without the counts and times of the phases.
  std::vector<std::string> RunLines() const {
    std::vector<std::string> lines = Log();
    std::erase_if(lines, [](const std::string& l) { return l.rfind(VersionText(), 0) != 0; });
    return lines;
  }
};

TEST_F(ProcessWSTest, SuccessfulInteractiveRunLogsAndLooksInOrder) {
  MakeWorkspace(f.input, "HUC01", {"readme.txt", "shared.txt"});
  MakeWorkspace(f.input, "HUC02", {"shared.txt"});
  WriteFile(f.list, "HUC01\r\nHUC02\r\n");

  EXPECT_EQ(Run(/*interactive=*/true), RunStatus::Succeeded);

  const std::string from = " from input file " + f.list.string();
  EXPECT_EQ(RunLines(), (std::vector<std::string>{
                       VersionText() + " processed folder HUC01" + from,
                       VersionText() + " processed folder HUC02" + from,
                       Summary("Succeeded")}));
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
  EXPECT_FALSE(fs::exists(f.app / "Work"));
  EXPECT_EQ(ReadFile(f.output / "readme.txt"), "HUC01:readme.txt");
  EXPECT_EQ(ReadFile(f.output / "shared.txt"), "HUC02:shared.txt");  // the later one wins

  const auto& e = feedback.events;
  ASSERT_GE(e.size(), 4u);
  EXPECT_EQ(e[0], "running");
  EXPECT_EQ(e[1], "status:");
  EXPECT_EQ(std::count(e.begin(), e.end(), "idle"), 1);
  EXPECT_LT(std::find(e.begin(), e.end(), "idle"),
            std::find(e.begin(), e.end(), "status:Finished running RivanetAppend 1.1.7"));
  EXPECT_EQ(e.back(), "box:Finished running " + f.list.string());
  EXPECT_EQ(feedback.Boxes().size(), 1u);
}

TEST_F(ProcessWSTest, FailedListCheckClosesWithDataErrorAndLeavesOutputAlone) {
  MakeWorkspace(f.input, "HUC01");
  WriteFile(f.list, "HUC01\r\n\r\nHUC02\r\n");
  WriteFile(f.output / "hydrography/RVXLine.shp", "earlier result");
  WriteFile(f.app / "Work/leftover.dbf", "x");

  EXPECT_EQ(Run(/*interactive=*/true), RunStatus::Failed);

  const std::string failure = "Error: There was one or fewer entries in " + f.list.string();
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       failure, Summary("Failed"),
                       "RivanetAppend encountered data errors during processing of input file - " +
                           f.list.string()}));
  EXPECT_EQ(feedback.Boxes(),
            (std::vector<std::string>{
                failure,
                "RivanetAppend encountered data errors during processing.  Please check the log "
                "file (RivanetAppend.log).",
                "Finished running " + f.list.string()}));
  EXPECT_EQ(ReadFile(f.output / "hydrography/RVXLine.shp"), "earlier result");
  EXPECT_FALSE(fs::exists(f.output / "elev_unit"));
  EXPECT_FALSE(fs::exists(f.app / "Work"));  // a leftover Work folder goes too
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
}

TEST_F(ProcessWSTest, MissingSkeletonFailsBeforeTheWindowChangesLook) {
  fs::remove_all(f.app / "Skel");
  MakeWorkspace(f.input, "A");
  MakeWorkspace(f.input, "B");
  WriteFile(f.list, "A\nB\n");
  EXPECT_EQ(Run(/*interactive=*/false), RunStatus::Failed);
  EXPECT_EQ(Log().front(), "The " + (f.app / "Skel").string() + " folder is missing");
  EXPECT_EQ(Log()[1], Summary("Failed"));
  EXPECT_TRUE(feedback.Boxes().empty());
  EXPECT_EQ(std::count(feedback.events.begin(), feedback.events.end(), "running"), 0);
  EXPECT_TRUE(fs::is_empty(f.output));
}

TEST_F(ProcessWSTest, WorkspaceWithoutTextFilesDoesNotStopTheRun) {
  MakeWorkspace(f.input, "A", {});
  MakeWorkspace(f.input, "B", {"b.txt"});
  WriteFile(f.list, "A\nB\n");
  EXPECT_EQ(Run(false), RunStatus::Succeeded);
  EXPECT_EQ(RunLines().size(), 3u);
  EXPECT_EQ(ReadFile(f.output / "b.txt"), "B:b.txt");
}

TEST_F(ProcessWSTest, MissingListFileIsReportedByProcessWS) {
  EXPECT_THROW(Run(false), ReportedError);
}

}  // namespace
}  // namespace rivanet
