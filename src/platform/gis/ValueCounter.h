#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/gis/GridVat.h"

namespace rivanet::gis {

// Counts the cells of each value, for a value attribute table. Grids hold long runs of one
// value (a catchment, a flow direction), so a run is counted once when it ends rather than
// looked up cell by cell.
class ValueCounter {
 public:
  void Add(std::int32_t value) {
    if (m_run > 0 && value == m_value) {
      ++m_run;
      return;
    }
    EndRun();
    m_value = value;
    m_run = 1;
  }
  // (value, count) in ascending value order; the counter is empty afterwards (its memory
  // given back before the table is written).
  std::vector<ValueCount> TakeSorted();

 private:
  void EndRun() {
    if (m_run > 0) m_counts[m_value] += m_run;
    m_run = 0;
  }

  std::unordered_map<std::int32_t, std::int64_t> m_counts;
  std::int32_t m_value = 0;
  std::int64_t m_run = 0;
};

}  // namespace rivanet::gis
