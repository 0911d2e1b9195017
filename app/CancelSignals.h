#pragma once

#include <csignal>

namespace rivanet {

class BatchFeedback;

// While it lives, Ctrl-C (SIGINT) and termination (SIGTERM) ask the batch run to cancel: the
// run stops at its next safe point and closes as "Cancelled". A second signal ends the
// program at once, for a user who cannot wait for that point. The previous handlers come back
// when the object ends.
class CancelSignals {
 public:
  explicit CancelSignals(BatchFeedback& feedback);
  ~CancelSignals();
  CancelSignals(const CancelSignals&) = delete;
  CancelSignals& operator=(const CancelSignals&) = delete;

  // The exit status of a run cancelled by a signal, as shells report one: 128 + the signal
  // (130 for SIGINT, 143 for SIGTERM); 0 when no signal came.
  int ExitStatus() const;

 private:
  struct sigaction m_previousInt {};
  struct sigaction m_previousTerm {};
};

}  // namespace rivanet
