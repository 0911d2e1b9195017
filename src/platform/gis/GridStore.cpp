#include "platform/gis/GridStore.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>
#include <system_error>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

// Tile edge of the GeoTIFFs the project writes.
constexpr int kTile = 256;

void EnsureGdal() {
  static const bool registered = [] {
    GDALAllRegister();
    return true;
  }();
  (void)registered;
}

// Keeps GDAL's own messages off the console while a store operation runs: every failure
// reaches the caller as an AppError instead. GDAL still records the last error, which is
// what the checks below read.
class QuietGdal {
 public:
  QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); }
  ~QuietGdal() { CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
};

// Turns the failure of the GDAL call just made into an AppError. The caller resets GDAL's
// error state right before that call, so whatever is recorded now belongs to it.
AppError GdalError(const fs::path& file, const std::string& fallback) {
  const CPLErrorNum number = CPLGetLastErrorNo();
  std::string message = CPLGetLastErrorMsg();
  while (!message.empty() && (message.back() == '.' || message.back() == ' ' || message.back() == '\n'))
    message.pop_back();
  if (message.empty()) message = fallback;
  return AppError(number != CPLE_None ? number : CPLE_AppDefined,
                  message + ": " + DisplayPath(file), ErrorScheme::Gdal);
}

bool Failed() { return CPLGetLastErrorType() >= CE_Failure; }

AppError OwnError(long number, const std::string& text, const fs::path& file) {
  return AppError(number, text + ": " + DisplayPath(file));
}

struct DatasetCloser {
  void operator()(void* ds) const {
    if (ds != nullptr) GDALClose(ds);
  }
};
using DatasetPtr = std::unique_ptr<void, DatasetCloser>;

// "a/b/" and "a/b" name the same grid folder.
fs::path WithoutTrailingSlash(fs::path path) {
  while (path.has_relative_path() && path.filename().empty()) path = path.parent_path();
  return path;
}

struct GridLocation {
  fs::path folder;   // as found on disk
  std::string name;  // folder name, also the name of the files inside
  bool isTiff = false;
  fs::path tif;      // <folder>/<name>.tif when isTiff
  fs::path dataset;  // what GDAL opens: the .tif, or the ArcInfo grid folder
};

GridLocation LocateGrid(const fs::path& gridFolder) {
  const auto files = MakeFileSystem();
  GridLocation where;
  where.folder = files->Resolve(WithoutTrailingSlash(gridFolder));
  if (!files->FolderExists(where.folder))
    throw OwnError(kErrPathNotFound, "Grid folder not found", where.folder);
  where.name = where.folder.filename().string();
  where.tif = files->Resolve(where.folder / (where.name + ".tif"));
  if (files->FileExists(where.tif)) {
    where.isTiff = true;
    where.dataset = where.tif;
    return where;
  }
  if (files->FileExists(where.folder / "hdr.adf")) {
    where.dataset = where.folder;
    return where;
  }
  throw OwnError(kErrFileNotFound, "No grid in folder (neither " + where.name + ".tif nor hdr.adf)",
                 where.folder);
}

// Opens a grid read-only. Side files (.aux.xml) are neither read nor written: workspaces
// belong to the user, and everything the store needs is in the grid files themselves.
DatasetPtr OpenGrid(const GridLocation& where) {
  const char* tiff[] = {"GTiff", nullptr};
  const char* arcInfo[] = {"AIG", nullptr};
  const char* previous = CPLGetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr);
  const std::string saved = previous != nullptr ? previous : "";
  CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "NO");
  CPLErrorReset();
  GDALDatasetH ds = GDALOpenEx(where.dataset.c_str(),
                               GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                               where.isTiff ? tiff : arcInfo, nullptr, nullptr);
  // Read the outcome before restoring the option, which must not disturb the error state.
  std::optional<AppError> failure;
  if (ds == nullptr) failure = GdalError(where.dataset, "Cannot open grid");
  CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", previous != nullptr ? saved.c_str() : nullptr);
  if (failure) throw *failure;
  return DatasetPtr(ds);
}

void RemoveFile(const fs::path& file) {
  std::error_code ec;
  if (!fs::remove(file, ec) && ec) throw AppError::FromErrno(ec.value(), DisplayPath(file));
}

