#include "ui/DesktopServices.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QtGlobal>

#include "platform/database/Version.h"
#include "platform/gis/Version.h"
#include "ui/Dialogs.h"

namespace rivanet::ui {

bool OpenBrowser(const QString& address) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

const std::vector<QString>& SystemInfoPrograms() {
  // The desktops' own system overviews first, then the general hardware browsers.
  static const std::vector<QString> programs = {"kinfocenter", "gnome-system-monitor",
                                                "xfce4-about", "hardinfo2", "hardinfo"};
  return programs;
}

void StartSysInfo(Dialogs& dialogs, QWidget* owner) {
  for (const QString& name : SystemInfoPrograms()) {
    const QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty()) continue;
    if (QProcess::startDetached(program, {})) return;
    break;
  }
  ShowMessage(dialogs, owner, "System Information Is Unavailable At This Time");
}

std::vector<LibraryVersion> LibraryVersions() {
  return {gis::GdalVersion(),
          db::SqliteVersion(),
          {LibraryFileOf(reinterpret_cast<const void*>(&qVersion)), qVersion()}};
}

}  // namespace rivanet::ui
