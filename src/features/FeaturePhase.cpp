#include "features/FeaturePhase.h"

#include "features/ExtentRepair.h"
#include "features/PassSupport.h"
#include "features/PlainPass.h"
#include "features/WorkPass.h"
#include "runctl/ActivityLog.h"
#include "runctl/PhaseTimer.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"
#include "runctl/RunMessages.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

// The class whose header extent is repaired right after its appends.
constexpr const char* kCatchment = "catchment";

}  // namespace

void AppendFeatureClasses(RunContext& ctx, const fs::path& input, const fs::path& output,
                          const fs::path& work, const fs::path& list) {
  PhaseTimer timer(ctx, "Feature class phase");
  const PhasePlaces places{input, output, work, list};
  const auto& steps = ctx.layout.featureSteps;
  const int count = static_cast<int>(steps.size());
  for (int i = 0; i < count; ++i) {
    StopIfCancelled(ctx);
    ctx.feedback.Progress({"Features", i, count});
    const schema::AppendStep& step = steps[i];
    const schema::FeatureClass& fc = schema::FindFeatureClass(ctx.layout, step.name);
    const PassCounts counts =
        step.viaWork ? AppendViaWork(ctx, places, fc) : AppendPlain(ctx, places, fc);
    ctx.log.LogEvent(CountsText(fc.name, counts, step.viaWork));
    if (fc.name == kCatchment)
      RepairExtent(ctx, ClassFolder(ctx, output, fc), fc.name, counts.shapes);
  }
  ctx.feedback.Progress({"Features", count, count});
  timer.Finish();
}

}  // namespace rivanet
