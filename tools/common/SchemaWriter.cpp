#include "SchemaWriter.h"

#include <array>
#include <string>
#include <system_error>

#include "platform/files/FileSystem.h"
#include "platform/gis/GdalSupport.h"

namespace rivanet::schema {

namespace {

namespace fs = std::filesystem;
using gis::DatasetPtr;

constexpr const char* kEncoding = "UTF-8";
constexpr std::array<const char*, 5> kShapefileParts = {".shp", ".shx", ".dbf", ".prj", ".cpg"};
constexpr std::array<const char*, 2> kTableParts = {".dbf", ".cpg"};

AppError Refused(long number, const std::string& why, const fs::path& file) {
  return AppError(number, why + ": " + DisplayPath(file));
}

OGRFieldType OgrType(FieldType type) {
  switch (type) {
    case FieldType::Integer:
      return OFTInteger;
    case FieldType::Real:
      return OFTReal;
    case FieldType::String:
      return OFTString;
    case FieldType::Date:
      return OFTDate;
  }
  throw AppError(kErrInternal, "unknown field type");
}

OGRwkbGeometryType OgrGeometry(Geometry geometry) {
  switch (geometry) {
    case Geometry::Point:
      return wkbPoint;
    case Geometry::LineString:
      return wkbLineString;
    case Geometry::Polygon:
      return wkbPolygon;
  }
  throw AppError(kErrInternal, "unknown geometry type");
}

// The driver adjusts names, widths and types it does not like without failing; anything but
// an exact copy of the schema would surface much later as a puzzling append error. The file
// is read back as its users will read it, so an Integer must come back as a 32-bit Integer.
void CheckFields(const fs::path& file, OGRLayer& layer, const std::vector<Field>& fields) {
  OGRFeatureDefn* defn = layer.GetLayerDefn();
  if (defn->GetFieldCount() != static_cast<int>(fields.size()))
    throw Refused(kErrInvalidArgument, "Field count differs from the schema", file);
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    const OGRFieldDefn* got = defn->GetFieldDefn(i);
    const Field& want = fields[static_cast<std::size_t>(i)];
    bool same = want.name == got->GetNameRef() && OgrType(want.type) == got->GetType();
    // OGR reports dBASE dates as 10 wide (YYYY/MM/DD); the file holds 8 characters.
    if (want.type != FieldType::Date)
      same = same && want.width == got->GetWidth() && want.precision == got->GetPrecision();
    if (!same)
      throw Refused(kErrInvalidArgument,
                    "Field " + want.name + " does not read back as the schema describes it", file);
  }
}

// Writes one dataset (a shapefile or a lone .dbf) from scratch. `base` is the path without
// extension; `parts` the extensions the driver will write. Nothing that exists is touched,
// and whatever this call created is removed again when it fails.
class DatasetWriter {
 public:
  template <std::size_t N>
  DatasetWriter(fs::path base, const std::array<const char*, N>& parts) : m_base(std::move(base)) {
    for (const char* ext : parts) m_parts.push_back(Part(ext));
    for (const auto& part : m_parts) {
      std::error_code ec;
      if (fs::exists(part, ec) || ec) throw Refused(kErrFileAlreadyExists, "Already exists", part);
    }
  }
  ~DatasetWriter() {
    if (!m_done) {
      m_ds.reset();
      for (const auto& part : m_parts) {
        std::error_code ec;
        fs::remove(part, ec);
      }
    }
  }
  DatasetWriter(const DatasetWriter&) = delete;
  DatasetWriter& operator=(const DatasetWriter&) = delete;

  fs::path Part(const char* ext) const { return fs::path(m_base.string() + ext); }

