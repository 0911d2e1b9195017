#include <gtest/gtest.h>

#include "platform/Error.h"
#include "runctl/ErrorReport.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using Boxes = std::vector<std::string>;

// Every report is logged and, in a window run, shown in a box; only the standard tail makes
// the log copy. (The report's layout and the procedure it names are checked where the program
// writes one: the batch and window tests. The closing pass's tail is checked only here.)
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
