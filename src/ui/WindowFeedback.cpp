#include "ui/WindowFeedback.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <exception>

namespace rivanet::ui {

template <class Call>
void WindowFeedback::OnWindowThread(Call call, bool wait) {
  if (QThread::currentThread() == m_window.thread()) {
    call();
    return;
  }
  if (!wait) {
    // Queued behind every earlier call, so the window sees them in the run's order.
    QMetaObject::invokeMethod(&m_window, std::move(call), Qt::QueuedConnection);
    return;
  }
  // A failure on the window's side belongs to the run that asked, not to the event loop.
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      &m_window,
      [&] {
        try {
          call();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (failure) std::rethrow_exception(failure);
}

void WindowFeedback::RunStarted() {
  OnWindowThread([this] { m_view.ShowRunningLook(); }, true);
}

void WindowFeedback::RunEnded() {
  OnWindowThread([this] { m_view.ShowIdleLook(); }, true);
}

void WindowFeedback::Status(const std::string& text) {
  OnWindowThread([this, text] { m_view.ShowStatus(text); }, false);
}

void WindowFeedback::Progress(const RunProgress& progress) {
  OnWindowThread([this, progress] { m_view.ShowProgress(progress); }, false);
}

void WindowFeedback::ShowMessage(const std::string& text) {
  OnWindowThread([this, &text] { m_view.ShowRunMessage(text); }, true);
}

void WindowFeedback::RestorePointer() {
  OnWindowThread([this] { m_view.RestoreDefaultPointer(); }, true);
}

}  // namespace rivanet::ui