// Removes the files of `folder` whose names, letter case ignored, equal one of `names` or
// start with one of `prefixes`.
void RemoveMatching(const fs::path& folder, const std::vector<std::string>& names,
                    const std::vector<std::string>& prefixes) {
  std::vector<fs::path> doomed;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    const bool hit =
        std::any_of(names.begin(), names.end(), [&](const auto& n) { return SameIgnoringCase(file, n); }) ||
        std::any_of(prefixes.begin(), prefixes.end(),
                    [&](const auto& p) { return StartsIgnoringCase(file, p); });
    if (hit) doomed.push_back(it->path());
  }
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(folder));
  for (const auto& file : doomed) RemoveFile(file);
}

std::string TypeName(GDALDataType type) {
  const char* name = GDALGetDataTypeName(type);
  return name != nullptr ? name : "unknown";
}

}  // namespace

// ---------------------------------------------------------------------------------------
// GridWriter

struct GridWriter::Impl {
  fs::path file;
  DatasetPtr ds;  // closed on every path out, a failing constructor included
  GDALRasterBandH band = nullptr;
  GridGeometry geometry;
  CellType type = CellType::Int32;
  std::int32_t fill = 0;  // value of the cells beyond the grid edge in edge tiles
  int nextRow = 0;        // first row not yet handed over
  int windowTop = 0;      // first row of the tile row being collected
  std::vector<std::int32_t> window;       // one tile row: kTile rows x cols
  std::vector<unsigned char> tileBuffer;  // one tile in the stored cell type

  void FlushWindow();
};

GridWriter::GridWriter(const fs::path& gridFolder, const GridGeometry& geometry, CellType type,
                       std::optional<std::int32_t> noData)
    : m_impl(std::make_unique<Impl>()) {
  EnsureGdal();
  QuietGdal quiet;
  Impl& w = *m_impl;
  w.geometry = geometry;
  w.type = type;

  const auto files = MakeFileSystem();
  const fs::path folder = files->Resolve(WithoutTrailingSlash(gridFolder));
  const std::string name = folder.filename().string();
  w.file = folder / (name + ".tif");
  if (geometry.cols < 1 || geometry.rows < 1)
    throw OwnError(kErrInvalidArgument, "A grid needs at least one row and one column", w.file);
  if (!(geometry.cellSize > 0) || !std::isfinite(geometry.cellSize) ||
      !std::isfinite(geometry.originX) || !std::isfinite(geometry.originY))
    throw OwnError(kErrInvalidArgument, "Invalid cell size or origin", w.file);
  if (type == CellType::UInt8 && noData && (*noData < 0 || *noData > 255))
    throw OwnError(kErrOverflow, "NoData " + std::to_string(*noData) + " does not fit 8-bit cells",
                   w.file);
  w.fill = noData.value_or(0);

  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(folder));
  RemoveMatching(folder, {name + ".tif", name + ".tfw"}, {name + ".tif."});

  GDALDriverH driver = GDALGetDriverByName("GTiff");
  if (driver == nullptr) throw OwnError(kErrFileNotFound, "GDAL has no GTiff driver", w.file);
  const std::string block = std::to_string(kTile);
  const std::string bx = "BLOCKXSIZE=" + block, by = "BLOCKYSIZE=" + block;
  const char* options[] = {"TILED=YES",   bx.c_str(),          by.c_str(), "COMPRESS=DEFLATE",
                           "PREDICTOR=2", "BIGTIFF=IF_SAFER", nullptr};
  CPLErrorReset();
  w.ds.reset(GDALCreate(driver, w.file.c_str(), geometry.cols, geometry.rows, 1,
                        type == CellType::UInt8 ? GDT_Byte : GDT_Int32, const_cast<char**>(options)));
  if (!w.ds) throw GdalError(w.file, "Cannot create grid");
  CPLErrorReset();
  w.band = GDALGetRasterBand(w.ds.get(), 1);
  if (w.band == nullptr) throw GdalError(w.file, "Cannot create grid");

  double transform[6] = {geometry.originX, geometry.cellSize, 0, geometry.originY, 0,
                         -geometry.cellSize};
  CPLErrorReset();
  if (GDALSetGeoTransform(w.ds.get(), transform) != CE_None)
    throw GdalError(w.file, "Cannot set the georeferencing");
  if (!geometry.crsWkt.empty()) {
    CPLErrorReset();
    if (GDALSetProjection(w.ds.get(), geometry.crsWkt.c_str()) != CE_None)
      throw GdalError(w.file, "Cannot set the coordinate system");
  }
  if (noData) {
    CPLErrorReset();
    if (GDALSetRasterNoDataValue(w.band, *noData) != CE_None)
      throw GdalError(w.file, "Cannot set NoData");
  }
  w.window.resize(static_cast<std::size_t>(kTile) * static_cast<std::size_t>(geometry.cols));
  w.tileBuffer.resize(static_cast<std::size_t>(kTile) * kTile * (type == CellType::UInt8 ? 1 : 4));
}

