#pragma once

// What the readers give for a dBASE field: the kind of value the field holds.

#include <string>
#include <variant>

#include "platform/gis/DbfFields.h"

namespace rivanet::fuzz {

// True when `v` is what a field of `type` reads as: an integer, a real, text, or a date as a
// valid "YYYY/MM/DD". Nothing (a null) is not a kind; callers decide whether it may stand.
inline bool IsKindOf(gis::DbfType type, const gis::DbfValue& v) {
  switch (type) {
    case gis::DbfType::Integer:
      return std::holds_alternative<std::int64_t>(v);
    case gis::DbfType::Real:
      return std::holds_alternative<double>(v);
    case gis::DbfType::String:
      return std::holds_alternative<std::string>(v);
    case gis::DbfType::Date: {
      const auto* s = std::get_if<std::string>(&v);
      return s != nullptr && s->size() == 10 && (*s)[4] == '/' && (*s)[7] == '/' &&
             gis::ParseDbfDate(*s).has_value();
    }
  }
  return false;
}

}  // namespace rivanet::fuzz
