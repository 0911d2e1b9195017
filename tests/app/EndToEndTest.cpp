// Runs the real executable in temporary application folders, as a batch user would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <thread>

#include <regex>

#include "platform/Error.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"
#include "workspace/Schema.h"

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
    // A run that ended early must fail the test, not end it through a write to its pipe.
    std::signal(SIGPIPE, SIG_IGN);
    f = test::MakeRunFolders(dir.Path());
    runFile = dir / "job/run.ini";
    WriteFile(runFile, "[Run]\r\nInputFolder=../input\r\nOutputFolder=../output\r\nListFile=" +
                           f.list.string() + "\r\n");
    MakeWorkspace(f.input, "HUC01");
    MakeWorkspace(f.input, "HUC02", {"huc02.txt"});
  }
  ProgramResult Run(const std::vector<std::string>& args) {
    return test::RunProgram(RIVANET_EXE, args, f.app);
  }
  std::vector<std::string> Log() { return LogMessages(f.app / "Active.log"); }
  std::string Summary(const std::string& status) {
    return VersionText() + " processed " + f.list.string() +
           " and ran for M minutes and S seconds and " + status;
  }
  // Everything under the test folder but the log, its copy and the lock file.
  test::Tree Tree() {
    return test::Snapshot(dir.Path(), {"app/Active.log", "app/RivanetAppend.l"});
  }

  // Makes the list file a pipe, so that a started run waits in its list check until the test
  // writes the list. Returns the pipe's writing end once the run has opened it.
  int WaitForListCheck(test::StartedProgram& run) {
    for (;;) {
      const int fd = ::open(f.list.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) return fd;
      if (!run.Running()) return -1;
      std::this_thread::yield();
    }
  }
  void WaitForCancelNotice(test::StartedProgram& run) {
    while (run.ErrSoFar().find("cancel") == std::string::npos && run.Running())
      std::this_thread::yield();
  }
  static void WriteAndClose(int fd, const std::string& text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  }

  TempDir dir;
  test::RunFolders f;
  fs::path runFile;
};

// A run over two generated workspaces into the real skeleton.
TEST_F(EndToEndTest, TwoWorkspaceRunSucceeds) {
  const ProgramResult made = test::RunProgram(
      RIVANET_SYNTH_EXE,
      {"--out", f.input.string(), "--count", "2", "--cells", "96", "--threshold", "12"}, f.app);
  ASSERT_EQ(made.exitCode, 0) << made.err;
  WriteFile(f.input / "unit_U002/huc02.txt", "from U002");
  WriteFile(f.list, "unit_U001\r\nunit_U002\r\n");

  const ProgramResult r = Run({"\"" + runFile.string() + "\""});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> log = Log();
  // One entry per feature class with what it read and wrote, the phase's time, then the
  // closing lines.
  const auto& steps = schema::ShippedSchema().featureSteps;
  const std::string from = " from input file " + f.list.string();
  // The preparation, one entry per feature class and the phase's time, the tables' entries and
  // their phase's time, one entry per grid, the catchment table and the phase's time, then the
  // closing lines.
  EXPECT_EQ(log[0], VersionText() + " preparing output folder " + f.output.string() + from);
  for (std::size_t i = 0; i < steps.size(); ++i)
    EXPECT_TRUE(std::regex_search(log[i + 1], std::regex("^" + steps[i].name + ": [0-9]+ features read, [0-9]+ written")))
        << log[i + 1];
  ASSERT_GT(log.size(), steps.size() + 1);
  EXPECT_EQ(log[steps.size() + 1], "Feature class phase took S seconds");
  const auto grids = std::find(log.begin(), log.end(), "Table phase took S seconds") + 1;
  ASSERT_LT(grids + 5, log.end());
  const std::vector<std::string> gridEntries = {"cat: ", "elev_cm: ", "fac: ", "fdr: ", "cat value attribute table: "};
  for (std::size_t i = 0; i < gridEntries.size(); ++i) EXPECT_EQ(grids[i].rfind(gridEntries[i], 0), 0u) << grids[i];
  EXPECT_EQ(std::vector<std::string>(grids + 5, log.end()),
            (std::vector<std::string>{"Grid phase took S seconds",
                                       VersionText() + " processed folder unit_U001" + from,
                                       VersionText() + " processed folder unit_U002" + from,
                                       Summary("Succeeded")}));
  EXPECT_NE(ReadFile(f.app / "Active.log").find(" Batch Run - "), std::string::npos);
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
  EXPECT_FALSE(fs::exists(f.app / "Work"));
  EXPECT_EQ(ReadFile(f.output / "huc02.txt"), "from U002");
  EXPECT_GT(fs::file_size(f.output / "hydrography/RVXFlowline.shp"),
            fs::file_size(f.app / "Skel/hydrography/RVXFlowline.shp"));
  // Every log entry is echoed on standard error.
  for (const auto& message : log) {
    const std::string start = message.substr(0, std::min(message.find(" and ran for "), message.find(" took ")));
    EXPECT_NE(r.err.find(" Batch Run - " + start), std::string::npos) << message << " not echoed in\n" << r.err;
  }
}