  OGRLayer& Create(const fs::path& file, const std::string& layerName, OGRSpatialReference* srs,
                   OGRwkbGeometryType geometry, const std::vector<Field>& fields) {
    std::vector<gis::DbfField> dbfFields;
    for (const Field& f : fields) dbfFields.push_back(ToDbfField(f));
    if (const auto problem = gis::FieldListProblem(dbfFields))
      throw Refused(kErrInvalidArgument, *problem, file);
    GDALDriver& driver = gis::Driver("ESRI Shapefile", file);
    CPLErrorReset();
    m_ds.reset(driver.Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!m_ds) throw gis::GdalError("Cannot create", file);
    const std::string encoding = std::string("ENCODING=") + kEncoding;
    const char* options[] = {encoding.c_str(), nullptr};
    CPLErrorReset();
    OGRLayer* layer =
        m_ds->CreateLayer(layerName.c_str(), srs, geometry, const_cast<char**>(options));
    if (layer == nullptr) throw gis::GdalError("Cannot create the layer", file);
    for (const gis::DbfField& f : dbfFields) gis::AddField(*layer, f, file);
    return *layer;
  }

  // Closes the dataset (which writes the headers), then re-opens it the way its users will
  // and checks it against the schema.
  void Finish(const fs::path& file, OGRwkbGeometryType geometry, const std::vector<Field>& fields) {
    gis::CloseDataset(m_ds, "Cannot close", file);
    for (const auto& part : m_parts) {
      std::error_code ec;
      if (!fs::is_regular_file(part, ec))
        throw Refused(kErrPathFileAccess, "Was not written", part);
    }
    DatasetPtr ds = gis::OpenShapefile(file, true, "Cannot open for update");
    OGRLayer* layer = ds->GetLayerCount() == 1 ? ds->GetLayer(0) : nullptr;
    if (layer == nullptr)
      throw Refused(kErrInvalidArgument, "Does not hold exactly one layer", file);
    if (layer->GetGeomType() != geometry)
      throw Refused(kErrInvalidArgument, "Geometry type differs from the schema", file);
    CheckFields(file, *layer, fields);
    m_done = true;  // from here on the files stay, whatever happens next
  }

 private:
  fs::path m_base;
  std::vector<fs::path> m_parts;
  DatasetPtr m_ds;
  bool m_done = false;
};

void MakeFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(folder));
}

}  // namespace

gis::DbfField ToDbfField(const Field& field) {
  gis::DbfType type = gis::DbfType::Integer;
  switch (field.type) {
    case FieldType::Integer:
      type = gis::DbfType::Integer;
      break;
    case FieldType::Real:
      type = gis::DbfType::Real;
      break;
    case FieldType::String:
      type = gis::DbfType::String;
      break;
    case FieldType::Date:
      type = gis::DbfType::Date;
      break;
  }
  return {field.name, type, field.width, field.precision};
}

void CreateEmptyFeatureClass(const fs::path& workspaceFolder, const FeatureClass& fc, int epsg) {
  const fs::path folder = fc.folder.empty() ? workspaceFolder : workspaceFolder / fc.folder;
  MakeFolder(folder);
  gis::QuietGdal quiet;

  DatasetWriter writer(folder / fc.name, kShapefileParts);
  const gis::SpatialRefPtr srs = gis::SpatialRefFromEpsg(epsg, writer.Part(".prj"));
  const fs::path shp = writer.Part(".shp");
  writer.Create(shp, fc.name, srs.get(), OgrGeometry(fc.geometry), fc.fields);
  writer.Finish(shp, OgrGeometry(fc.geometry), fc.fields);
}

void CreateEmptyTable(const fs::path& workspaceFolder, const Table& table) {
  MakeFolder(workspaceFolder);
  gis::QuietGdal quiet;

  DatasetWriter writer(workspaceFolder / table.name, kTableParts);
  const fs::path dbf = writer.Part(".dbf");
  writer.Create(dbf, table.name, nullptr, wkbNone, table.fields);
  writer.Finish(dbf, wkbNone, table.fields);
}

void WriteEmptyWorkspace(const fs::path& folder, const Schema& schema) {
  MakeFolder(folder);
  for (const auto& fc : schema.featureClasses) CreateEmptyFeatureClass(folder, fc, schema.epsg);
  for (const auto& table : schema.tables) CreateEmptyTable(folder, table);
}

}  // namespace rivanet::schema
