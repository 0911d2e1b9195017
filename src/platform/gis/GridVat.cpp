#include "platform/gis/GridVat.h"

#include <gdal_rat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <numeric>
#include <system_error>

#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/VatDbf.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

struct VatFiles {
  GridFolder grid;
  fs::path dbf;     // <folder>/<name>.tif.vat.dbf as found, or as it would be written
  fs::path vatAdf;  // <folder>/vat.adf as found
};

VatFiles LocateVat(const fs::path& gridFolder) {
  const auto files = MakeFileSystem();
  VatFiles v;
  v.grid = FindGridFolder(gridFolder);
  v.dbf = files->Resolve(v.grid.folder / (v.grid.name + ".tif.vat.dbf"));
  v.vatAdf = files->Resolve(v.grid.folder / "vat.adf");
  return v;
}

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool StartsWithValueAndCount(const Vat& vat) {
  return vat.fields.size() >= 2 && SameIgnoringCase(vat.fields[0].name, "Value") &&
         SameIgnoringCase(vat.fields[1].name, "Count");
}

// Checks the table's shape and puts the rows in ascending Value order.
void FinishVat(Vat& vat, const fs::path& file) {
  if (!StartsWithValueAndCount(vat))
    throw FileError(kErrInvalidArgument,
                    "Not a value attribute table (Value and Count expected first)", file);
  std::vector<std::int64_t> keys;
  keys.reserve(vat.rows.size());
  for (std::size_t i = 0; i < vat.rows.size(); ++i) {
    try {
      keys.push_back(VatInteger(vat.rows[i].at(0)));
    } catch (const AppError&) {
      throw FileError(
          kErrInvalidArgument,
          "Value attribute table row " + std::to_string(i + 1) + " has no integer Value", file);
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
  const MemoryTable table = MemoryTable::Load(dbf);
  DatasetPtr ds = table.Open(false, dbf);
  OGRLayer* layer = ds->GetLayerCount() > 0 ? ds->GetLayer(0) : nullptr;
  if (layer == nullptr) throw FileError(kErrInvalidArgument, "Not a dBASE table", dbf);
  const OGRFeatureDefn& defn = *layer->GetLayerDefn();
  Vat vat;
  for (int i = 0; i < defn.GetFieldCount(); ++i)
    vat.fields.push_back(DbfFieldOf(*defn.GetFieldDefn(i)));
  layer->ResetReading();
  CPLErrorReset();
  for (FeaturePtr feature(layer->GetNextFeature()); feature;
       feature.reset(layer->GetNextFeature())) {
    VatRow row(vat.fields.size());
    for (int i = 0; i < static_cast<int>(vat.fields.size()); ++i)
      row[i] = ValueOf(*feature, i, vat.fields[i]);
    vat.rows.push_back(std::move(row));
  }
  if (GdalFailed()) throw GdalError("Cannot read value attribute table", dbf);
  FinishVat(vat, dbf);
  return vat;
}

Vat ReadArcInfoVat(const GridFolder& grid, const fs::path& vatAdf) {
  const DatasetPtr ds =
      OpenDataset(grid.folder, GDAL_OF_RASTER | GDAL_OF_READONLY, {"AIG"}, {}, "Cannot open grid");
  if (ds->GetRasterCount() < 1)
    throw FileError(kErrInvalidArgument, "Grid has no band", grid.folder);
  CPLErrorReset();
  const GDALRasterAttributeTable* rat = ds->GetRasterBand(1)->GetDefaultRAT();
  if (rat == nullptr) {
    if (GdalFailed()) throw GdalError("Cannot read value attribute table", vatAdf);
    throw FileError(kErrFileNotFound, "Value attribute table cannot be read", vatAdf);
  }
  Vat vat;
  const int columns = rat->GetColumnCount();
  for (int c = 0; c < columns; ++c) {
    // INFO tables keep their widths to themselves; use the widths ArcGIS gives dBASE tables.
    const std::string name = rat->GetNameOfCol(c);
    switch (rat->GetTypeOfCol(c)) {
      case GFT_Integer:
        vat.fields.push_back({name, DbfType::Integer, 10, 0});
        break;
      case GFT_Real:
        vat.fields.push_back({name, DbfType::Real, 19, 11});
        break;
      default:
        vat.fields.push_back({name, DbfType::String, 254, 0});
        break;
    }
  }
  for (int r = 0; r < rat->GetRowCount(); ++r) {
    VatRow row(vat.fields.size());
    for (int c = 0; c < columns; ++c) {
      switch (vat.fields[c].type) {
        case DbfType::Integer:
          row[c] = std::int64_t{rat->GetValueAsInt(r, c)};
          break;
        case DbfType::Real:
          row[c] = rat->GetValueAsDouble(r, c);
          break;
        default:
          row[c] = std::string(rat->GetValueAsString(r, c));
          break;
      }
    }
    vat.rows.push_back(std::move(row));
  }
  FinishVat(vat, vatAdf);
  return vat;
}

void CheckVatForWriting(const Vat& vat, const fs::path& dbf) {
  if (!StartsWithValueAndCount(vat) || vat.fields[0].type != DbfType::Integer)
    throw FileError(kErrInvalidArgument,
                    "A value attribute table starts with an Integer field Value and a field Count",
                    dbf);
  if (const auto problem = FieldListProblem(vat.fields))
    throw FileError(kErrInvalidArgument, *problem, dbf);
  std::vector<std::int64_t> values;
  for (std::size_t r = 0; r < vat.rows.size(); ++r) {
    const VatRow& row = vat.rows[r];
    const std::string where = "Row " + std::to_string(r + 1);
    if (row.size() != vat.fields.size())
      throw FileError(kErrInvalidArgument,
                      where + " has " + std::to_string(row.size()) + " values for " +
                          std::to_string(vat.fields.size()) + " fields",
                      dbf);
    if (!std::holds_alternative<std::int64_t>(row[0]))
      throw FileError(kErrInvalidArgument, where + " has no integer Value", dbf);
    values.push_back(std::get<std::int64_t>(row[0]));
    for (std::size_t c = 0; c < row.size(); ++c)
      if (const auto problem = FieldValueProblem(vat.fields[c], row[c]))
        throw FileError(kErrOverflow, where + ": " + *problem, dbf);
  }
  std::sort(values.begin(), values.end());
  const auto twice = std::adjacent_find(values.begin(), values.end());
  if (twice != values.end())
    throw FileError(kErrInvalidArgument, "Value " + std::to_string(*twice) + " appears twice", dbf);
}

}  // namespace

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
  // INFO tables may hand integer items over as text, padded with blanks.
  if (const auto* s = std::get_if<std::string>(&value)) {
    const auto first = s->find_first_not_of(' ');
    const auto last = s->find_last_not_of(' ');
    if (first != std::string::npos) {
      std::int64_t n = 0;
      const char* end = s->data() + last + 1;
      const auto [at, ec] = std::from_chars(s->data() + first, end, n);
      if (ec == std::errc() && at == end) return n;
    }
  }
  throw AppError(kErrInvalidArgument, "Not an integer in the value attribute table");
}

