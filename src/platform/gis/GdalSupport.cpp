#include "platform/gis/GdalSupport.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <system_error>

#include "platform/Text.h"
#include "platform/files/FileSystem.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

// GDAL ends many messages with a full stop or a line break; the AppError adds the file after.
std::string Trimmed(std::string message) {
  while (!message.empty() &&
         (message.back() == '.' || message.back() == ' ' || message.back() == '\n'))
    message.pop_back();
  return message;
}

AppError MakeError(CPLErrorNum number, const std::string& message, std::string_view operation,
                   std::string_view subject) {
  std::string text(operation);
  const std::string detail = Trimmed(message);
  if (!detail.empty()) text += ": " + detail;
  text += ": ";
  text += subject;
  return AppError(number != CPLE_None ? number : CPLE_AppDefined, std::move(text),
                  ErrorScheme::Gdal);
}

// The system's reason for a failed write, when errno holds one a write fails for. Other values
// may be left behind by calls that failed harmlessly on the way (a probe for a side file).
std::string WriteFailureReason(int err) {
  switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EIO:
    case EROFS:
      return std::error_code(err, std::generic_category()).message();
    default:
      return {};
  }
}

// GDAL's message with the system's reason for a failed write added, when it lacks it.
std::string WithReason(const std::string& message, int err) {
  std::string text = Trimmed(message);
  const std::string reason = WriteFailureReason(err);
  if (!reason.empty() && text.find(reason) == std::string::npos)
    text += (text.empty() ? "" : ": ") + reason;
  return text;
}

void RemoveFile(const fs::path& file) {
  std::error_code ec;
  if (!fs::remove(file, ec) && ec) throw AppError::FromErrno(ec.value(), DisplayPath(file));
}

}  // namespace

void EnsureGdal() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    GDALAllRegister();
    // GDAL's block cache would otherwise grow to 5% of the machine's memory. The grids are
    // streamed a row of tiles at a time, which needs only a few rows of each input's blocks.
    GDALSetCacheMax64(kGdalCacheBytes);
  });
}

QuietGdal::QuietGdal() { CPLPushErrorHandlerEx(&QuietGdal::Record, this); }

QuietGdal::~QuietGdal() { CPLPopErrorHandler(); }

void QuietGdal::Record(CPLErr level, CPLErrorNum number, const char* message) {
  auto* self = static_cast<QuietGdal*>(CPLGetErrorHandlerUserData());
  if (self == nullptr || self->m_seen || level < CE_Warning) return;
  self->m_seen = true;
  self->m_errno = errno;  // as the failed call that GDAL reports left it
  self->m_number = number;
  self->m_message = message != nullptr ? message : "";
}

std::optional<AppError> QuietGdal::FirstMessage(std::string_view operation,
                                                const fs::path& file) const {
  if (!m_seen) return std::nullopt;
  return MakeError(m_number, WithReason(m_message, m_errno), operation, DisplayPath(file));
}

AppError GdalError(std::string_view operation, std::string_view subject) {
  return MakeError(CPLGetLastErrorNo(), CPLGetLastErrorMsg(), operation, subject);
}

AppError GdalError(std::string_view operation, const fs::path& file) {
  return GdalError(operation, std::string_view(DisplayPath(file)));
}

AppError GdalWriteError(std::string_view operation, const fs::path& file) {
  return MakeError(CPLGetLastErrorNo(), WithReason(CPLGetLastErrorMsg(), errno), operation,
                   DisplayPath(file));
}

bool GdalFailed() { return CPLGetLastErrorType() >= CE_Failure; }

ScopedConfigOption::ScopedConfigOption(const char* key, const char* value) : m_key(key) {
  if (const char* previous = CPLGetThreadLocalConfigOption(key, nullptr)) m_previous = previous;
  CPLSetThreadLocalConfigOption(key, value);
}

ScopedConfigOption::~ScopedConfigOption() {
  CPLSetThreadLocalConfigOption(m_key.c_str(), m_previous ? m_previous->c_str() : nullptr);
}

GDALDriver& Driver(const char* name, const fs::path& file) {
  EnsureGdal();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(name);
  if (driver == nullptr)
    throw AppError(kErrFileNotFound,
                   std::string("GDAL has no ") + name + " driver: " + DisplayPath(file));
  return *driver;
}

DatasetPtr OpenDataset(const fs::path& file, unsigned flags,
                       std::initializer_list<const char*> drivers,
                       std::initializer_list<const char*> options, std::string_view operation) {
  EnsureGdal();
  std::vector<const char*> driverList(drivers);
  driverList.push_back(nullptr);
  std::vector<const char*> optionList(options);
  optionList.push_back(nullptr);
  const ScopedConfigOption noSideFiles("GDAL_PAM_ENABLED", "NO");
  CPLErrorReset();
  DatasetPtr ds(GDALDataset::Open(file.c_str(), flags | GDAL_OF_VERBOSE_ERROR, driverList.data(),
                                  optionList.data(), nullptr));
  if (!ds) throw GdalError(operation, file);
  return ds;
}