// The list check's failures end the same way; the driver's tests go through them.
TEST_F(EndToEndTest, DataChecksFailQuicklyWithTheOutputUntouched) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string message;
  };
  const Case cases[] = {
      // Without its settings the program once took its own folder for the skeleton and
      // copied it into its own Work folder until the disk was full.
      {"no settings file", [&] { fs::remove(f.app / "RivanetAppend.ini"); },
       "The skeleton folder is missing: the settings file " +
           (f.app / "RivanetAppend.ini").string() + " does not exist"},
      {"the output holds the input folder",
       [&] {
         WriteFile(runFile, "[Run]\nInputFolder=../input\nOutputFolder=" + dir.Path().string() +
                                "\nListFile=" + f.list.string());
       },
       "Error: The output folder " + dir.Path().string() + " contains the input folder " +
           (dir / "input").string() + "."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(f.list, "HUC01\r\nHUC02\r\n");
    WriteFile(f.output / "RVXFlow.dbf", "earlier");
    WriteFile(f.output / "hydrography/RVXLine.shp", "earlier");
    c.arrange();
    fs::remove(f.app / "Active.log");
    const auto before = Tree();
    const ProgramResult r = Run({runFile.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         c.message, Summary("Failed"),
                         "RivanetAppend encountered data errors during processing of input file - " +
                             f.list.string()}));
    EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
    EXPECT_EQ(test::Changes(before, Tree()), test::kNoChanges);
    WriteFile(f.app / "RivanetAppend.ini", "[Working]\r\nSkelPath=Skel\r\n");
    WriteFile(runFile, "[Run]\r\nInputFolder=../input\r\nOutputFolder=../output\r\nListFile=" +
                           f.list.string() + "\r\n");
  }
}

TEST_F(EndToEndTest, CommandLineThatNamesNoFileLogsOneLineWhateverItHolds) {
  const std::string forged = (dir / "absent").string() + "\n01/01/2020  00:00:00 Batch Run - forged";
  for (const std::string& path : {(dir / "absent.ini").string(), (dir / "job").string(), forged}) {
    fs::remove(f.app / "Active.log");
    const ProgramResult r = Run({path});
    EXPECT_EQ(r.exitCode, 3);
    const std::string shown = path == forged ? (dir / "absent").string() +
                                                   "\\n01/01/2020  00:00:00 Batch Run - forged"
                                             : path;
    EXPECT_EQ(Log(), std::vector<std::string>{shown + " was not a valid file/database"});
    EXPECT_NE(ReadFile(f.app / "Active.log").find(" Batch Run - "), std::string::npos);
    EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
  }
}

