#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>
#include <optional>

#include "ScriptedDialogs.h"
#include "platform/Error.h"
#include "runctl/RunLock.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"
#include "ui/ClickableLabel.h"
#include "ui/MainWindow.h"
#include "ui/PictureButton.h"

namespace rivanet::ui {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;
using Reply = test::ScriptedDialogs::Reply;

const std::string kInputPrompt =
    "folder Select the folder where the Rivanet input workspaces are located.";
const std::string kOutputPrompt =
    "folder Select the output folder where the appended data will reside.";
const std::string kListDialog =
    "file Select the file containing the list of workspaces to be appended.. | Input List File "
    "(*.txt)";
std::string VerifyInput(const fs::path& p) {
  return "box Verify Input Folder [Yes,No,Cancel] Is " + p.string() +
         " the folder containing the Rivanet workspaces to be appended?";
}
std::string VerifyOutput(const fs::path& p) {
  return "box Verify Output Folder [Yes,No,Cancel] Is " + p.string() +
         " the folder in which to append the Rivanet workspaces?";
}
std::string Overwrite(const fs::path& p) {
  return "box Overwrite Existing Workspace [Yes,No] The folder " + p.string() +
         " may already contain a valid Rivanet workspace.  Do you want to overwrite it?";
}
std::string VerifyList(const fs::path& p) {
  return "box Verify Input List File [Yes,No,Cancel] Is " + p.string() +
         " the file containing input list you want to process?";
}
std::string Box(const std::string& text) { return "box RivanetAppend [OK] " + text; }

using enum Answer;

// A main window on the run fixture's application folder, answered by a script.
class MainWindowTest : public test::RunFixture {
 protected:
  MainWindowTest() {
    test::MakeWorkspace(f.input, "HUC01", {"readme.txt"});
    test::MakeWorkspace(f.input, "HUC02");
    WriteFile(f.list, "HUC01\r\nHUC02\r\n");
    OpenWindow();
  }
  void OpenWindow() {
    window = std::make_unique<MainWindow>(f.app, dialogs);
    ended.reset();
    QObject::connect(window.get(), &MainWindow::programEnded,
                     [this](int status) { ended = status; });
  }

