#include "platform/gis/ShapefileExtent.h"

#include <vector>

#include "platform/gis/FeatureInternals.h"
#include "platform/gis/FileHeaders.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/Shapefile.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

std::unique_ptr<FeatureReader> OpenExisting(const fs::path& folder, const std::string& name) {
  std::unique_ptr<FeatureReader> reader = FeatureReader::Open(folder, name);
  if (!reader)
    throw FileError(kErrFileNotFound, "Feature class not found", folder / (name + ".shp"));
  return reader;
}

}  // namespace

HeaderExtents ReadHeaderExtents(const fs::path& folder, const std::string& name) {
  const std::optional<ShapefileParts> parts = FindShapefile(folder, name);
  if (!parts)
    throw FileError(kErrFileNotFound, "Feature class not found", folder / (name + ".shp"));
  if (parts->shx.empty())
    throw FileError(kErrFileNotFound, "Feature class has no shape index file (.shx)", parts->shp);
  return {ReadHeaderExtent(parts->shp), ReadHeaderExtent(parts->shx)};
}

void WriteHeaderExtents(const fs::path& folder, const std::string& name, const Extent& extent) {
  const std::optional<ShapefileParts> parts = FindShapefile(folder, name);
  if (!parts || parts->shx.empty())
    throw FileError(kErrFileNotFound, "Feature class not found", folder / (name + ".shp"));
  WriteHeaderExtent(parts->shp, extent);
  WriteHeaderExtent(parts->shx, extent);
}

OGREnvelope ScanShapes(FeatureReader& reader) {
  FeatureReader::Impl& r = reader.Internal();
  // Only the shapes are needed: leave the attribute table unread.
  std::vector<const char*> ignored;
  for (const DbfField& f : r.fields) ignored.push_back(f.name.c_str());
  ignored.push_back(nullptr);
  {
    QuietGdal quiet;
    CPLErrorReset();
    if (r.layer->SetIgnoredFields(const_cast<const char**>(ignored.data())) != OGRERR_NONE)
      throw GdalError("Cannot read the shapes", r.file);
  }
  OGREnvelope all;
  while (reader.Next()) {
    const OGRGeometry* shape = r.current->GetGeometryRef();
    if (shape == nullptr || shape->IsEmpty()) continue;
    OGREnvelope one;
    shape->getEnvelope(&one);
    all.Merge(one);
  }
  return all;
}

Extent ExtentOf(const OGREnvelope& envelope) {
  if (!envelope.IsInit()) return {};
  return {envelope.MinX, envelope.MinY, envelope.MaxX, envelope.MaxY};
}

Extent ShapesExtent(const fs::path& folder, const std::string& name) {
  const std::unique_ptr<FeatureReader> reader = OpenExisting(folder, name);
  return ExtentOf(ScanShapes(*reader));
}

}  // namespace rivanet::gis
