#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/gis/ShapefileExtent.h"

namespace rivanet {

struct RunContext;

// Makes sure the header of the output's feature class `name` (inside `folder`) states the
// extent of its shapes, after the appends. `shapes`, when the appends kept it, is the extent
// the shapes have; otherwise they are read to find it. When the header is right, nothing is
// written. When it does not,
// the class is copied to "catchtemp", the original deleted and the copy renamed in its place;
// the copy is complete before the original goes, so a failure on the way never loses the
// features (an error then names where they are).
void RepairExtent(RunContext& ctx, const std::filesystem::path& folder, const std::string& name,
                  const std::optional<gis::Extent>& shapes);

}  // namespace rivanet
