#pragma once

#include <stdexcept>
#include <string>

namespace rivanet {

// The program's title, also the source of every error it raises itself.
inline constexpr const char* kAppTitle = "RivanetAppend";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 7;

// Error numbers the program raises itself; they keep the classic run-time numbering so
// that reports read the same as users know them.
enum ErrorNumber : long {
  kErrInvalidArgument = 5,
  kErrOverflow = 6,
  kErrSubscriptOutOfRange = 9,
  kErrFileNotFound = 53,
  kErrPathFileAccess = 75,
  kErrPathNotFound = 76,
};

// The one exception type of the program: every failure, whether raised by the program,
// by the operating system or by a library, travels as an AppError until the named
// procedure that it escapes from turns it into an error report.
class AppError : public std::runtime_error {
 public:
  AppError(long number, std::string description, std::string source = kAppTitle)
      : std::runtime_error(description),
        m_number(number),
        m_description(std::move(description)),
        m_source(std::move(source)) {}

  // An operating-system failure: errno as number, its text plus the path as description.
  static AppError FromErrno(int err, const std::string& path);

  long Number() const { return m_number; }
  const std::string& Description() const { return m_description; }
  const std::string& Source() const { return m_source; }

 private:
  long m_number;
  std::string m_description;
  std::string m_source;
};

// "RivanetAppend 1.1.7"
std::string VersionText();

}  // namespace rivanet
