#include "runctl/BatchWindow.h"

#include <ostream>

#include "runctl/ActivityLog.h"

namespace rivanet {

void BatchWindow::SetStatus(const std::string& text) {
  if (!text.empty()) m_status << text << '\n' << std::flush;
}

void BatchWindow::MessageBox(const std::string& text) { m_log.LogEvent(text); }

}  // namespace rivanet
