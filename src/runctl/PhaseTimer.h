#pragma once

#include <chrono>
#include <string>

namespace rivanet {

struct RunContext;

// Times one phase of a run. Finish() writes one log entry, "<phase> took <seconds> seconds"
// (two decimals), so that a user, and the benchmark, can see where a long run spent its time.
// A phase that ends on an error or a cancel request logs no time.
class PhaseTimer {
 public:
  PhaseTimer(RunContext& ctx, std::string phase);
  void Finish();

 private:
  RunContext& m_ctx;
  std::string m_phase;
  std::chrono::steady_clock::time_point m_start;
};

}  // namespace rivanet
