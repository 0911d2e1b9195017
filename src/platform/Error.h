#pragma once

#include <stdexcept>
#include <string>

#include "platform/Version.h"

namespace rivanet {

// Which numbering an error number belongs to. The same number means different things in
// different schemes (2 is ENOENT to the OS, CPLE_OutOfMemory to GDAL, SQLITE_INTERNAL to SQLite),
// so every error carries its scheme, and the report names it as the error's source.
enum class ErrorScheme {
  Program,  // the program's own numbers (ErrorNumber below)
  Os,       // errno
  Gdal,     // GDAL's CPLErrorNum
  Sqlite,   // SQLite's extended result code
};

// Numbers the program raises itself; they keep the classic run-time numbering so that
// reports read the way users of the tool know them.
enum ErrorNumber : long {
  kErrInvalidArgument = 5,
  kErrOverflow = 6,
  kErrOutOfMemory = 7,
  kErrSubscriptOutOfRange = 9,
  kErrInternal = 51,
  kErrFileNotFound = 53,
  kErrFileAlreadyOpen = 55,
  kErrFileAlreadyExists = 58,
  kErrPermissionDenied = 70,
  kErrPathFileAccess = 75,
  kErrPathNotFound = 76,
};

// The one exception type of the program: every failure, whether raised by the program,
// by the operating system or by a library, travels as an AppError until the named
// procedure that it escapes from turns it into an error report.
class AppError : public std::runtime_error {
 public:
  AppError(long number, std::string description, ErrorScheme scheme = ErrorScheme::Program)
      : std::runtime_error(description),
        m_number(number),
        m_description(std::move(description)),
        m_scheme(scheme) {}

  // An operating-system failure: errno as number, its text plus the path as description.
  static AppError FromErrno(int err, const std::string& path);

  long Number() const { return m_number; }
  const std::string& Description() const { return m_description; }
  ErrorScheme Scheme() const { return m_scheme; }
  // The component that raised it, as error reports name it: "RivanetAppend", "OS", "GDAL",
  // "SQLite".
  std::string Source() const;

 private:
  long m_number;
  std::string m_description;
  ErrorScheme m_scheme;
};

// "RivanetAppend 1.1.7"
std::string VersionText();

}  // namespace rivanet
