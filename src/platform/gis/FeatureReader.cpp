#include "platform/gis/FeatureReader.h"

#include <algorithm>

#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/DbfCheck.h"
#include "platform/gis/FeatureInternals.h"
#include "platform/gis/FileHeaders.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/Shapefile.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

DatasetPtr OpenShapefileDataset(const fs::path& shp, bool update) {
  // A missing .shx is reported, never rebuilt. Integer fields keep the type their width gives
  // (ADJUST_TYPE would read every record of the table once more just to narrow a type that
  // the values are checked against anyway).
  const ScopedConfigOption noRestore("SHAPE_RESTORE_SHX", "NO");
  // The coordinate system is taken as the .prj states it. Matching it against the EPSG
  // database costs milliseconds per class opened, more than reading a small class, and the
  // appends copy coordinates as they are.
  const ScopedConfigOption noMatching("USE_OSR_FIND_MATCHES", "NO");
  // Appends go record after record; without the end-of-file mark after each one the table is
  // written in large blocks instead of a seek and a write per record.
  DatasetPtr ds = update ? OpenDataset(shp, GDAL_OF_VECTOR | GDAL_OF_UPDATE, {"ESRI Shapefile"},
                                       {"DBF_EOF_CHAR=NO"}, "Cannot open feature class")
                         : OpenDataset(shp, GDAL_OF_VECTOR | GDAL_OF_READONLY, {"ESRI Shapefile"},
                                       {}, "Cannot open feature class");
  // The .prj is read on first use; read it now, while the options above hold.
  for (int i = 0; i < ds->GetLayerCount(); ++i) ds->GetLayer(i)->GetSpatialRef();
  return ds;
}

}  // namespace

std::optional<OpenedClass> OpenClass(const fs::path& folder, const std::string& name, bool update) {
  std::optional<ShapefileParts> parts = FindShapefile(folder, name);
  if (!parts) return std::nullopt;
  if (parts->shx.empty())
    throw FileError(kErrFileNotFound, "Feature class has no shape index file (.shx)", parts->shp);
  if (parts->dbf.empty())
    throw FileError(kErrFileNotFound, "Feature class has no attribute table (.dbf)", parts->shp);
  CheckShpHeader(parts->shp);
  OpenedClass opened{std::move(*parts), nullptr, nullptr, 0};
  opened.ds = OpenShapefileDataset(opened.parts.shp, update);
  opened.layer = opened.ds->GetLayerCount() > 0 ? opened.ds->GetLayer(0) : nullptr;
  if (opened.layer == nullptr)
    throw FileError(kErrInvalidArgument, "Not a shapefile feature class", opened.parts.shp);
  opened.dbfRecordBytes = CheckDbfHeader(opened.parts.dbf, opened.layer->GetFeatureCount(FALSE));
  // An input's attribute table, every byte: what GDAL would read as something else is refused
  // (an output's is the program's own, checked as it was written).
  if (!update) CheckDbfFile(opened.parts.dbf, /*tableOfValues=*/false);
  return opened;
}

int FindFieldIn(const std::vector<DbfField>& fields, std::string_view name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (SameIgnoringCase(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

FeatureReader::FeatureReader(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

FeatureReader::~FeatureReader() {
  if (m_impl && m_impl->ds) {
    QuietGdal quiet;  // nothing to write back for a read-only dataset; stay silent
    m_impl->current.reset();
    m_impl->ds.reset();
  }
}

std::unique_ptr<FeatureReader> FeatureReader::Open(const fs::path& folder,
                                                   const std::string& name) {
  QuietGdal quiet;
  std::optional<OpenedClass> opened = OpenClass(folder, name, /*update=*/false);
  if (!opened) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->file = opened->parts.shp;
  impl->ds = std::move(opened->ds);
  impl->layer = opened->layer;
  impl->fields = DbfFieldsOf(*impl->layer->GetLayerDefn());
  impl->hasPrj = std::ranges::any_of(opened->parts.all, [](const fs::path& part) {
    return SameIgnoringCase(part.extension().string(), ".prj");
  });
  impl->layer->ResetReading();
  return std::unique_ptr<FeatureReader>(new FeatureReader(std::move(impl)));
}

const fs::path& FeatureReader::File() const { return m_impl->file; }

const std::vector<DbfField>& FeatureReader::Fields() const { return m_impl->fields; }

int FeatureReader::FindField(std::string_view name) const {
  return FindFieldIn(m_impl->fields, name);
}

bool FeatureReader::Next() {
  Impl& r = *m_impl;
  QuietGdal quiet;
  CPLErrorReset();
  r.current.reset(r.layer->GetNextFeature());
  if (GdalFailed()) throw GdalError("Cannot read feature " + std::to_string(r.number + 1), r.file);
  // GDAL only warns when it reads a value other than the one stored: "12.7" in a field without
  // decimals as 12, text it cannot convert from the file's code page.
  if (auto message =
          quiet.FirstMessage("Cannot read feature " + std::to_string(r.number + 1), r.file))
    throw *message;
  if (!r.current) return false;
  ++r.number;
  return true;
}

std::int64_t FeatureReader::Number() const { return m_impl->number; }

}  // namespace rivanet::gis
