#include "platform/gis/ValueCounter.h"

#include <algorithm>

namespace rivanet::gis {

std::vector<ValueCount> ValueCounter::TakeSorted() {
  EndRun();
  std::vector<ValueCount> counts(m_counts.begin(), m_counts.end());
  std::unordered_map<std::int32_t, std::int64_t>().swap(m_counts);
  std::sort(counts.begin(), counts.end());
  return counts;
}

}  // namespace rivanet::gis
