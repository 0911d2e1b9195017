#pragma once

// The one place that knows how the program talks to GDAL: registration, quiet error handling,
// turning GDAL's last error into an AppError, owning handles, opening inputs without side
// files. Used by the GIS library and by the developer tools; the phases never see it: this
// header pulls in GDAL, and only targets linking rivanet_gdal_support get GDAL's headers.

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/gis/DbfFields.h"

namespace rivanet::gis {

// The most memory GDAL's raster block cache may hold.
inline constexpr std::int64_t kGdalCacheBytes = 64LL * 1024 * 1024;

// Registers GDAL's drivers and caps the block cache, once per process.
void EnsureGdal();

// While alive, GDAL's messages stay off the console: every failure reaches the caller as an
// AppError instead. GDAL still records its last error, which GdalError reads. The first
// warning or error GDAL raised in this scope is kept, because GDAL reports some data loss (a
// value too wide for its field) only as a warning.
class QuietGdal {
 public:
  QuietGdal();
  ~QuietGdal();
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;

  // The first message GDAL raised in this scope, as GdalWriteError words it (with the system's
  // reason when a write failed); none when quiet.
  std::optional<AppError> FirstMessage(std::string_view operation,
                                       const std::filesystem::path& file) const;

 private:
  static void Record(CPLErr level, CPLErrorNum number, const char* message);
  bool m_seen = false;
  CPLErrorNum m_number = CPLE_None;
  int m_errno = 0;
  std::string m_message;
};

// The AppError for the GDAL call that just failed: GDAL's error number (CPLE_AppDefined when
// it recorded none) and "<operation>: <GDAL's message>: <file>". Call CPLErrorReset() right
// before the GDAL call, so that what GDAL has recorded belongs to that call.
AppError GdalError(std::string_view operation, const std::filesystem::path& file);
// As above for something that is no file (a coordinate system, an in-memory dataset).
AppError GdalError(std::string_view operation, std::string_view subject);
// As GdalError for a write that failed, with the system's reason added when GDAL's message
// lacks it: some of GDAL's writers (dBASE records, GeoTIFF tiles) say only that a write failed,
// not that the disk is full. Call it right after the failed call: it reads errno.
AppError GdalWriteError(std::string_view operation, const std::filesystem::path& file);
// True when the GDAL calls since the last CPLErrorReset() recorded a failure.
bool GdalFailed();

// Sets a GDAL configuration option for this thread while alive; restores the earlier value.
class ScopedConfigOption {
 public:
  ScopedConfigOption(const char* key, const char* value);
  ~ScopedConfigOption();
  ScopedConfigOption(const ScopedConfigOption&) = delete;
  ScopedConfigOption& operator=(const ScopedConfigOption&) = delete;

 private:
  std::string m_key;
  std::optional<std::string> m_previous;
};

// Owning handles: nothing GDAL creates is closed or destroyed by hand.
using DatasetPtr = GDALDatasetUniquePtr;
using FeaturePtr = OGRFeatureUniquePtr;
using FieldDefnPtr = std::unique_ptr<OGRFieldDefn>;
struct SpatialRefReleaser {
  void operator()(OGRSpatialReference* srs) const {
    if (srs != nullptr) srs->Release();
  }
};
using SpatialRefPtr = std::unique_ptr<OGRSpatialReference, SpatialRefReleaser>;

// The named driver; AppError naming `file` when this GDAL lacks it.
GDALDriver& Driver(const char* name, const std::filesystem::path& file);

// Opens a dataset with the given drivers and open options. Side files (.aux.xml) are neither
// read nor written: inputs belong to the user, and what the program needs is in the data
// files themselves. `flags` as GDALOpenEx (GDAL_OF_RASTER, GDAL_OF_UPDATE, ...).
DatasetPtr OpenDataset(const std::filesystem::path& file, unsigned flags,
                       std::initializer_list<const char*> drivers,
                       std::initializer_list<const char*> options, std::string_view operation);
// A shapefile (.shp) or a lone dBASE table (.dbf). GDAL reads a 10-digit numeric field as
// Integer64 unless told to look at the values (ADJUST_TYPE=YES), which this does, so Integer
// fields stay Integer as long as their values fit 32 bits.
DatasetPtr OpenShapefile(const std::filesystem::path& file, bool update,
                         std::string_view operation = "Cannot open");
// Closes the dataset, which writes what GDAL still holds; AppError when that fails.
void CloseDataset(DatasetPtr& dataset, std::string_view operation,
                  const std::filesystem::path& file);

FeaturePtr NewFeature(OGRLayer& layer);
// The OGR field for a dBASE field definition (dates are always 8 wide in dBASE).
FieldDefnPtr NewFieldDefn(const DbfField& field);
// The dBASE field behind an OGR field (a date is 8 wide; a type dBASE lacks reads as text),
// and the fields of a layer in layer order.
DbfField DbfFieldOf(const OGRFieldDefn& field);
std::vector<DbfField> DbfFieldsOf(const OGRFeatureDefn& defn);
// Adds the field to the layer; AppError naming `file` and the field when GDAL refuses it.
void AddField(OGRLayer& layer, const DbfField& field, const std::filesystem::path& file);

// Spatial references with the x/y (easting/northing) axis order the files store.
SpatialRefPtr SpatialRefFromEpsg(int code, const std::filesystem::path& file);
SpatialRefPtr SpatialRefFromWkt(const std::string& wkt, std::string_view subject);
std::string WktOf(const OGRSpatialReference& srs, std::string_view subject);

// Removes the files of `folder` whose names, letter case ignored, equal one of `names` or start
// with one of `prefixes`; `keep` is spared even when it matches.
void RemoveMatching(const std::filesystem::path& folder, const std::vector<std::string>& names,
                    const std::vector<std::string>& prefixes,
                    const std::filesystem::path& keep = {});

}  // namespace rivanet::gis
