#include "platform/gis/FeatureWriter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include <cpl_string.h>

#include "platform/files/FileSystem.h"
#include "platform/gis/DbfInternals.h"
#include "platform/gis/FeatureInternals.h"
#include "platform/gis/FeatureReader.h"
#include "platform/gis/FeatureValues.h"
#include "platform/gis/FileHeaders.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/ShapeRecords.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

bool IsInteger(OGRFieldType t) { return t == OFTInteger || t == OFTInteger64; }

std::int64_t PowerOfTen(int exponent) {
  std::int64_t value = 1;
  for (int i = 0; i < exponent; ++i) value *= 10;
  return value;
}

std::uintmax_t FileSize(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(file));
  return size;
}

}  // namespace

struct FeatureWriter::Impl {
  fs::path file;
  fs::path shx;
  fs::path dbf;
  bool closed = false;
  DatasetPtr ds;
  OGRLayer* layer = nullptr;
  OGRwkbGeometryType layerType = wkbUnknown;
  std::vector<DbfField> fields;
  std::vector<OGRFieldType> types;
  FeaturePtr staged;
  std::int64_t inserted = 0;
  // Sizes the files will have, to refuse an insert before it passes the limit.
  std::uint64_t sizeLimit = kShapefileSizeLimit;
  std::uint64_t shpBytes = 0;
  std::uint64_t dbfBytes = 0;
  std::uint64_t dbfRecordBytes = 0;
  std::array<char, 32> text{};
  std::string converted;  // an input's text read as Windows-1252
  OGREnvelope shapes;     // of every shape in the file; not initialised while there is none

  [[noreturn]] void Refuse(const FeatureReader& source, const std::string& why) const {
    throw FileError(kErrOverflow,
                    "Cannot append feature " + std::to_string(source.Number()) + " of " +
                        DisplayPath(source.File()) + ": " + why,
                    file);
  }
};

