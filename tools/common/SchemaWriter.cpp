#include "SchemaWriter.h"

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <array>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>

namespace rivanet::schema {

namespace {

namespace fs = std::filesystem;

constexpr const char* kEncoding = "UTF-8";
constexpr std::array<const char*, 5> kShapefileParts = {".shp", ".shx", ".dbf", ".prj", ".cpg"};
constexpr std::array<const char*, 2> kTableParts = {".dbf", ".cpg"};

// Keeps GDAL's messages off the console while we work; they end up in our exceptions.
class QuietGdalErrors {
 public:
  QuietGdalErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietGdalErrors() { CPLPopErrorHandler(); }
  QuietGdalErrors(const QuietGdalErrors&) = delete;
  QuietGdalErrors& operator=(const QuietGdalErrors&) = delete;
};

[[noreturn]] void Fail(const fs::path& file, const std::string& what) {
  std::string message = file.string() + ": " + what;
  const char* gdal = CPLGetLastErrorMsg();
  if (gdal != nullptr && *gdal != '\0') message += ": " + std::string(gdal);
  throw std::runtime_error(message);
}

GDALDriver& ShapefileDriver() {
  static std::once_flag registered;
  std::call_once(registered, [] { GDALAllRegister(); });
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  if (driver == nullptr) throw std::runtime_error("GDAL has no ESRI Shapefile driver");
  return *driver;
}

struct DatasetCloser {
  void operator()(GDALDataset* ds) const { GDALClose(GDALDataset::ToHandle(ds)); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

OGRFieldType OgrType(FieldType type) {
  switch (type) {
    case FieldType::Integer: return OFTInteger;
    case FieldType::Real: return OFTReal;
    case FieldType::String: return OFTString;
    case FieldType::Date: return OFTDate;
  }
  throw std::logic_error("unknown field type");
}

OGRwkbGeometryType OgrGeometry(Geometry geometry) {
  switch (geometry) {
    case Geometry::Point: return wkbPoint;
    case Geometry::LineString: return wkbLineString;
    case Geometry::Polygon: return wkbPolygon;
  }
  throw std::logic_error("unknown geometry type");
}

// The driver adjusts names, widths and types it does not like without failing; anything but
// an exact copy of the schema would surface much later as a puzzling append error.
void CheckFields(const fs::path& file, OGRLayer& layer, const std::vector<Field>& fields) {
  OGRFeatureDefn* defn = layer.GetLayerDefn();
  if (defn->GetFieldCount() != static_cast<int>(fields.size())) Fail(file, "field count differs from the schema");
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    const OGRFieldDefn* got = defn->GetFieldDefn(i);
    const Field& want = fields[static_cast<std::size_t>(i)];
    bool same = want.name == got->GetNameRef() && OgrType(want.type) == got->GetType();
    // OGR reports dBASE dates as 10 wide (YYYY/MM/DD); the file holds 8 characters.
    if (want.type != FieldType::Date)
      same = same && want.width == got->GetWidth() && want.precision == got->GetPrecision();
    if (!same) Fail(file, "field " + want.name + " does not read back as the schema describes it");
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
      if (fs::exists(part, ec) || ec) throw std::runtime_error(part.string() + ": already exists");
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

  OGRLayer& Create(const char* mainExt, const std::string& layerName, OGRSpatialReference* srs,
                   OGRwkbGeometryType geometry) {
    const fs::path file = Part(mainExt);
    m_ds.reset(ShapefileDriver().Create(file.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!m_ds) Fail(file, "cannot create");
    const std::string encoding = std::string("ENCODING=") + kEncoding;
    const char* options[] = {encoding.c_str(), nullptr};
    OGRLayer* layer = m_ds->CreateLayer(layerName.c_str(), srs, geometry, const_cast<char**>(options));
    if (layer == nullptr) Fail(file, "cannot create the layer");
    return *layer;
  }

  void AddFields(OGRLayer& layer, const std::vector<Field>& fields, const char* mainExt) {
    const fs::path file = Part(mainExt);
    for (const Field& f : fields) {
      OGRFieldDefn defn(f.name.c_str(), OgrType(f.type));
      if (f.type != FieldType::Date) {
        defn.SetWidth(f.width);
        defn.SetPrecision(f.precision);
      }
      if (layer.CreateField(&defn, FALSE) != OGRERR_NONE) Fail(file, "cannot add field " + f.name);
    }
    CheckFields(file, layer, fields);
  }

  void Finish(const char* mainExt) {
    CPLErrorReset();
    m_ds.reset();  // GDALClose writes the headers
    if (CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal) Fail(Part(mainExt), "cannot close");
    for (const auto& part : m_parts) {
      std::error_code ec;
      if (!fs::is_regular_file(part, ec)) Fail(part, "was not written");
    }
  }

  // From here on the files stay, whatever happens next.
  void Keep() { m_done = true; }

 private:
  fs::path m_base;
  std::vector<fs::path> m_parts;
  DatasetPtr m_ds;
  bool m_done = false;
};

// Re-opens what was just written the way its users will, and checks it against the schema.
void CheckWritten(const fs::path& file, OGRwkbGeometryType geometry, const std::vector<Field>& fields) {
  GDALDatasetUniquePtr ds = OpenSchemaDataset(file, true);
  OGRLayer* layer = ds->GetLayerCount() == 1 ? ds->GetLayer(0) : nullptr;
  if (layer == nullptr) Fail(file, "does not hold exactly one layer");
  if (layer->GetGeomType() != geometry) Fail(file, "geometry type differs from the schema");
  CheckFields(file, *layer, fields);
}

void MakeFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw std::runtime_error(folder.string() + ": cannot create the folder: " + ec.message());
}

}  // namespace

void CreateEmptyFeatureClass(const fs::path& workspaceFolder, const FeatureClass& fc, int epsg) {
  const fs::path folder = fc.folder.empty() ? workspaceFolder : workspaceFolder / fc.folder;
  MakeFolder(folder);
  QuietGdalErrors quiet;

  DatasetWriter writer(folder / fc.name, kShapefileParts);
  OGRSpatialReference srs;
  if (srs.importFromEPSG(epsg) != OGRERR_NONE)
    Fail(writer.Part(".prj"), "unknown coordinate system EPSG:" + std::to_string(epsg));
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);

