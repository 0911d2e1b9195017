#include "platform/gis/FeatureCopy.h"

#include <numeric>
#include <vector>

#include "platform/files/FileSystem.h"
#include "platform/gis/FeatureInternals.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/Shapefile.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

void Fill(FeatureReader& source, GDALDataset& target, const fs::path& file) {
  FeatureReader::Impl& s = source.Internal();
  OGRFeatureDefn& defn = *s.layer->GetLayerDefn();
  CPLErrorReset();
  OGRSpatialReference* srs = s.layer->GetSpatialRef();
  const char* const options[] = {"ENCODING=UTF-8", nullptr};
  OGRLayer* layer =
      target.CreateLayer(file.stem().c_str(), srs, defn.GetGeomType(), const_cast<char**>(options));
  if (layer == nullptr) throw GdalError("Cannot create feature class", file);
  for (int i = 0; i < defn.GetFieldCount(); ++i) {
    CPLErrorReset();
    // Strict: a field GDAL cannot create as it is would change the data.
    if (layer->CreateField(defn.GetFieldDefn(i), FALSE) != OGRERR_NONE)
      throw GdalError(std::string("Cannot add field ") + defn.GetFieldDefn(i)->GetNameRef(), file);
  }
  const FeaturePtr copy = NewFeature(*layer);
  std::vector<int> sameField(defn.GetFieldCount());
  std::iota(sameField.begin(), sameField.end(), 0);
  while (source.Next()) {
    CPLErrorReset();
    if (copy->SetFieldsFrom(s.current.get(), sameField.data(), FALSE) != OGRERR_NONE)
      throw GdalWriteError("Cannot copy feature " + std::to_string(source.Number()), file);
    copy->SetGeometryDirectly(s.current->StealGeometry());
    copy->SetFID(OGRNullFID);
    if (layer->CreateFeature(copy.get()) != OGRERR_NONE)
      throw GdalWriteError("Cannot copy feature " + std::to_string(source.Number()), file);
  }
}

}  // namespace

void CopyFeatureClass(const fs::path& folder, const std::string& from, const std::string& to) {
  const fs::path where = MakeFileSystem()->Resolve(folder);
  std::unique_ptr<FeatureReader> source = FeatureReader::Open(where, from);
  if (!source)
    throw FileError(kErrFileNotFound, "Feature class not found", where / (from + ".shp"));
  if (auto existing = FindShapefile(where, to))
    throw FileError(kErrFileAlreadyExists,
                    "Cannot copy " + from + " here, a shapefile is in the way", existing->shp);
  const fs::path file = where / (to + ".shp");
  try {
    QuietGdal quiet;
    CPLErrorReset();
    DatasetPtr target(
        Driver("ESRI Shapefile", file).Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!target) throw GdalError("Cannot create feature class", file);
    Fill(*source, *target, file);
    CloseDataset(target, "Cannot write feature class", file);
    if (auto message = quiet.FirstMessage("Cannot copy features", file)) throw *message;
  } catch (...) {
    DeleteShapefile(where, to);
    throw;
  }
}

}  // namespace rivanet::gis