DatasetPtr OpenShapefile(const fs::path& file, bool update, std::string_view operation) {
  return OpenDataset(file, GDAL_OF_VECTOR | (update ? GDAL_OF_UPDATE : GDAL_OF_READONLY),
                     {"ESRI Shapefile"}, {"ADJUST_TYPE=YES"}, operation);
}

void CloseDataset(DatasetPtr& dataset, std::string_view operation, const fs::path& file) {
  CPLErrorReset();
  dataset.reset();
  if (GdalFailed()) throw GdalWriteError(operation, file);
}

FeaturePtr NewFeature(OGRLayer& layer) {
  return FeaturePtr(OGRFeature::CreateFeature(layer.GetLayerDefn()));
}

DbfField DbfFieldOf(const OGRFieldDefn& fd) {
  DbfField field{fd.GetNameRef(), DbfType::String, fd.GetWidth(), 0};
  switch (fd.GetType()) {
    case OFTInteger:
    case OFTInteger64:
      field.type = DbfType::Integer;
      break;
    case OFTReal:
      field.type = DbfType::Real;
      field.precision = fd.GetPrecision();
      break;
    case OFTDate:
      field.type = DbfType::Date;
      field.width = 8;
      break;
    default:
      break;
  }
  return field;
}

std::vector<DbfField> DbfFieldsOf(const OGRFeatureDefn& defn) {
  std::vector<DbfField> fields;
  fields.reserve(static_cast<std::size_t>(defn.GetFieldCount()));
  for (int i = 0; i < defn.GetFieldCount(); ++i)
    fields.push_back(DbfFieldOf(*defn.GetFieldDefn(i)));
  return fields;
}

FieldDefnPtr NewFieldDefn(const DbfField& field) {
  OGRFieldType type = OFTString;
  switch (field.type) {
    case DbfType::Integer:
      type = field.width > 9 ? OFTInteger64 : OFTInteger;
      break;
    case DbfType::Real:
      type = OFTReal;
      break;
    case DbfType::String:
      type = OFTString;
      break;
    case DbfType::Date:
      type = OFTDate;
      break;
  }
  auto defn = std::make_unique<OGRFieldDefn>(field.name.c_str(), type);
  if (field.type != DbfType::Date) {
    defn->SetWidth(field.width);
    defn->SetPrecision(field.type == DbfType::Real ? field.precision : 0);
  }
  return defn;
}

void AddField(OGRLayer& layer, const DbfField& field, const fs::path& file) {
  const FieldDefnPtr defn = NewFieldDefn(field);
  CPLErrorReset();
  if (layer.CreateField(defn.get(), FALSE) != OGRERR_NONE)
    throw GdalError("Cannot add field " + field.name, file);
}

SpatialRefPtr SpatialRefFromEpsg(int code, const fs::path& file) {
  EnsureGdal();
  SpatialRefPtr srs(new OGRSpatialReference());
  CPLErrorReset();
  if (srs->importFromEPSG(code) != OGRERR_NONE)
    throw GdalError("Unknown coordinate system EPSG:" + std::to_string(code), file);
  srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

SpatialRefPtr SpatialRefFromWkt(const std::string& wkt, std::string_view subject) {
  EnsureGdal();
  SpatialRefPtr srs(new OGRSpatialReference());
  CPLErrorReset();
  if (srs->importFromWkt(wkt.c_str()) != OGRERR_NONE)
    throw GdalError("Cannot read the coordinate system", subject);
  srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

std::string WktOf(const OGRSpatialReference& srs, std::string_view subject) {
  char* wkt = nullptr;
  CPLErrorReset();
  const OGRErr err = srs.exportToWkt(&wkt);
  const std::unique_ptr<char, decltype(&CPLFree)> owned(wkt, &CPLFree);
  if (err != OGRERR_NONE || wkt == nullptr)
    throw GdalError("Cannot describe the coordinate system", subject);
  return wkt;
}

void RemoveMatching(const fs::path& folder, const std::vector<std::string>& names,
                    const std::vector<std::string>& prefixes, const fs::path& keep) {
  std::vector<fs::path> doomed;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    const bool hit = std::any_of(names.begin(), names.end(),
                                 [&](const auto& n) { return SameIgnoringCase(file, n); }) ||
                     std::any_of(prefixes.begin(), prefixes.end(),
                                 [&](const auto& p) { return StartsIgnoringCase(file, p); });
    if (hit && it->path() != keep) doomed.push_back(it->path());
  }
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(folder));
  for (const auto& file : doomed) RemoveFile(file);
}

}  // namespace rivanet::gis