  OGRLayer& layer = writer.Create(".shp", fc.name, &srs, OgrGeometry(fc.geometry));
  writer.AddFields(layer, fc.fields, ".shp");
  writer.Finish(".shp");
  CheckWritten(writer.Part(".shp"), OgrGeometry(fc.geometry), fc.fields);
  writer.Keep();
}

void CreateEmptyTable(const fs::path& workspaceFolder, const Table& table) {
  MakeFolder(workspaceFolder);
  QuietGdalErrors quiet;

  DatasetWriter writer(workspaceFolder / table.name, kTableParts);
  OGRLayer& layer = writer.Create(".dbf", table.name, nullptr, wkbNone);
  writer.AddFields(layer, table.fields, ".dbf");
  writer.Finish(".dbf");
  CheckWritten(writer.Part(".dbf"), wkbNone, table.fields);
  writer.Keep();
}

void WriteEmptyWorkspace(const fs::path& folder, const Schema& schema) {
  MakeFolder(folder);
  for (const auto& fc : schema.featureClasses) CreateEmptyFeatureClass(folder, fc, schema.epsg);
  for (const auto& table : schema.tables) CreateEmptyTable(folder, table);
}

GDALDatasetUniquePtr OpenSchemaDataset(const fs::path& file, bool update) {
  ShapefileDriver();  // registers the drivers
  QuietGdalErrors quiet;
  const char* drivers[] = {"ESRI Shapefile", nullptr};
  const char* options[] = {"ADJUST_TYPE=YES", nullptr};
  const unsigned flags = GDAL_OF_VECTOR | (update ? GDAL_OF_UPDATE : GDAL_OF_READONLY);
  GDALDatasetUniquePtr ds(GDALDataset::Open(file.string().c_str(), flags, drivers, options, nullptr));
  if (!ds) Fail(file, update ? "cannot open for update" : "cannot open");
  return ds;
}

}  // namespace rivanet::schema
