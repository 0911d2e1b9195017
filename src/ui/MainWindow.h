#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "runctl/RunContext.h"
#include "ui/AboutWindow.h"
#include "ui/HelpWindow.h"
#include "ui/WindowFeedback.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

namespace rivanet {
class ActivityLog;
class FileSystem;
}  // namespace rivanet

namespace rivanet::ui {

class Dialogs;
class PictureButton;
struct RunPaths;

// frmMain, the window of an interactive run: five picture buttons (About, Select Data, Delete
// Log, Help, Quit) on the background picture; during a run the status line, a progress bar and
// Cancel instead. A run goes on a worker thread, so the window stays responsive and Cancel is
// heard; the run's feedback comes back to this thread (WindowFeedback). While a run is in
// progress no other command starts.
class MainWindow : public QWidget, private RunView {
  Q_OBJECT

 public:
  MainWindow(std::filesystem::path appFolder, Dialogs& dialogs);
  ~MainWindow() override;

  PictureButton* PictureBox(int number) const { return m_boxes.at(number - 1); }
  QLabel* StatusLabel() const { return m_status; }
  QProgressBar* ProgressBar() const { return m_progress; }
  QPushButton* CancelButton() const { return m_cancel; }
  AboutWindow* About() const { return m_about; }
  HelpWindow* Help() const { return m_help; }
  bool RunInProgress() const { return m_runThread != nullptr; }
  // The run's feedback to this window, for a run on this window's thread.
  RunFeedback& Feedback() { return m_feedback; }

 signals:
  // The running look is on: a run has begun its work.
  void runStarted();
  // A run has returned and the window is idle again.
  void runFinished();
  // The program is to end with this exit status (Quit, the close box, an error report).
  void programEnded(int exitStatus);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Runs a window event handler; an error in it ends the program with a report naming the
  // handler as a procedure of Form frmMain.
  void Handle(std::string_view handler, const std::function<void()>& body);
  void ConnectPictureBox(int number, const std::function<void()>& command);

  void SelectData();
  void DeleteLog();
  void Quit();
  void ShowAbout();
  void ShowHelp();
  void StartRun(const RunPaths& paths);
  // The run on its worker thread: the exit status when it ended the program with a report.
  std::optional<int> RunOnWorker(const RunPaths& paths);
  void OnRunThreadFinished();
  void EndProgram(int exitStatus);

  // RunView
  void ShowRunningLook() override;
  void ShowIdleLook() override;
  void ShowStatus(const std::string& text) override;
  void ShowProgress(const RunProgress& progress) override;
  void ShowRunMessage(const std::string& text) override;
  void RestoreDefaultPointer() override;

  std::filesystem::path m_appFolder;
  Dialogs& m_dialogs;
  std::unique_ptr<FileSystem> m_files;
  std::unique_ptr<ActivityLog> m_log;
  WindowFeedback m_feedback;
  RunContext m_ctx;

  QPixmap m_picture;
  std::array<PictureButton*, 5> m_boxes{};
  QLabel* m_status = nullptr;
  QProgressBar* m_progress = nullptr;
  QPushButton* m_cancel = nullptr;
  QPointer<AboutWindow> m_about;
  QPointer<HelpWindow> m_help;

  QThread* m_runThread = nullptr;
  std::optional<int> m_runExit;  // written by the worker, read after it has finished
  bool m_closeAfterRun = false;  // the close box was used during a run
  bool m_ending = false;         // the program is ending; closing is the program's own
};

}  // namespace rivanet::ui
