#include "ui/Interactive.h"

#include <QApplication>
#include <cstdlib>
#include <ostream>

#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"

namespace rivanet::ui {
namespace {

std::string NoWindowMessage(const std::string& reason) {
  return "RivanetAppend: cannot open the window: " + reason +
         ".\nRun it on a desktop, or append without a window by giving a run file:\n"
         "  RivanetAppend RUNFILE   (RivanetAppend --help describes the run file)\n";
}

// While QApplication connects to the display, a failure there is fatal to Qt, which would
// abort the program. This handler turns it into the program's own message and exit status.
std::ostream* g_startupErr = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
  if (type == QtFatalMsg && g_startupErr != nullptr) {
    // Qt's own text suggests reinstalling; the cause is nearly always the display itself.
    std::string settings;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
      if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
        settings += std::string(settings.empty() ? "" : ", ") + name + "=" + value;
    }
    *g_startupErr << NoWindowMessage("the display could not be opened" +
                                     (settings.empty() ? "" : " (" + settings + ")"))
                  << std::flush;
    // Nothing has been written or opened yet that an orderly exit would have to close.
    std::_Exit(kExitNoDisplay);
  }
  if (g_previousHandler != nullptr) {
    g_previousHandler(type, context, message);
  } else if (g_startupErr != nullptr) {
    *g_startupErr << message.toStdString() << '\n' << std::flush;
  }
}

}  // namespace

std::string NoDisplayReason(const std::function<const char*(const char*)>& getenv) {
  auto set = [&](const char* name) {
    const char* value = getenv(name);
    return value != nullptr && *value != '\0';
  };
  const char* platformValue = getenv("QT_QPA_PLATFORM");
  const std::string platform = platformValue != nullptr ? platformValue : "";
  if (platform.empty() || platform == "xcb") {
    if (set("DISPLAY")) return {};
    if (platform.empty() && set("WAYLAND_DISPLAY")) return {};
    return platform.empty()
               ? "no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set)"
               : "no display is available (QT_QPA_PLATFORM is xcb but DISPLAY is not set)";
  }
  if (platform.rfind("wayland", 0) == 0 && !set("WAYLAND_DISPLAY") && !set("XDG_RUNTIME_DIR"))
    return "no display is available (QT_QPA_PLATFORM is " + platform +
           " but neither WAYLAND_DISPLAY nor XDG_RUNTIME_DIR is set)";
  // Any other platform (offscreen, vnc, eglfs, ...) is taken at its word; should it fail to
  // start, the start-up handler below reports it.
  return {};
}

int RunInteractive(const std::filesystem::path& appFolder, std::ostream& err) {
  const std::string reason = NoDisplayReason([](const char* name) { return std::getenv(name); });
  if (!reason.empty()) {
    err << NoWindowMessage(reason) << std::flush;
    return kExitNoDisplay;
  }

  g_startupErr = &err;
  g_previousHandler = qInstallMessageHandler(StartupMessageHandler);
  int argc = 1;
  char name[] = "RivanetAppend";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  qInstallMessageHandler(g_previousHandler);
  g_startupErr = nullptr;

  // The program ends when the main window ends it (Quit, close box, error report), not when
  // its last window happens to close.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName("RivanetAppend");
  QtDialogs dialogs;
  MainWindow window(appFolder, dialogs);
  QObject::connect(&window, &MainWindow::programEnded, &app,
                   [](int status) { QCoreApplication::exit(status); });
  window.show();
  return QApplication::exec();
}

}  // namespace rivanet::ui
