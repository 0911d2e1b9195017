#pragma once

#include <string>

namespace rivanet {

// What a run may do to the window that watches it. The interactive window shows these; a
// batch run has no window and reports status texts and message boxes on standard error.
class Window {
 public:
  virtual ~Window() = default;
  // Buttons hidden, status label and Cancel shown, busy pointer.
  virtual void SetRunningLook() = 0;
  // Buttons shown again, status label and Cancel hidden, normal pointer.
  virtual void SetIdleLook() = 0;
  // The status label's caption.
  virtual void SetStatus(const std::string& text) = 0;
  // Repaints the window so that the latest status shows at once.
  virtual void Refresh() = 0;
  // A modal message box with the application title as caption and an OK button.
  virtual void MessageBox(const std::string& text) = 0;
  // Puts the pointer back to normal (the error path does this before reporting).
  virtual void RestorePointer() = 0;
};

}  // namespace rivanet
