#pragma once

#include <QString>
#include <string>
#include <vector>

#include "platform/LibraryVersion.h"

class QWidget;

namespace rivanet::ui {

class Dialogs;

// Opens `address` with the desktop's default handler (a web page in the browser, a folder in
// the file manager). False when the desktop could not open it; the callers say nothing then.
bool OpenBrowser(const QString& address);

// The system-information programs System Info looks for on the PATH, in this order.
const std::vector<QString>& SystemInfoPrograms();

// Starts the first system-information program found on the PATH without waiting for it.
// When none is found or it cannot be started, says "System Information Is Unavailable At This
// Time".
void StartSysInfo(Dialogs& dialogs, QWidget* owner);

// The libraries the program runs on here: GDAL, SQLite and Qt, each with its file and version.
std::vector<LibraryVersion> LibraryVersions();

}  // namespace rivanet::ui
