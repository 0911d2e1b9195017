#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Layout.h"

namespace rivanet::synth {

// Hands out Comids across all units of one run.
//
// A reach's Comid comes from its global outlet cell: base + 4 * cell + slot. A reach whose
// cells, catchment and neighbourhood come out the same in two overlapping units is the same
// reach, so it gets the same Comid (and the unit that produced it first as its owner); a
// different reach that happens to end in the same cell takes the next of the four slots
// (at most four units cover a cell). Only outlets in overlaps are remembered.
class ComidRegistry {
 public:
  static constexpr std::int32_t kReachBase = 1000000;
  // Comids of features that hang off a reach or a unit (waterbodies, gages, ...).
  static constexpr std::int32_t kFeatureBase = 1100000000;

  explicit ComidRegistry(const Layout& layout);

  struct ReachId {
    std::int32_t comid = 0;
    int producer = 0;  // unit that first wrote the reach
  };
  ReachId AssignReach(std::int64_t outletRow, std::int64_t outletCol, std::uint64_t signature,
                      int unit);

  // Value of the reach in the catchment grid: positive, unique, derived from the Comid.
  static std::int32_t GridCode(std::int32_t reachComid) { return reachComid - kReachBase + 1; }

  // Comid of a feature identified by `key` (made from its anchor and kind); the same key
  // gets the same Comid in every unit, different keys never share one.
  std::int32_t FeatureComid(std::uint64_t key);

 private:
  struct Entry {
    std::uint64_t signature;
    std::int32_t comid;
    int producer;
  };
  const Layout& m_layout;
  std::unordered_map<std::int64_t, std::vector<Entry>> m_shared;
  std::unordered_map<std::uint64_t, std::int32_t> m_features;
  std::unordered_set<std::int32_t> m_featureComids;
};

}  // namespace rivanet::synth
