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

// Every file of a folder with its content, to show what a call changed.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    files[e.path().filename().string()] = ReadFile(e.path());
  return files;
}

}  // namespace rivanet::test
