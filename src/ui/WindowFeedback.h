#pragma once

#include <atomic>
#include <string>

#include "runctl/RunFeedback.h"

class QObject;

namespace rivanet::ui {

// What a run changes on the main window. Called only on the window's own thread.
class RunView {
 public:
  virtual ~RunView() = default;
  virtual void ShowRunningLook() = 0;
  virtual void ShowIdleLook() = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void ShowProgress(const RunProgress& progress) = 0;
  virtual void ShowRunMessage(const std::string& text) = 0;
  virtual void RestoreDefaultPointer() = 0;
};

// The run's feedback in the window. The run calls it from its worker thread; each call is
// carried over to the window's thread (`window` is the object whose thread that is). The looks,
// the messages and the pointer wait until the window has shown them, so that the run goes on
// only after the user has seen (and for a message, closed) them; status and progress do not
// wait. Called on the window's own thread, every call acts at once. The cancel request is a
// flag both threads may touch.
class WindowFeedback : public RunFeedback {
 public:
  WindowFeedback(QObject& window, RunView& view) : m_window(window), m_view(view) {}

  void RunStarted() override;
  void RunEnded() override;
  void Status(const std::string& text) override;
  void Progress(const RunProgress& progress) override;
  void ShowMessage(const std::string& text) override;
  bool CancelRequested() override { return m_cancel.load(); }
  void RestorePointer() override;

  void RequestCancel() { m_cancel.store(true); }
  void ClearCancel() { m_cancel.store(false); }

 private:
  template <class Call>
  void OnWindowThread(Call call, bool wait);

  QObject& m_window;
  RunView& m_view;
  std::atomic<bool> m_cancel{false};
};

}  // namespace rivanet::ui
