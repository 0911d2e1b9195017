// Draws the main window's two looks into PNG files for the README:
//   window-idle.png     the five commands on the background picture
//   window-running.png  a run in progress: status line, progress bar, Cancel
// Run it on an X display, e.g. a virtual one:
//   xvfb-run -s "-screen 0 800x600x24" build/tools/screenshots/rivanet-screenshots docs
// The running look is put on through the window's run feedback, exactly as a run does, with
// a status text and progress of the kind the phases report.
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <filesystem>
#include <iostream>

#include "runctl/RunFeedback.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"

namespace {

bool Save(rivanet::ui::MainWindow& window, const std::filesystem::path& file) {
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(25);
  }
  QPixmap shot = window.screen()->grabWindow(window.winId());
  if (shot.isNull()) shot = window.grab();
  if (!shot.save(QString::fromStdString(file.string()), "PNG")) {
    std::cerr << "cannot write " << file << '\n';
    return false;
  }
  std::cout << "wrote " << file << '\n';
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: rivanet-screenshots OUTPUT_FOLDER\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  QApplication app(argc, argv);
  rivanet::ui::QtDialogs dialogs;
  rivanet::ui::MainWindow window(std::filesystem::temp_directory_path(), dialogs);
  window.move(0, 0);
  window.show();
  if (!Save(window, folder / "window-idle.png")) return 1;

  rivanet::RunFeedback& run = window.Feedback();
  run.RunStarted();
  run.Status("Appending RVXFlowline for Workspace: HUC05120111");
  run.Progress({"Features", 2, 9});
  if (!Save(window, folder / "window-running.png")) return 1;
  run.RunEnded();
  return 0;
}
