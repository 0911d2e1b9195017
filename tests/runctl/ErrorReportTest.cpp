#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "support/RecordingFeedback.h"
#include "support/TempDir.h"
#include "workspace/Schema.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using Boxes = std::vector<std::string>;

// (The report's layout is checked where the program writes one: the batch and window tests.)
TEST(InProcedureTest, InnermostProcedureNamesTheReportAndNothingEscapesUnreported) {
  try {
    InProcedure("ProcessWS", [] {
      InProcedure("AppendTable", [] { throw AppError(75, "Path/File access error"); });
    });
    FAIL();
  } catch (const ReportedError& e) {
    EXPECT_EQ(e.Report().rfind("Error 75 (Path/File access error) in procedure AppendTable of ", 0),
              0u)
        << e.Report();
    EXPECT_EQ(e.Tail(), ErrorTail::Standard);
  }
  try {
    InProcedure(
        "Main", [] { throw std::runtime_error("boom"); }, kModuleSubMain,
        ErrorTail::WithoutLogCopy);
    FAIL();
  } catch (const ReportedError& e) {
    EXPECT_EQ(e.Report(),
              "Error 51 (Internal error: boom) in procedure Main of Module mdlSubMain "
              "Error Source:RivanetAppend occurred at line 0");
    EXPECT_EQ(e.Tail(), ErrorTail::WithoutLogCopy);
  }
}

struct ReportRun {
  explicit ReportRun(bool interactive)
      : log(*files, dir.Path(), interactive), ctx{dir.Path(), interactive,
                                                  *files,     log,
                                                  feedback,   schema::ShippedSchema()} {}
  TempDir dir;
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  ActivityLog log;
  test::RecordingFeedback feedback;
  RunContext ctx;
};

// Every report is logged and, in a window run, shown in a box; only the standard tail makes
// the log copy.
TEST(EndWithReportTest, LogsShowsAndCopiesByTailAndRunMode) {
  for (const bool interactive : {true, false}) {
    for (const ErrorTail tail :
         {ErrorTail::Standard, ErrorTail::WithoutLogCopy, ErrorTail::BoxAlways}) {
      SCOPED_TRACE(::testing::Message() << interactive << static_cast<int>(tail));
      ReportRun run(interactive);
      EXPECT_EQ(EndWithReport(run.ctx, ReportedError("Error 53 (x) in procedure P", tail)),
                kExitErrorReport);
      EXPECT_NE(ReadFile(run.dir / "Active.log")
                    .find(std::string(interactive ? "Non-" : " ") +
                          "Batch Run - Error 53 (x) in procedure P"),
                std::string::npos);
      EXPECT_EQ(fs::exists(run.dir / "RivanetAppend.log"), tail == ErrorTail::Standard);
      EXPECT_EQ(run.feedback.Boxes(), interactive ? Boxes{"Error 53 (x) in procedure P"} : Boxes{});
    }
  }
}

TEST(EndWithReportTest, UnwritableLogShowsTheReportThenTheLogFailure) {
  ReportRun run(/*interactive=*/true);
  fs::create_directories(run.dir / "Active.log");  // cannot be opened for appending
  EXPECT_EQ(EndWithReport(run.ctx, ReportedError("Error 53 (x)", ErrorTail::Standard)),
            kExitErrorReport);
  EXPECT_EQ(run.feedback.Boxes(),
            (Boxes{"Error 53 (x)", "Error in Function LogEvent. Unable to write to Active.Log"}));
  EXPECT_FALSE(fs::exists(run.dir / "RivanetAppend.log"));
}

}  // namespace
}  // namespace rivanet
