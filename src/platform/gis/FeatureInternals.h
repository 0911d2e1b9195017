#pragma once

// What the feature reader and writer share inside the GIS library. Private: pulls in GDAL.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/gis/DbfFields.h"
#include "platform/gis/FeatureReader.h"
#include "platform/gis/GdalSupport.h"
#include "platform/gis/Shapefile.h"
#include "platform/gis/ShapefileExtent.h"

namespace rivanet::gis {

struct FeatureReader::Impl {
  std::filesystem::path file;
  DatasetPtr ds;
  OGRLayer* layer = nullptr;
  std::vector<DbfField> fields;
  FeaturePtr current;
  std::int64_t number = 0;
  bool hasPrj = false;  // a .prj lies beside the .shp, whether GDAL could read it or not
};

// The envelope of every shape the reader has still to give (not initialised when none has one),
// read without the attribute table.
OGREnvelope ScanShapes(FeatureReader& reader);
// As an Extent: all zeros for an envelope not initialised.
Extent ExtentOf(const OGREnvelope& envelope);

// A feature class opened by the reader or the writer.
struct OpenedClass {
  ShapefileParts parts;
  DatasetPtr ds;
  OGRLayer* layer = nullptr;
  std::uint64_t dbfRecordBytes = 0;
};

// Opens <folder>/<name>.shp (letter case ignored), read-only or for update, after the checks
// both sides make: the .shx and .dbf are there and whole, and the .dbf has a record for every
// shape. Nothing when there is no such .shp; AppError naming the file for anything else amiss.
std::optional<OpenedClass> OpenClass(const std::filesystem::path& folder, const std::string& name,
                                     bool update);

}  // namespace rivanet::gis
