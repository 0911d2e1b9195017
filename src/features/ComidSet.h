#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

namespace rivanet {

// The Comids already copied in one pass of a de-duplicated feature class, by their text forms:
// the number 5 and the text "5" are the same Comid. The empty text (no Comid) always counts as
// present, so a feature without a Comid is never copied. A hash set, so a pass costs one
// look-up per feature however many Comids it has seen.
class ComidSet {
 public:
  // True when `comid` counts as present; otherwise it is added and the answer is false.
  bool SeenBefore(std::string_view comid);
  std::size_t Size() const { return m_seen.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_set<std::string, Hash, std::equal_to<>> m_seen;
};

}  // namespace rivanet
