#pragma once

#include <exception>
#include <string>

namespace rivanet {

struct RunContext;

// The one rule of where a message of a run goes. Every message a run has for its user passes
// through here, so that none is logged twice or lost in one of the two run modes.
enum class MessageKind {
  // Logged in every run and also shown in a window run, box first: the run's checks, missing
  // feature classes, values a phase could not match.
  Logged,
  // Shown in a window run only (the box that ends a run, the data-error notice); a batch run
  // has the exit status and the log.
  WindowOnly,
};

void Tell(RunContext& ctx, MessageKind kind, const std::string& text);

// Raised at a safe point of a run once the user has asked it to stop. It passes every named
// procedure unreported; the driver runs its closing sequence with the status "Cancelled".
class RunCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "The run was cancelled"; }
};

// A safe point: throws RunCancelled when the user has asked the run to stop.
void StopIfCancelled(RunContext& ctx);

}  // namespace rivanet
