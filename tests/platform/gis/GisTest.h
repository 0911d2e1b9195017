#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/Error.h"
#include "platform/gis/GdalSupport.h"
#include "support/TempDir.h"

namespace rivanet::test {

template <class F>
AppError Raised(F&& f) {
  try {
    f();
  } catch (const AppError& e) {
    return e;
  }
  ADD_FAILURE() << "no AppError raised";
  return AppError(0, "");
}

inline std::string EpsgWkt(int code) {
  return gis::WktOf(*gis::SpatialRefFromEpsg(code, {}), "test");
}

}  // namespace rivanet::test
