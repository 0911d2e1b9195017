#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "workspace/Schema.h"
#include "support/RecordingFeedback.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

using test::ReadFile;
using test::RecordingFeedback;
using test::TempDir;

TEST(ErrorReportTextTest, HasTheFixedLayout) {
  EXPECT_EQ(ErrorReportText(AppError(53, "File not found"), "ProcessWS", kModuleSubMain),
            "Error 53 (File not found) in procedure ProcessWS of Module mdlSubMain "
            "Error Source:RivanetAppend occurred at line 0");
  EXPECT_EQ(ErrorReportText(AppError(2, "No such file", ErrorScheme::Os), "Picture2_MouseUp", "Form frmMain", 12),
            "Error 2 (No such file) in procedure Picture2_MouseUp of Form frmMain "
            "Error Source:OS occurred at line 12");
}

TEST(InProcedureTest, InnermostProcedureNamesTheReport) {
  try {
    InProcedure("ProcessWS", [] {
      InProcedure("AppendTable", [] { throw AppError(75, "Path/File access error"); });
    });
    FAIL();
  } catch (const ReportedError& e) {
    EXPECT_NE(e.Report().find("in procedure AppendTable of Module mdlSubMain"), std::string::npos);
    EXPECT_EQ(e.Tail(), ErrorTail::Standard);
  }
  // Anything else that escapes is reported too, never lost.
  try {
    InProcedure("Main", [] { throw std::runtime_error("boom"); }, kModuleSubMain,
                ErrorTail::WithoutLogCopy);
    FAIL();
  } catch (const ReportedError& e) {
    EXPECT_EQ(e.Report(),
              "Error 51 (Internal error: boom) in procedure Main of Module mdlSubMain "
              "Error Source:RivanetAppend occurred at line 0");
    EXPECT_EQ(e.Tail(), ErrorTail::WithoutLogCopy);
  }
  EXPECT_EQ(InProcedure("IsInArray", [] { return 42; }), 42);
}

class EndWithReportTest : public ::testing::TestWithParam<bool> {
 protected:
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  TempDir dir;
  RecordingFeedback feedback;
};

TEST_P(EndWithReportTest, BoxOnlyInteractiveThenLogLineThenCopy) {
  const bool interactive = GetParam();
  ActivityLog log(*files, dir.Path(), interactive);
  RunContext ctx{dir.Path(), interactive, *files, log, feedback, schema::ShippedSchema()};
  ReportedError error("Error 53 (x) in procedure ProcessWS", ErrorTail::Standard);
  EXPECT_EQ(EndWithReport(ctx, error), kExitErrorReport);
  const std::string text = ReadFile(dir / "Active.log");
  EXPECT_NE(text.find(interactive ? "Non-Batch Run - Error 53 (x)" : " Batch Run - Error 53 (x)"),
            std::string::npos);
  EXPECT_EQ(ReadFile(dir / "RivanetAppend.log"), text);
  std::vector<std::string> expected{"pointer"};
  if (interactive) expected.push_back("box:Error 53 (x) in procedure ProcessWS");
  EXPECT_EQ(feedback.events, expected);
}

TEST_P(EndWithReportTest, StartupReportMakesNoLogCopy) {
  const bool interactive = GetParam();
  ActivityLog log(*files, dir.Path(), interactive);
  RunContext ctx{dir.Path(), interactive, *files, log, feedback, schema::ShippedSchema()};
  EndWithReport(ctx, ReportedError("Error 5 (x) in procedure Main", ErrorTail::WithoutLogCopy));
  EXPECT_TRUE(std::filesystem::exists(dir / "Active.log"));
  EXPECT_FALSE(std::filesystem::exists(dir / "RivanetAppend.log"));
}

TEST_P(EndWithReportTest, BoxAlwaysTailLogsFirstAndNeverLosesTheReport) {
  const bool interactive = GetParam();
  ActivityLog log(*files, dir.Path(), interactive);
  RunContext ctx{dir.Path(), interactive, *files, log, feedback, schema::ShippedSchema()};
  EndWithReport(ctx, ReportedError("Error 9 (x)", ErrorTail::BoxAlways));
  // A batch run has no box to show it in, so the log line is its only record.
  EXPECT_NE(ReadFile(dir / "Active.log").find("Error 9 (x)"), std::string::npos);
  EXPECT_EQ(feedback.Boxes().size(), interactive ? 1u : 0u);
}

TEST_P(EndWithReportTest, UnwritableLogEndsWithTheLogMessageOnly) {
  const bool interactive = GetParam();
  std::filesystem::create_directories(dir / "Active.log");  // cannot be opened for appending
  ActivityLog log(*files, dir.Path(), interactive);
  RunContext ctx{dir.Path(), interactive, *files, log, feedback, schema::ShippedSchema()};
  EXPECT_EQ(EndWithReport(ctx, ReportedError("Error 53 (x)", ErrorTail::Standard)),
            kExitErrorReport);
  const auto boxes = feedback.Boxes();
  if (interactive) {
    // The report box comes first, then the log failure.
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "Error in Function LogEvent. Unable to write to Active.Log");
  } else {
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "RivanetAppend.log"));
}

INSTANTIATE_TEST_SUITE_P(RunModes, EndWithReportTest, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Interactive" : "Batch"; });

}  // namespace
}  // namespace rivanet
