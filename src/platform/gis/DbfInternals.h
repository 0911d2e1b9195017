#pragma once

// What the dBASE table reader and appender share about GDAL's view of a table. Private to the
// GIS library: it pulls in GDAL.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/gis/DbfFields.h"
#include "platform/gis/GdalSupport.h"

namespace rivanet::gis {

// An open table: the dataset, its one layer, its fields and the code page GDAL reads it in.
struct OpenTable {
  DatasetPtr dataset;
  OGRLayer* layer = nullptr;
  std::vector<DbfField> fields;
  std::vector<OGRFieldType> types;  // how GDAL holds each field's values
  std::string encoding;
};

// Opens a lone .dbf; for update without the end-of-file mark after the records (see AddEndMark
// in DbfAppender.cpp). The values are read as stored, so GDAL is not asked to scan every integer
// column for the narrowest type (ADJUST_TYPE) first: a 10-digit field comes as a 64-bit integer,
// which is still an Integer field here.
OpenTable OpenDbf(const std::filesystem::path& file, bool update);

}  // namespace rivanet::gis