TEST_F(EndToEndTest, RunTimeErrorsEndWithAReport) {
  WriteFile(f.list, "HUC01\nHUC02\n");
  fs::remove_all(f.output);
  ProgramResult r = Run({runFile.string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(Log().back(), "Error 2 (No such file or directory: " + (f.output / "elev_unit").string() +
                              ") in procedure ProcessWS of Module mdlSubMain Error Source:OS "
                              "occurred at line 0");
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));

  // A bad run file is reported by Main, which makes no log copy.
  fs::remove(f.app / "Active.log");
  fs::remove(f.app / "RivanetAppend.log");
  WriteFile(runFile, "[Run]\r\nInputFolder=in\r\nListFile=list.txt\r\n");
  r = Run({runFile.string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(Log(), std::vector<std::string>{
                       "Error 5 (Run file " + runFile.string() +
                       " has no OutputFolder= in its [Run] section) in procedure Main of Module "
                       "mdlSubMain Error Source:RivanetAppend occurred at line 0"});
  EXPECT_FALSE(fs::exists(f.app / "RivanetAppend.log"));

  fs::remove(f.app / "Active.log");
  fs::create_directories(f.app / "Active.log");  // the log cannot be opened for appending
  r = Run({(dir / "absent.ini").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("Unable to write to Active.Log"), std::string::npos) << r.err;
}

TEST_F(EndToEndTest, SecondRunOnTheSameApplicationFolderIsRefused) {
  ASSERT_EQ(::mkfifo(f.list.c_str(), 0600), 0);
  WriteFile(f.app / "Temp/leftover.tif", "earlier grid run");
  test::StartedProgram first(RIVANET_EXE, {runFile.string()}, f.app);
  const int list = WaitForListCheck(first);
  ASSERT_GE(list, 0) << first.Wait().err;

  // The first run has logged nothing yet; the list is its pipe, which only it may read.
  const auto before = test::Snapshot(dir.Path(), {"input/list.txt"});
  const ProgramResult second = Run({runFile.string()});
  EXPECT_EQ(second.exitCode, 2);
  EXPECT_NE(second.err.find("The application folder " + f.app.string() + " is in use by another run"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(test::Changes(before, test::Snapshot(dir.Path(), {"input/list.txt"})), test::kNoChanges);

  // Later stages read the list anew: from a plain file.
  fs::remove(f.list);
  WriteFile(f.list, "HUC01\nHUC02\n");
  WriteAndClose(list, "HUC01\nHUC02\n");
  const ProgramResult r = first.Wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::DriverEntries(Log()).size(), 4u);  // one run's preparation, workspaces, summary
  EXPECT_EQ(Log().back(), Summary("Succeeded"));
  EXPECT_FALSE(fs::exists(f.app / "Temp"));
}

TEST_F(EndToEndTest, SignalCancelsTheRunAtItsNextSafePoint) {
  ASSERT_EQ(::mkfifo(f.list.c_str(), 0600), 0);
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signal);
    WriteFile(f.output / "RVXFlow.dbf", "earlier");
    WriteFile(f.app / "Work/leftover.dbf", "earlier run");
    fs::remove(f.app / "Active.log");
    const auto before = test::Snapshot(f.output);
    test::StartedProgram run(RIVANET_EXE, {runFile.string()}, f.app);
    const int list = WaitForListCheck(run);
    ASSERT_GE(list, 0) << run.Wait().err;
    ::kill(run.Pid(), signal);
    WaitForCancelNotice(run);
    WriteAndClose(list, "HUC01\nHUC02\n");
    const ProgramResult r = run.Wait();
    EXPECT_EQ(r.exitCode, status) << r.err;
    EXPECT_EQ(Log(), std::vector<std::string>{Summary("Cancelled")});
    EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
    EXPECT_FALSE(fs::exists(f.app / "Work"));
    EXPECT_EQ(test::Changes(before, test::Snapshot(f.output)), test::kNoChanges);
  }
}

TEST_F(EndToEndTest, SecondInterruptEndsTheRunAtOnce) {
  ASSERT_EQ(::mkfifo(f.list.c_str(), 0600), 0);
  test::StartedProgram run(RIVANET_EXE, {runFile.string()}, f.app);
  const int list = WaitForListCheck(run);
  ASSERT_GE(list, 0) << run.Wait().err;
  ::kill(run.Pid(), SIGINT);
  WaitForCancelNotice(run);
  ::kill(run.Pid(), SIGINT);
  ::close(list);  // had the run gone on, the empty list would have failed it: exit status 1
  const ProgramResult r = run.Wait();
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_FALSE(fs::exists(f.app / "Active.log"));
}

}  // namespace
}  // namespace rivanet
