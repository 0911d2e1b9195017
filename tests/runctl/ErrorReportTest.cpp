#include <gtest/gtest.h>

#include "platform/Error.h"
#include "runctl/ErrorReport.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
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

// Every report is logged and, in a window run, shown in a box; only the standard tail makes
// the log copy.
TEST(EndWithReportTest, LogsShowsAndCopiesByTailAndRunMode) {
  for (const bool interactive : {true, false}) {
    for (const ErrorTail tail :
         {ErrorTail::Standard, ErrorTail::WithoutLogCopy, ErrorTail::BoxAlways}) {
      SCOPED_TRACE(::testing::Message() << interactive << static_cast<int>(tail));
      test::RunSetup run;
      EXPECT_EQ(EndWithReport(run.Context(interactive),
                              ReportedError("Error 53 (x) in procedure P", tail)),
                kExitErrorReport);
      EXPECT_NE(ReadFile(run.f.app / "Active.log")
                    .find(std::string(interactive ? "Non-" : " ") +
                          "Batch Run - Error 53 (x) in procedure P"),
                std::string::npos);
      EXPECT_EQ(fs::exists(run.f.app / "RivanetAppend.log"), tail == ErrorTail::Standard);
      EXPECT_EQ(run.feedback.Boxes(), interactive ? Boxes{"Error 53 (x) in procedure P"} : Boxes{});
    }
  }
}

TEST(EndWithReportTest, UnwritableLogShowsTheReportThenTheLogFailure) {
  test::RunSetup run;
  fs::create_directories(run.f.app / "Active.log");  // cannot be opened for appending
  EXPECT_EQ(EndWithReport(run.Context(/*interactive=*/true),
                          ReportedError("Error 53 (x)", ErrorTail::Standard)),
            kExitErrorReport);
  EXPECT_EQ(run.feedback.Boxes(),
            (Boxes{"Error 53 (x)", "Error in Function LogEvent. Unable to write to Active.Log"}));
  EXPECT_FALSE(fs::exists(run.f.app / "RivanetAppend.log"));
}

}  // namespace
}  // namespace rivanet
