#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

namespace rivanet {

class FileSystem;

// Raised when an entry cannot be written to the activity log. It bypasses every error
// report (there is nowhere to write one) and ends the program.
class LogWriteFailure : public std::exception {
 public:
  explicit LogWriteFailure(std::string reason) : m_reason(std::move(reason)) {}
  const char* what() const noexcept override { return m_reason.c_str(); }

 private:
  std::string m_reason;
};

// The append-only activity log Active.log in the application folder, one CR LF line per
// entry: "mm/dd/yyyy  hh:mm:ss <mode word> - <message>". Control characters in a message are
// written escaped (\n, \r, \t, \xNN), so an entry never spans more than one line. The file is
// opened, appended to and closed for every entry, so other programs may read it between entries.
class ActivityLog {
 public:
  // `echo`, when given, receives a copy of every entry (batch runs echo to standard error).
  ActivityLog(FileSystem& files, std::filesystem::path appFolder, bool interactive,
              std::ostream* echo = nullptr);

  // Appends one entry, control characters escaped; throws LogWriteFailure when the file
  // cannot be written.
  void LogEvent(const std::string& message);

  bool Exists() const;
  // Copies Active.log over RivanetAppend.log; throws AppError on failure.
  void MakeLogCopy();
  // As MakeLogCopy when Active.log exists, ignoring any failure.
  void TryMakeLogCopy() noexcept;

 private:
  // The entry text for `message` at the current local time, without the line end.
  std::string FormatEntry(const std::string& message) const;

  FileSystem& m_files;
  std::filesystem::path m_logPath;
  std::filesystem::path m_copyPath;
  bool m_interactive;
  std::ostream* m_echo;
};

}  // namespace rivanet