GridWriter::~GridWriter() {
  if (m_impl && m_impl->ds) {
    QuietGdal quiet;
    m_impl->ds.reset();
  }
}

void GridWriter::Impl::FlushWindow() {
  const int rowsHere = std::min(kTile, geometry.rows - windowTop);
  const int tileRow = windowTop / kTile;
  const std::size_t cols = static_cast<std::size_t>(geometry.cols);
  for (int tileCol = 0; tileCol * kTile < geometry.cols; ++tileCol) {
    const int left = tileCol * kTile;
    const int colsHere = std::min(kTile, geometry.cols - left);
    for (int r = 0; r < kTile; ++r) {
      const std::int32_t* src = window.data() + static_cast<std::size_t>(r) * cols + left;
      const std::size_t at = static_cast<std::size_t>(r) * kTile;
      for (int c = 0; c < kTile; ++c) {
        const std::int32_t v = (r < rowsHere && c < colsHere) ? src[c] : fill;
        if (type == CellType::UInt8)
          tileBuffer[at + c] = static_cast<unsigned char>(v);
        else
          std::memcpy(tileBuffer.data() + (at + c) * 4, &v, 4);
      }
    }
    CPLErrorReset();
    if (GDALWriteBlock(band, tileCol, tileRow, tileBuffer.data()) != CE_None)
      throw GdalError(file, "Cannot write grid block");
  }
  windowTop += rowsHere;
}

void GridWriter::WriteRows(int firstRow, int rowCount, const std::int32_t* cells) {
  Impl& w = *m_impl;
  if (!w.ds) throw OwnError(kErrInvalidArgument, "Grid already closed", w.file);
  if (firstRow != w.nextRow || rowCount < 0 || rowCount > w.geometry.rows - firstRow)
    throw OwnError(kErrSubscriptOutOfRange,
                   "Rows " + std::to_string(firstRow) + " to " +
                       std::to_string(firstRow + rowCount - 1) + " written out of order (next is " +
                       std::to_string(w.nextRow) + " of " + std::to_string(w.geometry.rows) + ")",
                   w.file);
  QuietGdal quiet;
  const std::size_t cols = static_cast<std::size_t>(w.geometry.cols);
  for (int i = 0; i < rowCount; ++i) {
    const std::int32_t* src = cells + static_cast<std::size_t>(i) * cols;
    if (w.type == CellType::UInt8) {
      const auto bad = std::find_if(src, src + cols, [](std::int32_t v) { return v < 0 || v > 255; });
      if (bad != src + cols)
        throw OwnError(kErrOverflow,
                       "Cell value " + std::to_string(*bad) + " in row " +
                           std::to_string(w.nextRow) + " does not fit 8-bit cells",
                       w.file);
    }
    const std::size_t slot = static_cast<std::size_t>(w.nextRow - w.windowTop);
    std::copy(src, src + cols, w.window.begin() + static_cast<std::ptrdiff_t>(slot * cols));
    ++w.nextRow;
    if (w.nextRow - w.windowTop == kTile || w.nextRow == w.geometry.rows) w.FlushWindow();
  }
}

