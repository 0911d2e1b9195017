// Runs the real executable in temporary application folders, as a batch user would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

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
  // The preparation, one entry per feature class, the tables' entries, one entry per grid and
  // the catchment table, each phase closed by its time; then the closing lines.
  const std::vector<std::string> log = Log();
  const auto at = [&](const char* entry) { return std::find(log.begin(), log.end(), entry); };
  const std::string from = " from input file " + f.list.string();
  EXPECT_EQ(log.front(), VersionText() + " preparing output folder " + f.output.string() + from);
  EXPECT_EQ(at("Feature class phase took S seconds") - log.begin(),
            static_cast<std::ptrdiff_t>(schema::ShippedSchema().featureSteps.size() + 1));
  EXPECT_LT(at("Feature class phase took S seconds"), at("Table phase took S seconds"));
  EXPECT_EQ(at("Grid phase took S seconds") - at("Table phase took S seconds"), 6);
  EXPECT_EQ(std::vector<std::string>(at("Grid phase took S seconds"), log.end()),
            (std::vector<std::string>{
                "Grid phase took S seconds", VersionText() + " processed folder unit_U001" + from,
                VersionText() + " processed folder unit_U002" + from, Summary("Succeeded")}));
  // Each entry is echoed on standard error.
  EXPECT_NE(r.err.find(" Batch Run - " + log[1]), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
  EXPECT_FALSE(fs::exists(f.app / "Work"));
  EXPECT_EQ(ReadFile(f.output / "huc02.txt"), "from U002");
  EXPECT_GT(fs::file_size(f.output / "hydrography/RVXFlowline.shp"),
            fs::file_size(f.app / "Skel/hydrography/RVXFlowline.shp"));
}

// Without its settings the program once took its own folder for the skeleton and copied it
// into its own Work folder until the disk was full. Every failed check ends this way; the
// driver's tests go through them all.
TEST_F(EndToEndTest, FailedCheckEndsQuicklyWithStatusOneAndTheOutputUntouched) {
  WriteFile(f.list, "HUC01\r\nHUC02\r\n");
  WriteFile(f.output / "RVXFlow.dbf", "earlier");
  fs::remove(f.app / "RivanetAppend.ini");
  // Everything but the log, its copy and the lock file.
  const std::vector<std::string> skip = {"app/Active.log", "app/RivanetAppend.l"};
  const auto before = test::Snapshot(dir.Path(), skip);
  EXPECT_EQ(Run({runFile.string()}).exitCode, 1);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "The skeleton folder is missing: the settings file " +
                           (f.app / "RivanetAppend.ini").string() + " does not exist",
                       Summary("Failed"),
                       "RivanetAppend encountered data errors during processing of input file - " +
                           f.list.string()}));
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
  EXPECT_EQ(test::Changes(before, test::Snapshot(dir.Path(), skip)), test::kNoChanges);
}

// A path that would forge a log entry is written with its control characters spelled out, as
// every entry is, so that no message can make a second line.
TEST_F(EndToEndTest, CommandLineThatNamesNoFileLogsOneLine) {
  const std::pair<fs::path, fs::path> cases[] = {
      {dir / "absent.ini", dir / "absent.ini"},
      {dir / "job", dir / "job"},  // a folder
      {dir / "x\r\n01/01/2020  00:00:00 Batch Run - forged\t\x1B",
       dir / "x\\r\\n01/01/2020  00:00:00 Batch Run - forged\\t\\x1B"}};
  for (const auto& [path, shown] : cases) {
    fs::remove(f.app / "Active.log");
    EXPECT_EQ(Run({path.string()}).exitCode, 3);
    EXPECT_EQ(Log(), std::vector<std::string>{shown.string() + " was not a valid file/database"});
    EXPECT_NE(ReadFile(f.app / "Active.log").find(" Batch Run - "), std::string::npos);
    EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
  }
}

