#include "runctl/ErrorReport.h"

#include <iostream>

#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"

namespace rivanet {

std::string ErrorReportText(const AppError& error, std::string_view procedure,
                            std::string_view container, long line) {
  std::string text =
      "Error " + std::to_string(error.Number()) + " (" + error.Description() + ") in procedure ";
  text.append(procedure);
  text += " of ";
  text.append(container);
  text += " Error Source:" + error.Source() + " occurred at line " + std::to_string(line);
  return text;
}

AppError AsAppError(const std::exception& e) {
  if (const auto* app = dynamic_cast<const AppError*>(&e)) return *app;
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr)
    return AppError(kErrOutOfMemory, "Out of memory");
  return AppError(kErrInternal, std::string("Internal error: ") + e.what());
}

int EndWithReport(RunContext& ctx, const ReportedError& error) {
  try {
    ctx.feedback.RestorePointer();
    if (error.Tail() == ErrorTail::BoxAlways) {
      ctx.log.LogEvent(error.Report());
      if (ctx.interactive) ctx.feedback.ShowMessage(error.Report());
    } else {
      Tell(ctx, MessageKind::Logged, error.Report());
    }
    if (error.Tail() == ErrorTail::Standard) ctx.log.TryMakeLogCopy();
  } catch (const LogWriteFailure& failure) {
    return EndWithLogFailure(ctx, failure);
  }
  return kExitErrorReport;
}

int EndWithLogFailure(RunContext& ctx, const LogWriteFailure& failure) {
  ctx.feedback.RestorePointer();
  if (ctx.interactive) {
    ctx.feedback.ShowMessage("Error in Function LogEvent. Unable to write to Active.Log");
  } else {
    // A batch run has no box; say why it stopped on standard error rather than not at all.
    std::cerr << "Error in Function LogEvent. Unable to write to Active.Log (" << failure.what()
              << ")" << std::endl;
  }
  return kExitErrorReport;
}

}  // namespace rivanet
