#include "runctl/ActivityLog.h"

#include <ctime>
#include <ostream>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"

namespace rivanet {
namespace {

// The message with every control character written out, so that one entry is always one
// line and no text a run reports (a path, a name read from a file) can forge an entry:
// \n, \r and \t by name, the others as \xNN.
std::string OneLine(const std::string& message) {
  std::string line;
  line.reserve(message.size());
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line += c;
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\t') {
      line += "\\t";
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      line += "\\x";
      line += kHex[byte >> 4];
      line += kHex[byte & 0xF];
    }
  }
  return line;
}

}  // namespace

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
  const std::string entry = FormatEntry(OneLine(message));
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
