#include "platform/gis/ValueCounter.h"

#include <algorithm>

namespace rivanet::gis {

std::vector<std::pair<std::int32_t, std::int64_t>> ValueCounter::Sorted() {
  EndRun();
  std::vector<std::pair<std::int32_t, std::int64_t>> counts(m_counts.begin(), m_counts.end());
  std::sort(counts.begin(), counts.end());
  return counts;
}

Vat CountsVat(const std::vector<std::pair<std::int32_t, std::int64_t>>& counts) {
  Vat vat;
  vat.fields = {{"Value", DbfType::Integer, 10, 0}, {"Count", DbfType::Integer, 10, 0}};
  vat.rows.reserve(counts.size());
  for (const auto& [value, count] : counts)
    vat.rows.push_back({std::int64_t{value}, std::int64_t{count}});
  return vat;
}

}  // namespace rivanet::gis
