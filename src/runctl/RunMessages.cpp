#include "runctl/RunMessages.h"

#include "runctl/ActivityLog.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"

namespace rivanet {

void Tell(RunContext& ctx, MessageKind kind, const std::string& text) {
  if (ctx.interactive) ctx.feedback.ShowMessage(text);
  if (kind == MessageKind::Logged) ctx.log.LogEvent(text);
}

void StopIfCancelled(RunContext& ctx) {
  if (ctx.feedback.CancelRequested()) throw RunCancelled();
}

}  // namespace rivanet