void GridWriter::Close() {
  Impl& w = *m_impl;
  if (!w.ds) return;
  QuietGdal quiet;
  DatasetPtr ds = std::move(w.ds);
  if (w.nextRow != w.geometry.rows)
    throw OwnError(kErrInvalidArgument,
                   "Grid incomplete: " + std::to_string(w.nextRow) + " of " +
                       std::to_string(w.geometry.rows) + " rows written",
                   w.file);
  CPLErrorReset();
  GDALFlushCache(ds.get());
  if (Failed()) throw GdalError(w.file, "Cannot write grid");
  CPLErrorReset();
  GDALClose(ds.release());
  if (Failed()) throw GdalError(w.file, "Cannot close grid");
}

// ---------------------------------------------------------------------------------------
// GridReader

struct GridReader::Impl {
  fs::path file;  // for messages: the .tif, or the ArcInfo grid folder
  DatasetPtr ds;
  GDALRasterBandH band = nullptr;
  GridGeometry geometry;
  CellType type = CellType::Int32;
  std::optional<std::int32_t> noData;
  int blockWidth = 0;
  int blockHeight = 0;
};

GridReader::GridReader(const fs::path& gridFolder) : m_impl(std::make_unique<Impl>()) {
  EnsureGdal();
  QuietGdal quiet;
  Impl& r = *m_impl;
  const GridLocation where = LocateGrid(gridFolder);
  r.file = where.dataset;
  r.ds = OpenGrid(where);
  if (GDALGetRasterCount(r.ds.get()) < 1) throw OwnError(kErrInvalidArgument, "Grid has no band", r.file);
  r.band = GDALGetRasterBand(r.ds.get(), 1);

  double t[6] = {};
  CPLErrorReset();
  if (GDALGetGeoTransform(r.ds.get(), t) != CE_None)
    throw OwnError(kErrInvalidArgument, "Grid has no georeferencing", r.file);
  const bool northUp = t[2] == 0 && t[4] == 0 && t[1] > 0 && t[5] < 0;
  if (!northUp || std::fabs(t[1] + t[5]) > 1e-9 * t[1])
    throw OwnError(kErrInvalidArgument, "Grid is not north-up with square cells", r.file);
  r.geometry.originX = t[0];
  r.geometry.originY = t[3];
  r.geometry.cellSize = t[1];
  r.geometry.cols = GDALGetRasterXSize(r.ds.get());
  r.geometry.rows = GDALGetRasterYSize(r.ds.get());
  const char* wkt = GDALGetProjectionRef(r.ds.get());
  r.geometry.crsWkt = wkt != nullptr ? wkt : "";

  const GDALDataType stored = GDALGetRasterDataType(r.band);
  switch (stored) {
    case GDT_Byte: r.type = CellType::UInt8; break;
    case GDT_Int16:
    case GDT_UInt16:
    case GDT_Int32: r.type = CellType::Int32; break;
    default:
      throw OwnError(kErrInvalidArgument,
                     "Unsupported cell type " + TypeName(stored) + " (integer grids only)", r.file);
  }
  int hasNoData = 0;
  const double noData = GDALGetRasterNoDataValue(r.band, &hasNoData);
  // A NoData that no int32 cell can equal marks no cell, so it is as good as none.
  if (hasNoData != 0 && std::isfinite(noData) && noData == std::floor(noData) &&
      noData >= std::numeric_limits<std::int32_t>::min() &&
      noData <= std::numeric_limits<std::int32_t>::max())
    r.noData = static_cast<std::int32_t>(noData);
  GDALGetBlockSize(r.band, &r.blockWidth, &r.blockHeight);
}

GridReader::~GridReader() {
  if (m_impl && m_impl->ds) {
    QuietGdal quiet;
    m_impl->ds.reset();
  }
}

const GridGeometry& GridReader::Geometry() const { return m_impl->geometry; }
CellType GridReader::Type() const { return m_impl->type; }
std::optional<std::int32_t> GridReader::NoData() const { return m_impl->noData; }
int GridReader::BlockWidth() const { return m_impl->blockWidth; }
int GridReader::BlockHeight() const { return m_impl->blockHeight; }