FeatureWriter::FeatureWriter(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

FeatureWriter::~FeatureWriter() {
  if (m_impl && !m_impl->closed) {
    QuietGdal quiet;
    m_impl->staged.reset();
    m_impl->ds.reset();
    // The error on its way may be a full disk, which can leave a record half written in any
    // of the three files, or the counts in their headers ahead of what reached the disk.
    try {
      CutToWholeRecords(m_impl->file, m_impl->shx, m_impl->dbf);
    } catch (const AppError&) {
      // An error is already on its way; the class is left as GDAL closed it.
    }
  }
}

std::unique_ptr<FeatureWriter> FeatureWriter::Open(const fs::path& folder, const std::string& name,
                                                   std::uint64_t sizeLimit) {
  QuietGdal quiet;
  std::optional<OpenedClass> opened = OpenClass(folder, name, /*update=*/true);
  if (!opened) return nullptr;
  auto w = std::make_unique<Impl>();
  w->file = opened->parts.shp;
  w->shx = opened->parts.shx;
  w->dbf = opened->parts.dbf;
  w->ds = std::move(opened->ds);
  w->layer = opened->layer;
  w->dbfRecordBytes = opened->dbfRecordBytes;
  const OGRFeatureDefn& defn = *w->layer->GetLayerDefn();
  w->layerType = defn.GetGeomType();
  w->fields = DbfFieldsOf(defn);
  for (int i = 0; i < defn.GetFieldCount(); ++i)
    w->types.push_back(defn.GetFieldDefn(i)->GetType());
  // Appending to a class that already holds features is rare (the skeleton's are empty); their
  // shapes count for the extent too.
  if (w->layer->GetFeatureCount(FALSE) > 0) {
    const std::unique_ptr<FeatureReader> existing = FeatureReader::Open(folder, name);
    if (existing) w->shapes = ScanShapes(*existing);
  }
  w->staged = NewFeature(*w->layer);
  w->sizeLimit = sizeLimit;
  w->shpBytes = FileSize(w->file);
  w->dbfBytes = FileSize(w->dbf);
  return std::unique_ptr<FeatureWriter>(new FeatureWriter(std::move(w)));
}

const fs::path& FeatureWriter::File() const { return m_impl->file; }

const std::vector<DbfField>& FeatureWriter::Fields() const { return m_impl->fields; }

int FeatureWriter::FindField(std::string_view name) const {
  return FindFieldIn(m_impl->fields, name);
}

namespace {

struct Projection {
  std::shared_ptr<OGRCoordinateTransformation> transform;
  std::string from;
  std::string to;
};

// The projection of the source's shapes when it lies in another coordinate system than the
// output (`to`); none otherwise. Systems are compared as the grids' are: names and axis order
// do not matter. A class without one (no .prj) is taken as it is.
Projection ProjectionOf(const FeatureReader& source, const OGRSpatialReference* to) {
  const OGRSpatialReference* from = source.Internal().layer->GetSpatialRef();
  if (from == nullptr || to == nullptr) return {};
  const char* same[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                        "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
  if (from->IsSame(to, same)) return {};
  // Shapefiles store x/y (easting/northing, longitude/latitude) whatever the authority says.
  OGRSpatialReference a(*from);
  OGRSpatialReference b(*to);
  a.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  b.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  QuietGdal quiet;
  CPLErrorReset();
  OGRCoordinateTransformation* ct = OGRCreateCoordinateTransformation(&a, &b);
  if (ct == nullptr)
    throw GdalError("Cannot project the feature class into the output's coordinate system",
                    source.File());
  const auto name = [](const OGRSpatialReference& srs) {
    const char* n = srs.GetName();
    return std::string(n != nullptr && *n != '\0' ? n : "an unnamed coordinate system");
  };
  return {
      std::shared_ptr<OGRCoordinateTransformation>(
          ct, [](OGRCoordinateTransformation* t) { OGRCoordinateTransformation::DestroyCT(t); }),
      name(a), name(b)};
}

}  // namespace

std::string FieldMapping::DroppedValues() const {
  return m_dropZ && m_dropM ? "Z and M values" : m_dropZ ? "Z values" : m_dropM ? "M values" : "";
}

FieldMapping FeatureWriter::MapFields(const FeatureReader& source) const {
  using Copy = FieldMapping::Copy;
  const Impl& w = *m_impl;
  const OGRFeatureDefn& in = *source.Internal().layer->GetLayerDefn();
  FieldMapping mapping;
  std::vector<bool> mapped(w.fields.size(), false);
  for (int from = 0; from < in.GetFieldCount(); ++from) {
    const int to = FindField(in.GetFieldDefn(from)->GetNameRef());
    if (to < 0 || mapped[to]) continue;
    mapped[to] = true;
    FieldMapping::Pair p;
    p.from = from;
    p.to = to;
    const OGRFieldType inType = in.GetFieldDefn(from)->GetType();
    const OGRFieldType outType = w.types[to];
    const DbfField& field = w.fields[to];
    if (IsInteger(inType) && IsInteger(outType)) {
      p.copy = Copy::Integer;
      const int width = std::min(field.width, 18);
      p.highest = PowerOfTen(width) - 1;
      p.lowest = -(PowerOfTen(width - 1) - 1);
      if (outType == OFTInteger) {
        p.highest = std::min<std::int64_t>(p.highest, std::numeric_limits<std::int32_t>::max());
        p.lowest = std::max<std::int64_t>(p.lowest, std::numeric_limits<std::int32_t>::min());
      }
    } else if (inType == OFTReal && outType == OFTReal) {
      // Written with `precision` decimals, a value needs its integer digits, the point, the
      // decimals and a sign. One short of the next power of ten leaves room for rounding up.
      p.copy = Copy::Real;
      p.rounds = in.GetFieldDefn(from)->GetPrecision() <= field.precision;
      const int digits = field.width - field.precision - (field.precision > 0 ? 1 : 0);
      p.below = digits > 0 ? std::pow(10.0, digits) - 1 : 0;
      p.belowNegative = digits > 1 ? std::pow(10.0, digits - 1) - 1 : 0;
    } else if (inType == OFTString && outType == OFTString) {
      p.copy = Copy::String;
    } else if (inType == OFTDate && outType == OFTDate) {
      p.copy = Copy::Date;
    }
    mapping.m_pairs.push_back(p);
  }
  for (std::size_t to = 0; to < mapped.size(); ++to)
    if (!mapped[to]) mapping.m_unmapped.push_back(static_cast<int>(to));
  if (const char* encoding =
          source.Internal().layer->GetMetadataItem("SOURCE_ENCODING", "SHAPEFILE"))
    mapping.m_latin1 = IsLatin1(encoding);
  const OGRwkbGeometryType inType = source.Internal().layer->GetGeomType();
  mapping.m_dropZ = OGR_GT_HasZ(inType) != 0 && OGR_GT_HasZ(w.layerType) == 0;
  mapping.m_dropM = OGR_GT_HasM(inType) != 0 && OGR_GT_HasM(w.layerType) == 0;
  mapping.m_unreadablePrj =
      source.Internal().hasPrj && source.Internal().layer->GetSpatialRef() == nullptr;
  Projection projection = ProjectionOf(source, w.layer->GetSpatialRef());
  mapping.m_project = std::move(projection.transform);
  mapping.m_from = std::move(projection.from);
  mapping.m_to = std::move(projection.to);
  return mapping;
}

void FeatureWriter::Stage(const FeatureReader& source, const FieldMapping& mapping) {
  using Copy = FieldMapping::Copy;
  Impl& w = *m_impl;
  const OGRFeature& in = *source.Internal().current;
  OGRFeature& out = *w.staged;
  for (const int to : mapping.m_unmapped) out.SetFieldNull(to);
  for (const FieldMapping::Pair& p : mapping.m_pairs) {
    if (!in.IsFieldSetAndNotNull(p.from)) {
      out.SetFieldNull(p.to);
      continue;
    }
    const DbfField& field = w.fields[p.to];
    switch (p.copy) {
      case Copy::Integer: {
        const GIntBig v = in.GetFieldAsInteger64(p.from);
        if (v < p.lowest || v > p.highest) w.Refuse(source, ProblemWith(field, std::int64_t{v}));
        out.SetField(p.to, v);
        break;
      }
      case Copy::Real: {
        double v = in.GetFieldAsDouble(p.from);
        // More decimals than the input's own field declares are rounded away as GDAL writes
        // them; more than the output keeps of those the input declares are refused.
        const bool kept = KeepsDecimals(v, field.precision);
        if (!kept && p.rounds) v = RoundedTo(v, field.precision);
        if (!(v >= 0 ? v < p.below : -v < p.belowNegative) || (!kept && !p.rounds)) {
          if (auto problem = FieldValueProblem(field, v)) w.Refuse(source, *problem);
        }
        out.SetField(p.to, v);
        break;
      }
      case Copy::String: {
        const char* v = in.GetFieldAsString(p.from);
        // Bytes GDAL could not convert from the file's code page would reach the output as
        // they stand, which is UTF-8.
        const auto notInCodePage = [&] {
          w.Refuse(source, "Field \"" + field.name +
                               "\" holds text that is not written in the code page of its "
                               "file (its .cpg, its header, or else UTF-8)");
        };
        if (mapping.m_latin1 && std::strchr(v, '\xC2') != nullptr) {
          w.converted.assign(v);
          if (!Latin1ControlsAsWindows1252(w.converted)) notInCodePage();
          v = w.converted.c_str();
        }
        if (std::strlen(v) > static_cast<std::size_t>(field.width))
          w.Refuse(source, ProblemWith(field, std::string(v)));
        if (!CPLIsUTF8(v, -1)) notInCodePage();
        out.SetField(p.to, v);
        break;
      }
      case Copy::Date:
        out.SetField(p.to, in.GetRawFieldRef(p.from));
        break;
      case Copy::Converted: {
        const OGRFieldType inType = in.GetFieldDefnRef(p.from)->GetType();
        const DbfValue v = Converted(ValueOf(in, p.from, inType), field.type);
        if (auto problem = FieldValueProblem(field, v)) w.Refuse(source, *problem);
        PutConverted(out, p.to, field, v);
        break;
      }
    }
  }
}

std::string_view FeatureWriter::StagedText(int field) {
  Impl& w = *m_impl;
  const OGRFeature& out = *w.staged;
  if (!out.IsFieldSetAndNotNull(field)) return {};
  if (IsInteger(w.types[field])) {
    const auto end = std::to_chars(w.text.data(), w.text.data() + w.text.size(),
                                   static_cast<std::int64_t>(out.GetFieldAsInteger64(field)))
                         .ptr;
    return {w.text.data(), static_cast<std::size_t>(end - w.text.data())};
  }
  return out.GetFieldAsString(field);
}

void FeatureWriter::InsertStaged(FeatureReader& source, const FieldMapping& mapping) {
  Impl& w = *m_impl;
  std::unique_ptr<OGRGeometry> shape(source.Internal().current->StealGeometry());
  if (shape && mapping.m_dropZ) shape->set3D(FALSE);
  if (shape && mapping.m_dropM) shape->setMeasured(FALSE);
  if (shape && mapping.m_project && shape->transform(mapping.m_project.get()) != OGRERR_NONE)
    w.Refuse(source,
             "its shape cannot be projected from " + mapping.m_from + " to " + mapping.m_to);
  if (shape && !Holds(w.layerType, wkbFlatten(shape->getGeometryType())))
    w.Refuse(source, std::string("it is a ") + OGRGeometryTypeToName(shape->getGeometryType()) +
                         ", the feature class holds " + OGRGeometryTypeToName(w.layerType) +
                         " shapes");
  const std::uint64_t shpBytes = w.shpBytes + ShapeRecordBytes(shape.get(), w.layerType);
  const std::uint64_t dbfBytes = w.dbfBytes + w.dbfRecordBytes;
  if (shpBytes > w.sizeLimit || dbfBytes > w.sizeLimit)
    w.Refuse(source, "the feature class would grow past " + std::to_string(w.sizeLimit) +
                         " bytes, the most a shapefile can hold (" + std::to_string(w.inserted) +
                         " features were appended before)");

  OGRFeature& out = *w.staged;
  out.SetGeometryDirectly(shape.release());
  out.SetFID(OGRNullFID);
  QuietGdal quiet;
  CPLErrorReset();
  if (w.layer->CreateFeature(&out) != OGRERR_NONE)
    throw GdalWriteError("Cannot append feature", w.file);
  // GDAL only warns when it cuts a value short; every value was checked, so any word from it
  // means the feature did not arrive as it was.
  if (auto message = quiet.FirstMessage("Cannot append feature", w.file)) throw *message;
  w.shpBytes = shpBytes;
  w.dbfBytes = dbfBytes;
  ++w.inserted;
  if (const OGRGeometry* written = out.GetGeometryRef();
      written != nullptr && !written->IsEmpty()) {
    OGREnvelope one;
    written->getEnvelope(&one);
    w.shapes.Merge(one);
  }
}

std::int64_t FeatureWriter::Inserted() const { return m_impl->inserted; }

Extent FeatureWriter::ShapesExtent() const { return ExtentOf(m_impl->shapes); }

void FeatureWriter::Close() {
  Impl& w = *m_impl;
  QuietGdal quiet;
  w.staged.reset();
  CloseDataset(w.ds, "Cannot write feature class", w.file);
  EndDbfWithMark(w.dbf);
  w.closed = true;
}

}  // namespace rivanet::gis
