#pragma once

// Small shapefiles for tests, written and read straight through GDAL, so that what the program
// writes is checked by a reader other than its own.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/gis/GdalSupport.h"

namespace rivanet::test {

using Value = std::optional<std::string>;  // a field value as text; nullopt: no value

struct KitField {
  std::string name;
  OGRFieldType type = OFTString;
  int width = 10;
  int precision = 0;
};

struct KitFeature {
  std::string wkt;  // "" for no shape
  std::vector<Value> values;
  bool operator==(const KitFeature&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const KitFeature& f) {
  os << "{" << f.wkt;
  for (const Value& v : f.values) os << ", " << (v ? *v : "<null>");
  return os << "}";
}

// Writes <folder>/<name>.shp with these fields and features, text in `encoding` (and a .cpg
// saying so), in the coordinate system EPSG `epsg` (0: none, no .prj). Values are given as text
// and converted by GDAL to the field's type.
inline void WriteShapefile(const std::filesystem::path& folder, const std::string& name,
                           OGRwkbGeometryType type, const std::vector<KitField>& fields,
                           const std::vector<KitFeature>& features,
                           const std::string& encoding = "UTF-8", int epsg = 5070) {
  gis::EnsureGdal();
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / (name + ".shp");
  gis::DatasetPtr ds(
      gis::Driver("ESRI Shapefile", file).Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  ASSERT_TRUE(ds) << file;
  CPLStringList options(CSLSetNameValue(nullptr, "ENCODING", encoding.c_str()));
  const gis::SpatialRefPtr srs = epsg != 0 ? gis::SpatialRefFromEpsg(epsg, file) : nullptr;
  OGRLayer* layer = ds->CreateLayer(name.c_str(), srs.get(), type, options.List());
  for (const KitField& f : fields) {
    OGRFieldDefn defn(f.name.c_str(), f.type);
    defn.SetWidth(f.width);
    defn.SetPrecision(f.precision);
    ASSERT_EQ(layer->CreateField(&defn), OGRERR_NONE);
  }
  for (const KitFeature& f : features) {
    gis::FeaturePtr feature = gis::NewFeature(*layer);
    for (int i = 0; i < static_cast<int>(f.values.size()); ++i)
      f.values[i] ? feature->SetField(i, f.values[i]->c_str()) : feature->SetFieldNull(i);
    if (!f.wkt.empty()) {
      OGRGeometry* shape = nullptr;
      ASSERT_EQ(OGRGeometryFactory::createFromWkt(f.wkt.c_str(), nullptr, &shape), OGRERR_NONE);
      feature->SetGeometryDirectly(shape);
    }
    ASSERT_EQ(layer->CreateFeature(feature.get()), OGRERR_NONE);
  }
}

// Every feature of a shapefile in file order: shape as WKT, values as GDAL's text.
inline std::vector<KitFeature> ReadShapefile(const std::filesystem::path& shp) {
  gis::EnsureGdal();
  std::vector<KitFeature> all;
  gis::DatasetPtr ds(GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!ds) {
    ADD_FAILURE() << "cannot open " << shp;
    return all;
  }
  OGRLayer* layer = ds->GetLayer(0);
  for (gis::FeaturePtr f(layer->GetNextFeature()); f; f.reset(layer->GetNextFeature())) {
    KitFeature k;
    if (const OGRGeometry* g = f->GetGeometryRef()) k.wkt = g->exportToWkt();
    for (int i = 0; i < f->GetFieldCount(); ++i)
      k.values.push_back(f->IsFieldSetAndNotNull(i) ? Value(f->GetFieldAsString(i)) : std::nullopt);
    all.push_back(std::move(k));
  }
  return all;
}

}  // namespace rivanet::test