void GridReader::ReadRows(int firstRow, int rowCount, std::int32_t* cells) {
  Impl& r = *m_impl;
  if (firstRow < 0 || rowCount < 0 || rowCount > r.geometry.rows - firstRow)
    throw OwnError(kErrSubscriptOutOfRange,
                   "Rows " + std::to_string(firstRow) + " to " +
                       std::to_string(firstRow + rowCount - 1) + " outside the grid's " +
                       std::to_string(r.geometry.rows) + " rows",
                   r.file);
  if (rowCount == 0) return;
  QuietGdal quiet;
  CPLErrorReset();
  if (GDALRasterIO(r.band, GF_Read, 0, firstRow, r.geometry.cols, rowCount, cells, r.geometry.cols,
                   rowCount, GDT_Int32, 0, 0) != CE_None)
    throw GdalError(r.file, "Cannot read grid cells");
}

// ---------------------------------------------------------------------------------------
// Value attribute tables

int FindVatField(const Vat& vat, const std::string& name) {
  for (std::size_t i = 0; i < vat.fields.size(); ++i)
    if (SameIgnoringCase(vat.fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

std::int64_t VatInteger(const VatValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return *i;
  if (const auto* d = std::get_if<double>(&value)) {
    // 2^63 is exactly representable; anything from there on does not fit.
    if (std::isfinite(*d) && *d == std::floor(*d) && *d >= -9223372036854775808.0 &&
        *d < 9223372036854775808.0)
      return static_cast<std::int64_t>(*d);
  }
  throw AppError(kErrInvalidArgument, "Not an integer in the value attribute table");
}

namespace {

struct VatFiles {
  fs::path folder;
  std::string name;
  fs::path dbf;     // <folder>/<name>.tif.vat.dbf as found, or as it would be written
  fs::path vatAdf;  // <folder>/vat.adf as found
};

VatFiles LocateVat(const fs::path& gridFolder) {
  const auto files = MakeFileSystem();
  VatFiles v;
  v.folder = files->Resolve(WithoutTrailingSlash(gridFolder));
  v.name = v.folder.filename().string();
  v.dbf = files->Resolve(v.folder / (v.name + ".tif.vat.dbf"));
  v.vatAdf = files->Resolve(v.folder / "vat.adf");
  return v;
}

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// Checks the table's shape and puts the rows in ascending Value order.
void FinishVat(Vat& vat, const fs::path& file) {
  if (vat.fields.size() < 2 || !SameIgnoringCase(vat.fields[0].name, "Value") ||
      !SameIgnoringCase(vat.fields[1].name, "Count"))
    throw OwnError(kErrInvalidArgument, "Not a value attribute table (Value and Count expected first)",
                   file);
  std::vector<std::int64_t> keys;
  keys.reserve(vat.rows.size());
  for (std::size_t i = 0; i < vat.rows.size(); ++i) {
    try {
      keys.push_back(VatInteger(vat.rows[i].at(0)));
    } catch (const AppError&) {
      throw OwnError(kErrInvalidArgument,
                     "Value attribute table row " + std::to_string(i + 1) + " has no integer Value",
                     file);
    }
  }
  std::vector<std::size_t> order(vat.rows.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return keys[a] < keys[b]; });
  std::vector<VatRow> sorted;
  sorted.reserve(order.size());
  for (auto i : order) sorted.push_back(std::move(vat.rows[i]));
  vat.rows = std::move(sorted);
}

Vat ReadDbfVat(const fs::path& dbf) {
  const char* drivers[] = {"ESRI Shapefile", nullptr};
  CPLErrorReset();
  DatasetPtr ds(GDALOpenEx(dbf.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                           drivers, nullptr, nullptr));
  if (!ds) throw GdalError(dbf, "Cannot open value attribute table");
  OGRLayerH layer = GDALDatasetGetLayer(ds.get(), 0);
  if (layer == nullptr) throw OwnError(kErrInvalidArgument, "Not a dBASE table", dbf);
  OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
  Vat vat;
  const int fieldCount = OGR_FD_GetFieldCount(defn);
  for (int i = 0; i < fieldCount; ++i) {
    OGRFieldDefnH fd = OGR_FD_GetFieldDefn(defn, i);
    VatField field;
    field.name = OGR_Fld_GetNameRef(fd);
    switch (OGR_Fld_GetType(fd)) {
      case OFTInteger:
      case OFTInteger64: field.type = VatFieldType::Integer; break;
      case OFTReal: field.type = VatFieldType::Real; break;
      default: field.type = VatFieldType::String; break;
    }
    field.width = OGR_Fld_GetWidth(fd);
    field.precision = OGR_Fld_GetPrecision(fd);
    vat.fields.push_back(std::move(field));
  }
  OGR_L_ResetReading(layer);
  CPLErrorReset();
  while (OGRFeatureH feature = OGR_L_GetNextFeature(layer)) {
    VatRow row(vat.fields.size());
    for (int i = 0; i < fieldCount; ++i) {
      if (!OGR_F_IsFieldSetAndNotNull(feature, i)) continue;
      switch (vat.fields[i].type) {
        case VatFieldType::Integer: row[i] = static_cast<std::int64_t>(OGR_F_GetFieldAsInteger64(feature, i)); break;
        case VatFieldType::Real: row[i] = OGR_F_GetFieldAsDouble(feature, i); break;
        case VatFieldType::String: row[i] = std::string(OGR_F_GetFieldAsString(feature, i)); break;
      }
    }
    OGR_F_Destroy(feature);
    vat.rows.push_back(std::move(row));
  }
  if (Failed()) throw GdalError(dbf, "Cannot read value attribute table");
  FinishVat(vat, dbf);
  return vat;
}

Vat ReadArcInfoVat(const fs::path& folder, const fs::path& vatAdf) {
  GridLocation where;
  where.folder = folder;
  where.dataset = folder;
  const DatasetPtr ds = OpenGrid(where);
  if (GDALGetRasterCount(ds.get()) < 1) throw OwnError(kErrInvalidArgument, "Grid has no band", folder);
  CPLErrorReset();
  GDALRasterAttributeTableH rat = GDALGetDefaultRAT(GDALGetRasterBand(ds.get(), 1));
  if (rat == nullptr) {
    if (Failed()) throw GdalError(vatAdf, "Cannot read value attribute table");
    throw OwnError(kErrFileNotFound, "Value attribute table cannot be read", vatAdf);
  }
  Vat vat;
  const int columns = GDALRATGetColumnCount(rat);
  for (int c = 0; c < columns; ++c) {
    // INFO tables keep their widths to themselves; use the widths ArcGIS gives dBASE tables.
    VatField field;
    field.name = GDALRATGetNameOfCol(rat, c);
    switch (GDALRATGetTypeOfCol(rat, c)) {
      case GFT_Integer: field = {field.name, VatFieldType::Integer, 10, 0}; break;
      case GFT_Real: field = {field.name, VatFieldType::Real, 19, 11}; break;
      default: field = {field.name, VatFieldType::String, 254, 0}; break;
    }
    vat.fields.push_back(std::move(field));
  }
  const int rows = GDALRATGetRowCount(rat);
  for (int r = 0; r < rows; ++r) {
    VatRow row(vat.fields.size());
    for (int c = 0; c < columns; ++c) {
      switch (vat.fields[c].type) {
        case VatFieldType::Integer: row[c] = static_cast<std::int64_t>(GDALRATGetValueAsInt(rat, r, c)); break;
        case VatFieldType::Real: row[c] = GDALRATGetValueAsDouble(rat, r, c); break;
        case VatFieldType::String: row[c] = std::string(GDALRATGetValueAsString(rat, r, c)); break;
      }
    }
    vat.rows.push_back(std::move(row));
  }
  FinishVat(vat, vatAdf);
  return vat;
}

// Width of an integer written in full, sign included.
int DecimalWidth(std::int64_t v) { return static_cast<int>(std::to_string(v).size()); }

void CheckVatForWriting(const Vat& vat, const fs::path& dbf) {
  if (vat.fields.size() < 2 || !SameIgnoringCase(vat.fields[0].name, "Value") ||
      !SameIgnoringCase(vat.fields[1].name, "Count") || vat.fields[0].type != VatFieldType::Integer)
    throw OwnError(kErrInvalidArgument,
                   "A value attribute table starts with an Integer field Value and a field Count", dbf);
  for (std::size_t i = 0; i < vat.fields.size(); ++i) {
    const VatField& f = vat.fields[i];
    const auto bad = [&](const std::string& why) {
      return OwnError(kErrInvalidArgument, "Field \"" + f.name + "\" " + why, dbf);
    };
    if (f.name.empty() || f.name.size() > 10) throw bad("needs a name of 1 to 10 characters");
    for (std::size_t j = 0; j < i; ++j)
      if (SameIgnoringCase(vat.fields[j].name, f.name)) throw bad("appears twice");
    switch (f.type) {
      case VatFieldType::Integer:
        if (f.width < 1 || f.width > 18) throw bad("needs a width of 1 to 18");
        break;
      case VatFieldType::Real:
        if (f.width < 1 || f.width > 32 || f.precision < 0 || f.precision >= f.width)
          throw bad("needs a width of 1 to 32 and fewer decimals than its width");
        break;
      case VatFieldType::String:
        if (f.width < 1 || f.width > 254) throw bad("needs a width of 1 to 254");
        break;
    }
  }
  std::vector<std::int64_t> values;
  for (std::size_t r = 0; r < vat.rows.size(); ++r) {
    const VatRow& row = vat.rows[r];
    const std::string where = "Row " + std::to_string(r + 1);
    if (row.size() != vat.fields.size())
      throw OwnError(kErrInvalidArgument, where + " has " + std::to_string(row.size()) +
                                              " values for " + std::to_string(vat.fields.size()) +
                                              " fields", dbf);
    if (!std::holds_alternative<std::int64_t>(row[0]))
      throw OwnError(kErrInvalidArgument, where + " has no integer Value", dbf);
    values.push_back(std::get<std::int64_t>(row[0]));
    for (std::size_t c = 0; c < row.size(); ++c) {
      const VatField& f = vat.fields[c];
      const VatValue& v = row[c];
      const auto bad = [&](const std::string& why) {
        return OwnError(kErrOverflow, where + ", field \"" + f.name + "\": " + why, dbf);
      };
      if (std::holds_alternative<std::monostate>(v)) continue;
      switch (f.type) {
        case VatFieldType::Integer:
          if (!std::holds_alternative<std::int64_t>(v)) throw bad("integer expected");
          if (DecimalWidth(std::get<std::int64_t>(v)) > f.width) throw bad("value wider than the field");
          break;
        case VatFieldType::Real: {
          double d = 0;
          if (const auto* i = std::get_if<std::int64_t>(&v)) d = static_cast<double>(*i);
          else if (const auto* x = std::get_if<double>(&v)) d = *x;
          else throw bad("number expected");
          if (!std::isfinite(d)) throw bad("not a finite number");
          const int needed = std::snprintf(nullptr, 0, "%.*f", f.precision, d);
          if (needed > f.width) throw bad("value wider than the field");
          break;
        }
        case VatFieldType::String:
          if (!std::holds_alternative<std::string>(v)) throw bad("text expected");
          if (std::get<std::string>(v).size() > static_cast<std::size_t>(f.width))
            throw bad("text longer than the field");
          break;
      }
    }
  }
  std::sort(values.begin(), values.end());
  const auto twice = std::adjacent_find(values.begin(), values.end());
  if (twice != values.end())
    throw OwnError(kErrInvalidArgument, "Value " + std::to_string(*twice) + " appears twice", dbf);
}

}  // namespace

bool HasVat(const fs::path& gridFolder) {
  const VatFiles v = LocateVat(gridFolder);
  return IsFile(v.dbf) || IsFile(v.vatAdf);
}

Vat ReadVat(const fs::path& gridFolder) {
  EnsureGdal();
  QuietGdal quiet;
  const VatFiles v = LocateVat(gridFolder);
  const auto files = MakeFileSystem();
  const bool tiffGrid = files->FileExists(v.folder / (v.name + ".tif"));
  if (IsFile(v.dbf)) return ReadDbfVat(v.dbf);
  if (!tiffGrid && IsFile(v.vatAdf)) return ReadArcInfoVat(v.folder, v.vatAdf);
  const bool arcInfoGrid = !tiffGrid && files->FileExists(v.folder / "hdr.adf");
  throw OwnError(kErrFileNotFound, "Grid has no value attribute table", arcInfoGrid ? v.vatAdf : v.dbf);
}

void WriteVat(const fs::path& gridFolder, const Vat& vat) {
  EnsureGdal();
  QuietGdal quiet;
  const VatFiles v = LocateVat(gridFolder);
  const fs::path dbf = v.folder / (v.name + ".tif.vat.dbf");
  std::error_code ec;
  if (!fs::is_directory(v.folder, ec)) throw OwnError(kErrPathNotFound, "Grid folder not found", v.folder);
  CheckVatForWriting(vat, dbf);
  RemoveMatching(v.folder, {v.name + ".tif.vat.dbf", v.name + ".tif.vat.cpg"}, {});

  GDALDriverH driver = GDALGetDriverByName("ESRI Shapefile");
  if (driver == nullptr) throw OwnError(kErrFileNotFound, "GDAL has no ESRI Shapefile driver", dbf);
  CPLErrorReset();
  DatasetPtr ds(GDALCreate(driver, dbf.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!ds) throw GdalError(dbf, "Cannot create value attribute table");
  // ENCODING=UTF-8 also makes the driver write the .cpg sidecar holding "UTF-8".
  const char* layerOptions[] = {"ENCODING=UTF-8", nullptr};
  const std::string layerName = v.name + ".tif.vat";
  CPLErrorReset();
  OGRLayerH layer = GDALDatasetCreateLayer(ds.get(), layerName.c_str(), nullptr, wkbNone,
                                           const_cast<char**>(layerOptions));
  if (layer == nullptr) throw GdalError(dbf, "Cannot create value attribute table");

  for (const VatField& f : vat.fields) {
    const OGRFieldType type = f.type == VatFieldType::Integer ? OFTInteger64
                              : f.type == VatFieldType::Real  ? OFTReal
                                                              : OFTString;
    OGRFieldDefnH fd = OGR_Fld_Create(f.name.c_str(), type);
    OGR_Fld_SetWidth(fd, f.width);
    OGR_Fld_SetPrecision(fd, f.type == VatFieldType::Real ? f.precision : 0);
    CPLErrorReset();
    const OGRErr err = OGR_L_CreateField(layer, fd, FALSE);
    OGR_Fld_Destroy(fd);
    if (err != OGRERR_NONE) throw GdalError(dbf, "Cannot add field " + f.name);
  }

  std::vector<const VatRow*> rows;
  for (const auto& row : vat.rows) rows.push_back(&row);
  std::sort(rows.begin(), rows.end(), [](const VatRow* a, const VatRow* b) {
    return std::get<std::int64_t>((*a)[0]) < std::get<std::int64_t>((*b)[0]);
  });
  OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
  for (const VatRow* row : rows) {
    OGRFeatureH feature = OGR_F_Create(defn);
    for (std::size_t c = 0; c < row->size(); ++c) {
      const int i = static_cast<int>(c);
      const VatValue& value = (*row)[c];
      if (const auto* n = std::get_if<std::int64_t>(&value)) {
        if (vat.fields[c].type == VatFieldType::Real)
          OGR_F_SetFieldDouble(feature, i, static_cast<double>(*n));
        else
          OGR_F_SetFieldInteger64(feature, i, *n);
      } else if (const auto* d = std::get_if<double>(&value)) {
        OGR_F_SetFieldDouble(feature, i, *d);
      } else if (const auto* s = std::get_if<std::string>(&value)) {
        OGR_F_SetFieldString(feature, i, s->c_str());
      } else {
        OGR_F_SetFieldNull(feature, i);
      }
    }
    CPLErrorReset();
    const OGRErr err = OGR_L_CreateFeature(layer, feature);
    OGR_F_Destroy(feature);
    if (err != OGRERR_NONE) throw GdalError(dbf, "Cannot write value attribute table row");
  }
  CPLErrorReset();
  GDALClose(ds.release());
  if (Failed()) throw GdalError(dbf, "Cannot close value attribute table");
}

}  // namespace rivanet::gis
