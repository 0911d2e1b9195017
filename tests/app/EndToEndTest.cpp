// Runs the real executable in temporary application folders, as a batch user would.
#include <gtest/gtest.h>

#include "platform/Error.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::LogMessages;
using test::MakeWorkspace;
using test::ProgramResult;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f = test::MakeRunFolders(dir.Path());
    runFile = dir / "job/run.ini";
    WriteFile(runFile, "[Run]\r\nInputFolder=../input\r\nOutputFolder=../output\r\nListFile=" +
                           f.list.string() + "\r\n");
  }
  ProgramResult Run(const std::vector<std::string>& args) {
    return test::RunProgram(RIVANET_EXE, args, f.app);
  }
  std::vector<std::string> Log() { return LogMessages(f.app / "Active.log"); }
  // The run's own log lines, without the counts and times of the phases.
  std::vector<std::string> RunLines() {
    std::vector<std::string> lines = Log();
    std::erase_if(lines, [](const std::string& l) { return l.rfind(VersionText(), 0) != 0; });
    return lines;
  }
  // The list path as the run sees it.
  std::string Summary(const std::string& status) {
    return VersionText() + " processed " + f.list.string() +
           " and ran for M minutes and S seconds and " + status;
  }

  TempDir dir;
  test::RunFolders f;
  fs::path runFile;
};

TEST_F(EndToEndTest, TwoWorkspaceRunSucceeds) {
  MakeWorkspace(f.input, "HUC01");
  MakeWorkspace(f.input, "HUC02", {"huc02.txt"});
  WriteFile(f.list, "HUC01\r\nHUC02\r\n");

  const ProgramResult r = Run({"\"" + runFile.string() + "\""});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string from = " from input file " + f.list.string();
  EXPECT_EQ(RunLines(), (std::vector<std::string>{VersionText() + " processed folder HUC01" + from,
                                                  VersionText() + " processed folder HUC02" + from,
                                                  Summary("Succeeded")}));
  EXPECT_NE(ReadFile(f.app / "Active.log").find(" Batch Run - "), std::string::npos);
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
  EXPECT_FALSE(fs::exists(f.app / "Work"));
  EXPECT_TRUE(fs::exists(f.output / "huc02.txt"));
  EXPECT_EQ(ReadFile(f.output / "hydrography/RVXLine.shp"), "skel-line");
  // Every log entry is echoed on standard error.
  for (const auto& message : Log()) {
    const auto at = r.err.find(" Batch Run - " + message.substr(0, message.find(" and ran for ")));
    EXPECT_NE(at, std::string::npos) << message << " not echoed in\n" << r.err;
  }
}

TEST_F(EndToEndTest, ListCheckFailuresEndAsFailedWithOutputUntouched) {
  WriteFile(f.output / "RVXFlow.dbf", "earlier");
  struct Case {
    std::string list;
    std::string message;
  };
  MakeWorkspace(f.input, "Good");
  MakeWorkspace(f.input, "NoElev", {}, {"elev_unit/elev_cm"});
  const Case cases[] = {
      {"Good\r\nNoElev\r\n",
       "Error: The " + (f.input / "NoElev").string() + "/elev_unit/elev_cm is missing."},
      {"Good\r\n", "Error: There was one or fewer entries in " + f.list.string()},
  };
  for (const auto& c : cases) {
    fs::remove(f.app / "Active.log");
    WriteFile(f.list, c.list);
    const ProgramResult r = Run({runFile.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         c.message, Summary("Failed"),
                         "RivanetAppend encountered data errors during processing of input file - " +
                             f.list.string()}));
    EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
    EXPECT_EQ(ReadFile(f.output / "RVXFlow.dbf"), "earlier");
    EXPECT_FALSE(fs::exists(f.output / "elev_unit"));
  }
}

TEST_F(EndToEndTest, MissingSkeletonFails) {
  WriteFile(f.app / "RivanetAppend.ini", "[Working]\r\nSkelPath=NoSuchSkel\r\n");
  MakeWorkspace(f.input, "A");
  MakeWorkspace(f.input, "B");
  WriteFile(f.list, "A\nB\n");
  const ProgramResult r = Run({runFile.string()});
  EXPECT_EQ(r.exitCode, 1);
  ASSERT_EQ(Log().size(), 3u);
  EXPECT_EQ(Log()[0], "The " + (f.app / "NoSuchSkel").string() + " folder is missing");
  EXPECT_TRUE(fs::is_empty(f.output));
}

TEST_F(EndToEndTest, CommandLineThatNamesNoFile) {
  for (const fs::path& path : {dir / "absent.ini", dir / "job"}) {  // missing; a folder
    fs::remove(f.app / "Active.log");
    const ProgramResult r = Run({path.string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(Log(), std::vector<std::string>{path.string() + " was not a valid file/database"});
    EXPECT_NE(ReadFile(f.app / "Active.log").find(" Batch Run - "), std::string::npos);
    EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
  }
}

TEST_F(EndToEndTest, RunTimeErrorEndsWithReport) {
  MakeWorkspace(f.input, "A");
  MakeWorkspace(f.input, "B");
  WriteFile(f.list, "A\nB\n");
  fs::remove_all(f.output);
  const ProgramResult r = Run({runFile.string()});
  EXPECT_EQ(r.exitCode, 2);
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0], "Error 2 (No such file or directory: " + (f.output / "elev_unit").string() +
                          ") in procedure ProcessWS of Module mdlSubMain Error Source:OS occurred "
                          "at line 0");
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
}

TEST_F(EndToEndTest, BadRunFileIsReportedByMainWithoutLogCopy) {
  WriteFile(runFile, "[Run]\r\nInputFolder=in\r\nListFile=list.txt\r\n");
  ProgramResult r = Run({runFile.string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(Log(), std::vector<std::string>{
                       "Error 5 (Run file " + runFile.string() +
                       " has no OutputFolder= in its [Run] section) in procedure Main of Module "
                       "mdlSubMain Error Source:RivanetAppend occurred at line 0"});
  EXPECT_FALSE(fs::exists(f.app / "RivanetAppend.log"));
}

TEST_F(EndToEndTest, UnwritableLogEndsCleanly) {
  fs::create_directories(f.app / "Active.log");  // the log cannot be opened for appending
  const ProgramResult r = Run({(dir / "absent.ini").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("Unable to write to Active.Log"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace rivanet
