#pragma once

#include "features/PassSupport.h"

namespace rivanet {

// Appends feature class `fc` of every workspace in list order straight into the output's
// class. A missing output class is reported and the pass skipped; a missing input class is
// reported and that workspace skipped. Asks whether to stop before each workspace.
PassCounts AppendPlain(RunContext& ctx, const PhasePlaces& places, const schema::FeatureClass& fc);

}  // namespace rivanet
