#pragma once

#include <atomic>
#include <iosfwd>

#include "runctl/RunFeedback.h"

namespace rivanet {

// The feedback of a batch run: status texts and progress go to standard error one line
// each; a cancel request comes from a signal handler through RequestCancel.
class BatchFeedback : public RunFeedback {
 public:
  explicit BatchFeedback(std::ostream& err) : m_err(err) {}

  void RunStarted() override {}
  void RunEnded() override {}
  void Status(const std::string& text) override;
  void Progress(const RunProgress&) override {}
  void ShowMessage(const std::string& text) override;
  bool CancelRequested() override { return m_cancel.load(); }
  void RestorePointer() override {}

  // Safe to call from a signal handler.
  void RequestCancel() { m_cancel.store(true); }

 private:
  std::ostream& m_err;
  std::atomic<bool> m_cancel{false};
};

}  // namespace rivanet
