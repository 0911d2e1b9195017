#include "app/CancelSignals.h"

#include <unistd.h>

#include "runctl/BatchFeedback.h"

namespace rivanet {
namespace {

// What the handler may touch: lock-free atomics and plain system calls only.
BatchFeedback* g_feedback = nullptr;
volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int signal) {
  if (g_signal != 0) _exit(128 + signal);  // asked twice: end now
  g_signal = signal;
  if (g_feedback != nullptr) g_feedback->RequestCancel();
  static const char kNotice[] =
      "RivanetAppend: cancel requested; the run stops at its next safe point "
      "(signal again to end it at once)\n";
  const ssize_t ignored = ::write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
  (void)ignored;
}

}  // namespace

CancelSignals::CancelSignals(BatchFeedback& feedback) {
  g_feedback = &feedback;
  g_signal = 0;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);  // one handler at a time
  sigaddset(&action.sa_mask, SIGTERM);
  // Interrupted file operations carry on; the run looks for the request at its safe points.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &m_previousInt);
  sigaction(SIGTERM, &action, &m_previousTerm);
}

CancelSignals::~CancelSignals() {
  sigaction(SIGINT, &m_previousInt, nullptr);
  sigaction(SIGTERM, &m_previousTerm, nullptr);
  g_feedback = nullptr;
}

int CancelSignals::ExitStatus() const { return g_signal != 0 ? 128 + g_signal : 0; }

}  // namespace rivanet
