#pragma once

#include <string>
#include <vector>

#include "runctl/RunFeedback.h"

namespace rivanet::test {

// Feedback that records what a run told it, in order, as short lines: "running", "idle",
// "status:<text>", "progress:<phase> <i>/<n>", "box:<text>", "pointer". Cancel is requested
// once `cancelAfterChecks` calls to CancelRequested have answered no (-1: never).
class RecordingFeedback : public RunFeedback {
 public:
  void RunStarted() override { events.push_back("running"); }
  void RunEnded() override { events.push_back("idle"); }
  void Status(const std::string& text) override { events.push_back("status:" + text); }
  void Progress(const RunProgress& p) override {
    events.push_back("progress:" + p.phase + " " + std::to_string(p.step) + "/" +
                     std::to_string(p.steps));
  }
  void ShowMessage(const std::string& text) override { events.push_back("box:" + text); }
  bool CancelRequested() override {
    return cancelAfterChecks >= 0 && checks++ >= cancelAfterChecks;
  }
  void RestorePointer() override { events.push_back("pointer"); }

  // The texts of the events of one kind ("box:", "status:"), in order.
  std::vector<std::string> Texts(const std::string& kind) const {
    std::vector<std::string> texts;
    for (const auto& e : events)
      if (e.rfind(kind, 0) == 0) texts.push_back(e.substr(kind.size()));
    return texts;
  }
  std::vector<std::string> Boxes() const { return Texts("box:"); }
  std::vector<std::string> Statuses() const { return Texts("status:"); }

  std::vector<std::string> events;
  int cancelAfterChecks = -1;
  int checks = 0;
};

}  // namespace rivanet::test
