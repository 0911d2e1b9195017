#include "features/ComidSet.h"

namespace rivanet {

bool ComidSet::SeenBefore(std::string_view comid) {
  if (comid.empty()) return true;
  if (m_seen.find(comid) != m_seen.end()) return true;
  m_seen.emplace(comid);
  return false;
}

}  // namespace rivanet