  // Press and release picture button `number`; the command runs on the release.
  void Click(int number, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(window->PictureBox(number), button);
  }
  // What the desktop sends for a double click: press, release, double click, release.
  void DoubleClick(int number) {
    Click(number);
    QTest::mouseDClick(window->PictureBox(number), Qt::LeftButton);
    QTest::mouseRelease(window->PictureBox(number), Qt::LeftButton);
  }
  void WaitForRun() {
    while (window->RunInProgress()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  bool Idle() const {
    for (int i = 1; i <= 5; ++i)
      if (window->PictureBox(i)->isHidden()) return false;
    return window->StatusLabel()->isHidden() && window->CancelButton()->isHidden();
  }
  // The answers that start a run from `out` with the fixture's list.
  void ScriptRun(const fs::path& out) {
    dialogs.script = {f.input.string(), Yes, out.string(), Yes, f.list.string(), Yes};
  }
  std::string Summary(const char* status) const {
    return VersionText() + " processed " + f.list.string() +
           " and ran for M minutes and S seconds and " + status;
  }

  test::ScriptedDialogs dialogs;
  std::unique_ptr<MainWindow> window;
  std::optional<int> ended;
};

// Select Data stops silently wherever the user declines, and runs once every answer is yes;
// the list lies in a folder whose name has blanks and accented letters.
TEST_F(MainWindowTest, SelectDataAsksInOrderAndStopsOrRunsAsAnswered) {
  f.list = f.input / "Listen für Läufe ñ" / "liste å.txt";
  WriteFile(f.list, "HUC01\r\nHUC02\r\n");
  const fs::path in = f.input, out = f.output, list = f.list;
  struct Case {
    const char* what;
    std::vector<Reply> script;
    std::vector<std::string> shown;
  };
  const std::vector<Case> cases = {
      {"folder browser cancelled", {std::string()}, {kInputPrompt}},
      {"input folder question cancelled", {in.string(), Cancel}, {kInputPrompt, VerifyInput(in)}},
      {"No asks again; overwrite No ends the command",
       {in.string(), No, in.string(), Yes, out.string(), Yes, No},
       {kInputPrompt, VerifyInput(in), kInputPrompt, VerifyInput(in), kOutputPrompt,
        VerifyOutput(out), Overwrite(out)}},
      {"list dialog cancelled, no overwrite question without Drainage",
       {in.string(), Yes, out.string(), Yes, std::string()},
       {kInputPrompt, VerifyInput(in), kOutputPrompt, VerifyOutput(out), kListDialog}},
      {"list question cancelled",
       {in.string(), Yes, out.string(), Yes, list.string(), Cancel},
       {kInputPrompt, VerifyInput(in), kOutputPrompt, VerifyOutput(out), kListDialog,
        VerifyList(list)}},
      {"all answered, the output folder on the second try",
       {in.string(), Yes, out.string(), No, out.string(), Yes, Yes, list.string(), Yes},
       {kInputPrompt, VerifyInput(in), kOutputPrompt, VerifyOutput(out), kOutputPrompt,
        VerifyOutput(out), Overwrite(out), kListDialog, VerifyList(list),
        Box("Finished running " + list.string())}},
  };
  int started = 0;
  QObject::connect(window.get(), &MainWindow::runStarted, [&] { ++started; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // An output folder holding Drainage brings the overwrite question.
    const bool existing = std::count(c.shown.begin(), c.shown.end(), Overwrite(out)) > 0;
    const bool runs = c.shown.back().rfind(Box("Finished"), 0) == 0;
    fs::remove_all(f.output / "Drainage");
    if (existing) fs::create_directories(f.output / "Drainage");
    dialogs.shown.clear();
    dialogs.script.assign(c.script.begin(), c.script.end());
    Click(2, existing ? Qt::RightButton : Qt::LeftButton);  // any mouse button
    WaitForRun();
    EXPECT_EQ(dialogs.shown, c.shown);
    EXPECT_TRUE(dialogs.script.empty());
    EXPECT_EQ(started, runs ? 1 : 0);
    EXPECT_EQ(fs::exists(f.app / "Active.log"), runs);
    EXPECT_TRUE(Idle());
  }
  EXPECT_EQ(Log().back(), Summary("Succeeded"));
  EXPECT_FALSE(ended);
}

TEST_F(MainWindowTest, MissingSettingsFileIsToldOnceAndLoggedWithoutADialog) {
  fs::remove(f.app / "RivanetAppend.ini");
  Click(2);
  const std::string message =
      "The file RivanetAppend.ini is missing from the " + f.app.string() + " directory";
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{Box(message)});
  EXPECT_EQ(Log(), std::vector<std::string>{message});
  EXPECT_NE(ReadFile(f.app / "Active.log").find(" Non-Batch Run - The file"), std::string::npos);
  EXPECT_TRUE(Idle());
}

// Cancel, or closing the window, lands mid-run: the run waits while the window takes on its
// running look. Closing ends the program once the run has wound up.
TEST_F(MainWindowTest, CancelOrCloseStopsTheRunAtItsNextSafePointAndClicksMeanwhileDoNothing) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close box" : "Cancel");
    ScriptRun(f.output);
    dialogs.shown.clear();
    const auto stop = QObject::connect(window.get(), &MainWindow::runStarted, [&] {
      EXPECT_FALSE(window->CancelButton()->isHidden());  // the running look
      EXPECT_TRUE(window->PictureBox(2)->isHidden());
      if (close)
        EXPECT_FALSE(window->close());
      else
        QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
    });
    Click(2);
    // The run has begun but the window has not yet hidden its buttons: a double click on
    // Delete Log reaches it and must do nothing.
    ASSERT_TRUE(window->RunInProgress());
    DoubleClick(3);
    WaitForRun();
    QObject::disconnect(stop);

    EXPECT_EQ(dialogs.shown.size(), 7u);  // the six questions and dialogs, then the last box
    EXPECT_EQ(dialogs.shown.back(), Box("Finished running " + f.list.string()));
    EXPECT_EQ(Log(), std::vector<std::string>{Summary("Cancelled")});
    EXPECT_FALSE(fs::exists(f.output / "Drainage"));  // stopped before the output was prepared
    EXPECT_EQ(ended, close ? std::optional<int>(0) : std::nullopt);
    EXPECT_TRUE(Idle());
    fs::remove(f.app / "Active.log");
  }
  EXPECT_TRUE(window->CancelButton()->isEnabled());
}

TEST_F(MainWindowTest, ARunHeldByAnotherProcessIsRefusedWithoutTouchingTheLog) {
  const FileLock other = LockApplicationFolder(f.app);
  ScriptRun(f.output);
  Click(2);
  WaitForRun();
  ASSERT_EQ(dialogs.shown.size(), 7u);
  EXPECT_NE(dialogs.shown.back().find(
                "is in use by another run) in procedure Picture2_MouseUp of Form frmMain"),
            std::string::npos)
      << dialogs.shown.back();
  EXPECT_FALSE(fs::exists(f.app / "Active.log"));
  EXPECT_TRUE(Idle());
  EXPECT_FALSE(ended);
}

TEST_F(MainWindowTest, ARunErrorIsReportedInABoxLoggedAndEndsTheProgram) {
  // An output folder the run cannot write into. Root writes anywhere, but not below a file.
  fs::path out = f.output;
  const bool root = ::geteuid() == 0;
  if (root) {
    out = dir / "output-file";
    WriteFile(out, "not a folder");
  } else {
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
  }
  ScriptRun(out);
  Click(2);
  WaitForRun();
  if (!root) fs::permissions(out, fs::perms::owner_all);

  const std::string report = dialogs.shown.back().substr(Box("").size());
  EXPECT_EQ(report.rfind("Error ", 0), 0u) << report;
  EXPECT_NE(report.find(" of Module mdlSubMain Error Source:"), std::string::npos) << report;
  EXPECT_EQ(Log().back(), report);
  EXPECT_EQ(ended, 2);
  EXPECT_TRUE(window->PictureBox(2)->isHidden());  // it ends in the running look
}

TEST_F(MainWindowTest, DeleteLogDeletesBothLogsAndPassesSilentlyOverWhatItCannotDelete) {
  enum State { kNone, kFile, kFolder };  // a folder stands for a log that cannot be deleted
  struct Case {
    const char* what;
    Answer answer;
    State active;
    bool activeLeft, copyLeft;
  };
  const Case cases[] = {
      {"OK", Ok, kFile, false, false},
      {"Cancel", Cancel, kFile, true, true},
      {"OK, Active.log undeletable", Ok, kFolder, true, false},
      {"OK, no Active.log", Ok, kNone, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(f.app / "Active.log");
    if (c.active == kFolder) fs::create_directories(f.app / "Active.log");
    if (c.active == kFile) WriteFile(f.app / "Active.log", "log");
    WriteFile(f.app / "RivanetAppend.log", "copy");
    dialogs.shown.clear();
    dialogs.script = {c.answer};
    Click(3);
    EXPECT_EQ(dialogs.shown,
              std::vector<std::string>{
                  "box Confirm Delete [OK,Cancel] Are you sure you want to delete the log file?"});
    EXPECT_EQ(fs::exists(f.app / "Active.log"), c.activeLeft);
    EXPECT_EQ(fs::exists(f.app / "RivanetAppend.log"), c.copyLeft);
  }
  EXPECT_FALSE(ended);
}

TEST_F(MainWindowTest, QuitCopiesTheLogAndTheCloseBoxDoesNot) {
  struct Case {
    const char* what;
    bool quit;  // else the close box
    bool activeLog;
    std::optional<std::string> copyAfter;
  };
  const Case cases[] = {
      {"Quit with a log", true, true, "new"},
      {"Quit without a log", true, false, std::nullopt},
      {"close box with a log", false, true, "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenWindow();
    window->show();
    fs::remove(f.app / "Active.log");
    fs::remove(f.app / "RivanetAppend.log");
    if (c.activeLog) {
      WriteFile(f.app / "Active.log", "new");
      WriteFile(f.app / "RivanetAppend.log", "old");
    }
    if (c.quit)
      Click(5);
    else
      window->close();
    EXPECT_EQ(ended, 0);
    EXPECT_FALSE(window->isVisible());
    if (c.copyAfter)
      EXPECT_EQ(ReadFile(f.app / "RivanetAppend.log"), *c.copyAfter);
    else
      EXPECT_FALSE(fs::exists(f.app / "RivanetAppend.log"));
  }
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MainWindowTest, AboutAndHelpAreSingleAndAboutTellsTheLibraryVersions) {
  // The form's twips come out as pixels rounded to the nearest.
  EXPECT_EQ(window->size(), QSize(639, 480));
  PictureButton* box = window->PictureBox(1);
  EXPECT_EQ(box->geometry(), QRect(7, 4, 113, 31));
  // A press shows the box pushed in (24 x 12 twips: 2 px right, 1 down), the release puts it
  // back and runs the command, whichever mouse button it was.
  QTest::mousePress(box, Qt::RightButton);
  EXPECT_EQ(box->pos(), QPoint(9, 5));
  EXPECT_EQ(window->About(), nullptr);
  QTest::mouseRelease(box, Qt::RightButton);
  EXPECT_EQ(box->pos(), QPoint(7, 4));
  AboutWindow* about = window->About();
  ASSERT_NE(about, nullptr);
  Click(1);
  EXPECT_EQ(window->About(), about);
  Click(4);
  HelpWindow* help = window->Help();
  ASSERT_NE(help, nullptr);
  Click(4);
  EXPECT_EQ(window->Help(), help);

  QTest::mouseClick(about->TitleLabel(), Qt::LeftButton);
  ASSERT_EQ(dialogs.shown.size(), 3u);
  const char* libraries[] = {"libgdal", "libsqlite3", "libQt6Core"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(dialogs.shown[i].rfind(Box("The version of /"), 0), 0u) << dialogs.shown[i];
    EXPECT_NE(dialogs.shown[i].find(libraries[i]), std::string::npos) << dialogs.shown[i];
    EXPECT_NE(dialogs.shown[i].find(" on this system is "), std::string::npos) << dialogs.shown[i];
  }

  // No system-information program on the PATH.
  dialogs.shown.clear();
  test::ScopedEnv path("PATH", dir.Path().string());
  QTest::mouseClick(about->SysInfoButton(), Qt::LeftButton);
  EXPECT_EQ(dialogs.shown,
            std::vector<std::string>{Box("System Information Is Unavailable At This Time")});
}

}  // namespace
}  // namespace rivanet::ui