TEST_F(EndToEndTest, RunTimeErrorsEndWithAReport) {
  WriteFile(f.list, "HUC01\nHUC02\n");
  fs::remove_all(f.output);
  EXPECT_EQ(Run({runFile.string()}).exitCode, 2);
  EXPECT_EQ(Log().back(), "Error 2 (No such file or directory: " + f.output.string() +
                              ") in procedure ProcessWS of Module mdlSubMain Error Source:OS "
                              "occurred at line 0");
  EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));

  // A bad run file is reported by Main, which makes no log copy.
  fs::remove(f.app / "Active.log");
  fs::remove(f.app / "RivanetAppend.log");
  WriteFile(runFile, "[Run]\r\nInputFolder=in\r\nListFile=list.txt\r\n");
  EXPECT_EQ(Run({runFile.string()}).exitCode, 2);
  EXPECT_EQ(Log(), std::vector<std::string>{
                       "Error 5 (Run file " + runFile.string() +
                       " has no OutputFolder= in its [Run] section) in procedure Main of Module "
                       "mdlSubMain Error Source:RivanetAppend occurred at line 0"});
  EXPECT_FALSE(fs::exists(f.app / "RivanetAppend.log"));

  fs::remove(f.app / "Active.log");
  fs::create_directories(f.app / "Active.log");  // the log cannot be opened for appending
  const ProgramResult r = Run({(dir / "absent.ini").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("Unable to write to Active.Log"), std::string::npos) << r.err;
}

// A run held in its list check refuses a second run on its application folder, which touches
// nothing; then SIGINT or SIGTERM cancels it at its next safe point (the end of the check), and
// a second Ctrl-C ends it at once.
TEST_F(EndToEndTest, HeldRunRefusesASecondAndSignalsCancelIt) {
  // The list is a pipe: a started run waits in its list check until the test writes the list.
  ASSERT_EQ(::mkfifo(f.list.c_str(), 0600), 0);
  struct Case {
    int signal, status;
    bool twice;
  };
  for (const Case c :
       {Case{SIGINT, 130, false}, Case{SIGTERM, 143, false}, Case{SIGINT, 130, true}}) {
    SCOPED_TRACE(::testing::Message() << c.signal << (c.twice ? " twice" : ""));
    WriteFile(f.output / "RVXFlow.dbf", "earlier");
    fs::remove(f.app / "Active.log");
    const auto output = test::Snapshot(f.output);
    test::StartedProgram run(RIVANET_EXE, {runFile.string()}, f.app);
    int list = -1;  // the pipe's writing end, once the run has opened it
    for (; list < 0 && run.Running(); std::this_thread::yield())
      list = ::open(f.list.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(list, 0) << run.Wait().err;

    // The held run has logged nothing yet; the list is its pipe, which only it may read. A
    // second run that went on would wait on that pipe too, so it is given ten seconds.
    const auto before = test::Snapshot(dir.Path(), {"input/list.txt"});
    test::StartedProgram refused(RIVANET_EXE, {runFile.string()}, f.app);
    for (int i = 0; i < 1000 && refused.Running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(refused.Running()) << "a second run on the same application folder went on";
    const ProgramResult second = refused.Wait();
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_NE(
        second.err.find("The application folder " + f.app.string() + " is in use by another run"),
        std::string::npos)
        << second.err;
    EXPECT_EQ(test::Changes(before, test::Snapshot(dir.Path(), {"input/list.txt"})),
              test::kNoChanges);

    ::kill(run.Pid(), c.signal);
    while (run.ErrSoFar().find("cancel") == std::string::npos && run.Running())
      std::this_thread::yield();
    if (c.twice) {
      ::kill(run.Pid(), c.signal);
      ::close(list);  // had the run gone on, the empty list would have failed it: exit status 1
    } else {
      ASSERT_EQ(::write(list, "HUC01\nHUC02\n", 12), 12);
      ::close(list);
    }
    const ProgramResult r = run.Wait();
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    if (c.twice) {
      EXPECT_FALSE(fs::exists(f.app / "Active.log"));
      continue;
    }
    EXPECT_EQ(Log(), std::vector<std::string>{Summary("Cancelled")});
    EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), ReadFile(f.app / "Active.log"));
    EXPECT_EQ(test::Changes(output, test::Snapshot(f.output)), test::kNoChanges);
  }
}

}  // namespace
}  // namespace rivanet
