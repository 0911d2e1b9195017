#pragma once

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunMessages.h"

namespace rivanet {

struct RunContext;

inline constexpr std::string_view kModuleSubMain = "Module mdlSubMain";

// How the end of the program handles a report.
enum class ErrorTail {
  Standard,        // box in interactive runs, log line, log copy
  WithoutLogCopy,  // as Standard but no log copy (the start-up procedure)
  BoxAlways,       // log line first, then the box (a batch run has only the log line)
};

// An error that a named procedure has turned into its report. It travels unchanged past
// every outer procedure to the top level, which writes it and ends the program.
class ReportedError : public std::exception {
 public:
  ReportedError(std::string report, ErrorTail tail) : m_report(std::move(report)), m_tail(tail) {}
  const char* what() const noexcept override { return m_report.c_str(); }
  const std::string& Report() const { return m_report; }
  ErrorTail Tail() const { return m_tail; }

 private:
  std::string m_report;
  ErrorTail m_tail;
};

// "Error <n> (<description>) in procedure <p> of <container> Error Source:<source> occurred
// at line <line>"
std::string ErrorReportText(const AppError& error, std::string_view procedure,
                            std::string_view container, long line = 0);

// Turns a failure of any kind into an AppError (unexpected exceptions included).
AppError AsAppError(const std::exception& e);

// Runs `body` as the named procedure: an error escaping it becomes that procedure's report.
// A report made by an inner procedure passes through untouched.
template <class Body>
decltype(auto) InProcedure(std::string_view procedure, Body&& body,
                           std::string_view container = kModuleSubMain,
                           ErrorTail tail = ErrorTail::Standard) {
  try {
    return body();
  } catch (const ReportedError&) {
    throw;
  } catch (const LogWriteFailure&) {
    throw;
  } catch (const RunCancelled&) {
    throw;
  } catch (const std::exception& e) {
    throw ReportedError(ErrorReportText(AsAppError(e), procedure, container), tail);
  }
}

// The end of the program after a report: pointer back, box (interactive), log line, log copy
// where the tail asks for it. Returns the exit status the program ends with.
int EndWithReport(RunContext& ctx, const ReportedError& error);

// The end of the program after the activity log could not be written.
int EndWithLogFailure(RunContext& ctx, const LogWriteFailure& failure);

inline constexpr int kExitSucceeded = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitErrorReport = 2;
inline constexpr int kExitNoRunFile = 3;

}  // namespace rivanet
