#pragma once

#include <iosfwd>

#include "runctl/Window.h"

namespace rivanet {

class ActivityLog;

// The window of a batch run: there is none. Status texts go to `status` one line each; the
// message boxes that show in every run go to the activity log (which a batch run echoes to
// standard error) so that an unattended run keeps them.
class BatchWindow : public Window {
 public:
  BatchWindow(ActivityLog& log, std::ostream& status) : m_log(log), m_status(status) {}

  void SetRunningLook() override {}
  void SetIdleLook() override {}
  void SetStatus(const std::string& text) override;
  void Refresh() override {}
  void MessageBox(const std::string& text) override;
  void RestorePointer() override {}

 private:
  ActivityLog& m_log;
  std::ostream& m_status;
};

}  // namespace rivanet
