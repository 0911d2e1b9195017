#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gis/DbfFields.h"

namespace rivanet::gis {

// Reads the features of one shapefile feature class in file order, opened read-only: nothing
// is written beside it (no spatial index, no code page file, no repaired index). The feature
// identifier and the geometry are no attribute fields, so every field listed is an editable
// attribute. Text arrives as UTF-8 whatever the file's code page (.cpg) says.
class FeatureReader {
 public:
  // The feature class <folder>/<name>.shp, letter case ignored; nothing when there is no such
  // .shp. One that is there but cannot be read (no .shx or .dbf, a truncated file, a .dbf
  // whose record count differs from the .shp's) is an AppError naming the file.
  static std::unique_ptr<FeatureReader> Open(const std::filesystem::path& folder,
                                             const std::string& name);
  ~FeatureReader();
  FeatureReader(const FeatureReader&) = delete;
  FeatureReader& operator=(const FeatureReader&) = delete;

  const std::filesystem::path& File() const;  // the .shp as found
  const std::vector<DbfField>& Fields() const;
  // Index of the field named `name` (letter case ignored), or -1.
  int FindField(std::string_view name) const;

  // Moves to the next feature; false after the last. A feature that cannot be read is an
  // AppError naming the file and the feature's number.
  bool Next();
  // 1 for the first feature, and so on; 0 before the first.
  std::int64_t Number() const;

  // The state behind the reader, for the feature writer of this library only (defined in a
  // private header).
  struct Impl;
  Impl& Internal() const { return *m_impl; }

 private:
  explicit FeatureReader(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

// Index of the field named `name` in `fields`, letter case ignored, or -1.
int FindFieldIn(const std::vector<DbfField>& fields, std::string_view name);

}  // namespace rivanet::gis
