#include "runctl/PhaseTimer.h"

#include <cstdio>

#include "runctl/ActivityLog.h"
#include "runctl/RunContext.h"

namespace rivanet {

PhaseTimer::PhaseTimer(RunContext& ctx, std::string phase)
    : m_ctx(ctx), m_phase(std::move(phase)), m_start(std::chrono::steady_clock::now()) {}

void PhaseTimer::Finish() {
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - m_start;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", took.count());
  m_ctx.log.LogEvent(m_phase + " took " + seconds + " seconds");
}

}  // namespace rivanet
