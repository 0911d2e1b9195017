#include "platform/gis/Crs.h"

#include <algorithm>
#include <cmath>

#include "platform/gis/GdalSupport.h"

namespace rivanet::gis {
namespace {

constexpr double kCellSizeTolerance = 1e-9;  // relative
constexpr double kOffsetTolerance = 1e-6;    // in cells
constexpr std::size_t kShownWkt = 60;        // start of a WKT shown in messages

std::string Subject(const std::string& wkt) {
  return "coordinate system \"" +
         (wkt.size() > kShownWkt ? wkt.substr(0, kShownWkt) + "..." : wkt) + "\"";
}

// A whole number within the tolerance, or none.
std::optional<std::int64_t> Whole(double cells) {
  const double nearest = std::round(cells);
  if (!std::isfinite(cells) || std::fabs(cells - nearest) > kOffsetTolerance) return std::nullopt;
  return static_cast<std::int64_t>(nearest);
}

}  // namespace

bool SameCrs(const std::string& wktA, const std::string& wktB) {
  if (wktA.empty() || wktB.empty()) return wktA.empty() && wktB.empty();
  QuietGdal quiet;
  const SpatialRefPtr a = SpatialRefFromWkt(wktA, Subject(wktA));
  const SpatialRefPtr b = SpatialRefFromWkt(wktB, Subject(wktB));
  // Names and axis order do not matter: ESRI's and EPSG's names for one system differ, and
  // files store x/y whatever order the authority defines.
  const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                           "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
  return a->IsSame(b.get(), options) != 0;
}

bool SameCellSize(const GridGeometry& a, const GridGeometry& b) {
  return std::fabs(a.cellSize - b.cellSize) <=
         kCellSizeTolerance * std::max(std::fabs(a.cellSize), std::fabs(b.cellSize));
}

std::optional<CellOffset> AlignedOffset(const GridGeometry& a, const GridGeometry& b) {
  if (!(a.cellSize > 0) || !SameCellSize(a, b)) return std::nullopt;
  const auto cols = Whole((b.originX - a.originX) / a.cellSize);
  const auto rows = Whole((a.originY - b.originY) / a.cellSize);
  if (!cols || !rows) return std::nullopt;
  return CellOffset{*cols, *rows};
}

}  // namespace rivanet::gis
