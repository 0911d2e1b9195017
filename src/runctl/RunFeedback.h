#pragma once

#include <string>

namespace rivanet {

// Where a run stands, for the progress display: phase `phase`, step `step` of `steps`.
struct RunProgress {
  std::string phase;  // "Features", "Tables", "Grids", ...
  int step = 0;
  int steps = 0;
};

// Everything a run tells the person who watches it, and the one thing it asks them. The
// window implements it with its widgets; a batch run writes to standard error. The driver
// and the phases speak only to this interface, and only through RunMessages for messages.
class RunFeedback {
 public:
  virtual ~RunFeedback() = default;
  // A run begins (window: buttons hidden, status label and Cancel shown, busy pointer).
  virtual void RunStarted() = 0;
  // A run has ended (window: idle look again).
  virtual void RunEnded() = 0;
  // The status text of the moment ("Appending RVXArea for Workspace: U001"). Never logged.
  virtual void Status(const std::string& text) = 0;
  virtual void Progress(const RunProgress& progress) = 0;
  // A modal message with the application title as caption and an OK button. Not for
  // direct use: RunMessages decides whether a message is shown, logged or both.
  virtual void ShowMessage(const std::string& text) = 0;
  // True once the user has asked the run to stop (Cancel, Ctrl-C).
  virtual bool CancelRequested() = 0;
  // The error path is about to report: the pointer goes back to normal.
  virtual void RestorePointer() = 0;
};

}  // namespace rivanet
