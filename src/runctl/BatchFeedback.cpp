#include "runctl/BatchFeedback.h"

#include <ostream>

namespace rivanet {

void BatchFeedback::Status(const std::string& text) {
  if (!text.empty()) m_err << text << '\n' << std::flush;
}

void BatchFeedback::ShowMessage(const std::string& text) { m_err << text << '\n' << std::flush; }

}  // namespace rivanet