bool HasVat(const fs::path& gridFolder) {
  const VatFiles v = LocateVat(gridFolder);
  return IsFile(v.dbf) || IsFile(v.vatAdf);
}

Vat ReadVat(const fs::path& gridFolder) {
  QuietGdal quiet;
  const VatFiles v = LocateVat(gridFolder);
  if (IsFile(v.dbf)) return ReadDbfVat(v.dbf);
  if (!v.grid.HasTif() && IsFile(v.vatAdf)) return ReadArcInfoVat(v.grid, v.vatAdf);
  throw FileError(kErrFileNotFound, "Grid has no value attribute table",
                  v.grid.IsArcInfo() ? v.vatAdf : v.dbf);
}

namespace {

// Writes <folder>/<name>.tif.vat.dbf of the grid `v` names from `fields`, asking `fill` for
// each of `rows` rows in the order they are stored. The caller has checked fields and values.
void WriteVatRows(const VatFiles& v, const fs::path& dbf, const std::vector<VatField>& fields,
                  std::size_t rows, const std::function<void(std::size_t, OGRFeature&)>& fill) {
  // Built in memory and put in place at once (see MemoryTable).
  const MemoryTable table(dbf);
  GDALDriver& driver = Driver("ESRI Shapefile", dbf);
  CPLErrorReset();
  DatasetPtr ds(driver.Create(table.Path().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!ds) throw GdalError("Cannot create value attribute table", dbf);
  // ENCODING=UTF-8 also makes the driver write the .cpg side file holding "UTF-8".
  const char* layerOptions[] = {"ENCODING=UTF-8", nullptr};
  const std::string layerName = v.grid.name + ".tif.vat";
  CPLErrorReset();
  OGRLayer* layer =
      ds->CreateLayer(layerName.c_str(), nullptr, wkbNone, const_cast<char**>(layerOptions));
  if (layer == nullptr) throw GdalError("Cannot create value attribute table", dbf);
  for (const VatField& f : fields) AddField(*layer, f, dbf);
  for (std::size_t r = 0; r < rows; ++r) {
    const FeaturePtr feature = NewFeature(*layer);
    fill(r, *feature);
    CPLErrorReset();
    if (layer->CreateFeature(feature.get()) != OGRERR_NONE)
      throw GdalWriteError("Cannot write value attribute table row", dbf);
  }
  CloseDataset(ds, "Cannot close value attribute table", dbf);
  table.Save(dbf);
  // The table spelled in another letter case, as a case-insensitive file system had it, would
  // be a second table.
  const std::string cpg = v.grid.name + ".tif.vat.cpg";
  RemoveMatching(v.grid.folder, {v.grid.name + ".tif.vat.dbf"}, {}, dbf);
  RemoveMatching(v.grid.folder, {cpg}, {}, v.grid.folder / cpg);
}

// The table of an existing grid folder, or an AppError naming the folder.
fs::path VatDbfForWriting(const VatFiles& v) {
  std::error_code ec;
  if (!fs::is_directory(v.grid.folder, ec))
    throw FileError(kErrPathNotFound, "Grid folder not found", v.grid.folder);
  return v.grid.folder / (v.grid.name + ".tif.vat.dbf");
}

}  // namespace

void WriteVat(const fs::path& gridFolder, const Vat& vat) {
  QuietGdal quiet;
  const VatFiles v = LocateVat(gridFolder);
  const fs::path dbf = VatDbfForWriting(v);
  CheckVatForWriting(vat, dbf);
  std::vector<const VatRow*> rows;
  for (const auto& row : vat.rows) rows.push_back(&row);
  std::sort(rows.begin(), rows.end(), [](const VatRow* a, const VatRow* b) {
    return std::get<std::int64_t>((*a)[0]) < std::get<std::int64_t>((*b)[0]);
  });
  WriteVatRows(v, dbf, vat.fields, rows.size(), [&](std::size_t r, OGRFeature& feature) {
    for (std::size_t c = 0; c < rows[r]->size(); ++c)
      SetValue(feature, static_cast<int>(c), vat.fields[c], (*rows[r])[c]);
  });
}

std::int64_t WriteCountsVat(const fs::path& gridFolder, const std::vector<ValueCount>& counts) {
  QuietGdal quiet;
  const VatFiles v = LocateVat(gridFolder);
  const fs::path dbf = VatDbfForWriting(v);
  const std::vector<VatField> fields = {{"Value", DbfType::Integer, 10, 0},
                                        {"Count", DbfType::Integer, 10, 0}};
  for (std::size_t r = 0; r < counts.size(); ++r) {
    const auto [value, count] = counts[r];
    if (r > 0 && value <= counts[r - 1].first)
      throw FileError(kErrInvalidArgument,
                      "Value " + std::to_string(value) + " out of order or twice", dbf);
    for (const auto& [field, n] : {std::pair{&fields[0], std::int64_t{value}}, {&fields[1], count}})
      if (const auto problem = FieldValueProblem(*field, VatValue(n)))
        throw FileError(kErrOverflow, "Row " + std::to_string(r + 1) + ": " + *problem, dbf);
  }
  WriteVatRows(v, dbf, fields, counts.size(), [&](std::size_t r, OGRFeature& feature) {
    feature.SetField(0, static_cast<GIntBig>(counts[r].first));
    feature.SetField(1, static_cast<GIntBig>(counts[r].second));
  });
  return static_cast<std::int64_t>(counts.size());
}

}  // namespace rivanet::gis
