#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gis/DbfFields.h"
#include "platform/gis/Shapefile.h"
#include "platform/gis/ShapefileExtent.h"

class OGRCoordinateTransformation;

namespace rivanet::gis {

class FeatureReader;

// Which output field receives which field of one input feature class: fields are matched by
// name, letter case ignored; input fields the output lacks are left out, and output fields the
// input lacks are written empty (null). Made once per input by FeatureWriter::MapFields, which
// also finds out whether the input's shapes must be projected into the output's coordinate
// system.
class FieldMapping {
 public:
  // For an input in another coordinate system than the output, the names of both (its shapes
  // are projected as they are inserted); empty otherwise, also when either class has none.
  const std::string& ProjectedFrom() const { return m_from; }
  const std::string& ProjectedTo() const { return m_to; }
  // "Z values", "M values" or "Z and M values" when the input's shapes have what the output's
  // class does not hold (they are inserted without them); empty otherwise.
  std::string DroppedValues() const;
  // True when the input has a .prj that names no coordinate system GDAL can read: its shapes
  // are taken as they are, as those of an input without a .prj.
  bool UnreadablePrj() const { return m_unreadablePrj; }

 private:
  friend class FeatureWriter;
  enum class Copy : unsigned char { Integer, Real, String, Date, Converted };
  struct Pair {
    int from = 0;
    int to = 0;
    Copy copy = Copy::Converted;
    // Values inside these bounds fit the output field without a closer look.
    std::int64_t lowest = 0;
    std::int64_t highest = 0;
    double below = 0;  // |value| of a real below this fits (for negative values, `belowNegative`)
    double belowNegative = 0;
    bool rounds = false;  // a real: the input declares no more decimals than the output keeps
  };
  std::vector<Pair> m_pairs;
  std::vector<int> m_unmapped;
  std::shared_ptr<OGRCoordinateTransformation> m_project;
  std::string m_from;
  std::string m_to;
  bool m_dropZ = false;
  bool m_dropM = false;
  bool m_unreadablePrj = false;
  bool m_latin1 = false;  // the input's text is read as Windows-1252 (DbfInternals.h)
};

// Appends features to an existing shapefile feature class through one reused feature: stage
// the attribute values of an input feature, then insert it with the input's geometry. Every
// value is checked before it is written: one the output field cannot hold (text too long, a
// number too wide, a type that does not convert) is an AppError naming the field, the value,
// the input feature and the output file, never a value cut short. So is a geometry of another
// kind than the class holds, and an insert that would take the .shp or .dbf past `sizeLimit`
// (checked before anything of that feature is written).
class FeatureWriter {
 public:
  // The feature class <folder>/<name>.shp, letter case ignored, opened for appending; nothing
  // when there is no such .shp. One that cannot be opened is an AppError naming the file.
  static std::unique_ptr<FeatureWriter> Open(const std::filesystem::path& folder,
                                             const std::string& name,
                                             std::uint64_t sizeLimit = kShapefileSizeLimit);
  // A writer not closed (an error is on its way) still closes the file, so that the features
  // inserted so far stay readable.
  ~FeatureWriter();
  FeatureWriter(const FeatureWriter&) = delete;
  FeatureWriter& operator=(const FeatureWriter&) = delete;

  const std::filesystem::path& File() const;  // the .shp as found
  const std::vector<DbfField>& Fields() const;
  // Index of the field named `name` (letter case ignored), or -1.
  int FindField(std::string_view name) const;

  FieldMapping MapFields(const FeatureReader& source) const;
  // Puts the attribute values of the source's current feature into the staged feature.
  void Stage(const FeatureReader& source, const FieldMapping& mapping);
  // The staged value of output field `field` in its text form ("" when it is empty); valid
  // until the next call on this writer.
  std::string_view StagedText(int field);
  // Inserts the staged values with the geometry of the source's current feature (taken from
  // it: the source feature has no geometry afterwards), projected as `mapping` says.
  void InsertStaged(FeatureReader& source, const FieldMapping& mapping);
  std::int64_t Inserted() const;
  // The extent of every shape in the class: those it held when opened and those inserted (all
  // zeros when there are none), kept as they are written, so that checking the header costs no
  // second read.
  Extent ShapesExtent() const;

  // Writes what GDAL still holds and closes the file; AppError when that fails. Afterwards
  // only Inserted and ShapesExtent may be asked.
  void Close();

 private:
  struct Impl;
  explicit FeatureWriter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

}  // namespace rivanet::gis
