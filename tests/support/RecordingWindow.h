#pragma once

#include <string>
#include <vector>

#include "runctl/Window.h"

namespace rivanet::test {

// A window that records what a run did to it, in order, as short lines:
// "running", "idle", "status:<text>", "refresh", "box:<text>", "pointer".
class RecordingWindow : public Window {
 public:
  void SetRunningLook() override { events.push_back("running"); }
  void SetIdleLook() override { events.push_back("idle"); }
  void SetStatus(const std::string& text) override { events.push_back("status:" + text); }
  void Refresh() override { events.push_back("refresh"); }
  void MessageBox(const std::string& text) override { events.push_back("box:" + text); }
  void RestorePointer() override { events.push_back("pointer"); }

  std::vector<std::string> Boxes() const {
    std::vector<std::string> boxes;
    for (const auto& e : events)
      if (e.rfind("box:", 0) == 0) boxes.push_back(e.substr(4));
    return boxes;
  }

  std::vector<std::string> events;
};

}  // namespace rivanet::test
