#include "Comids.h"

#include <limits>
#include <stdexcept>

#include "SynthRandom.h"

namespace rivanet::synth {

ComidRegistry::ComidRegistry(const Layout& layout) : m_layout(layout) {
  const double largest =
      static_cast<double>(kReachBase) +
      4.0 * static_cast<double>(layout.GlobalRows()) * static_cast<double>(layout.GlobalCols());
  if (largest >= static_cast<double>(kFeatureBase))
    throw std::invalid_argument(
        "the layout has too many cells for 32-bit Comids; use fewer or smaller units");
}

ComidRegistry::ReachId ComidRegistry::AssignReach(std::int64_t outletRow, std::int64_t outletCol,
                                                  std::uint64_t signature, int unit) {
  const std::int64_t cell = m_layout.GlobalIndex(outletRow, outletCol);
  const auto base = static_cast<std::int32_t>(kReachBase + 4 * cell);
  if (m_layout.UnitsCovering(outletRow, outletCol).size() < 2) return {base, unit};
  auto& entries = m_shared[cell];
  for (const Entry& e : entries)
    if (e.signature == signature) return {e.comid, e.producer};
  if (entries.size() >= 4) throw std::logic_error("more than four reaches end in one cell");
  const Entry e{signature, base + static_cast<std::int32_t>(entries.size()), unit};
  entries.push_back(e);
  return {e.comid, e.producer};
}

std::int32_t ComidRegistry::FeatureComid(std::uint64_t key) {
  const auto found = m_features.find(key);
  if (found != m_features.end()) return found->second;
  constexpr std::int64_t span = std::numeric_limits<std::int32_t>::max() - kFeatureBase;
  std::uint64_t probe = key;
  while (true) {
    const auto comid = static_cast<std::int32_t>(
        kFeatureBase + static_cast<std::int64_t>(SplitMix64(probe) % span));
    if (m_featureComids.insert(comid).second) {
      m_features.emplace(key, comid);
      return comid;
    }
    probe = SplitMix64(probe + 1);
  }
}

}  // namespace rivanet::synth
