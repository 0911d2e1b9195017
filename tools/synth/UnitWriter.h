#pragma once

#include <filesystem>
#include <string>

#include "Comids.h"
#include "Hydrology.h"
#include "Layout.h"
#include "workspace/Schema.h"

namespace rivanet::synth {

struct UnitSummary {
  std::string name;
  int reaches = 0;
  int sharedReaches = 0;  // reaches whose Comid an earlier unit wrote first
  int catchmentCells = 0;
};

// Writes one drainage unit's workspace folder: the four grids (catchment grid with its value
// attribute table), every feature class and table of the schema, and a readme. Reach Comids
// come from the run's registry, so reaches shared with earlier units keep their Comids.
UnitSummary WriteUnitWorkspace(const std::filesystem::path& folder, const Layout& layout, int unit,
                               const UnitHydrology& hydro, const schema::Schema& schema,
                               ComidRegistry& registry);

}  // namespace rivanet::synth
