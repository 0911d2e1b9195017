#pragma once

#include "features/PassSupport.h"

namespace rivanet {

// Appends feature class `fc` of every workspace in list order into the output so that each
// Comid arrives once: of several features with one Comid only the first (in list order, then
// file order) is copied, and a feature without a Comid never is.
//
// The features pass through the Work folder's copy of the class in spirit only: one pass keeps
// the Comids seen so far and writes each first feature straight to the output, which gives the
// same features in the same order as collecting everything in the Work copy and copying it on,
// with one read and one write per feature. The messages are those of the two passes: the Work
// copy and the output must both be there, and a missing input class skips its workspace.
PassCounts AppendViaWork(RunContext& ctx, const PhasePlaces& places,
                         const schema::FeatureClass& fc);

}  // namespace rivanet
