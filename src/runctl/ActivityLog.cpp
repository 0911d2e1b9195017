#include "runctl/ActivityLog.h"

#include <ctime>
#include <ostream>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"

namespace rivanet {

ActivityLog::ActivityLog(FileSystem& files, std::filesystem::path appFolder, bool interactive,
                         std::ostream* echo)
    : m_files(files),
      m_logPath(appFolder / "Active.log"),
      m_copyPath(appFolder / (std::string(kAppTitle) + ".log")),
      m_interactive(interactive),
      m_echo(echo) {}

std::string ActivityLog::FormatEntry(const std::string& message) const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%m/%d/%Y  %H:%M:%S", &local);
  return std::string(stamp) + " " + (m_interactive ? "Non-Batch Run" : "Batch Run") + " - " +
         message;
}

void ActivityLog::LogEvent(const std::string& message) {
  const std::string entry = FormatEntry(message);
  if (m_echo != nullptr) *m_echo << entry << '\n' << std::flush;
  try {
    m_files.AppendText(m_logPath, entry + "\r\n");
  } catch (const AppError& e) {
    throw LogWriteFailure(e.Description());
  }
}

bool ActivityLog::Exists() const { return m_files.FileExists(m_logPath); }

void ActivityLog::MakeLogCopy() { m_files.CopyFile(m_logPath, m_copyPath); }

void ActivityLog::TryMakeLogCopy() noexcept {
  try {
    if (Exists()) MakeLogCopy();
  } catch (...) {
    // The copy is a convenience; the log itself is complete.
  }
}

}  // namespace rivanet
