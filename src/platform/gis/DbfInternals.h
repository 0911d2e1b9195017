#pragma once

// What the dBASE table reader and appender (and, for text, the feature writer) share about
// GDAL's view of a table. Private to the GIS library: it pulls in GDAL.

#include <filesystem>
#include <string>
#include <string_view>
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

// Opens a lone .dbf; for update without the end-of-file mark after the records (see PutInPlace
// in DbfAppender.cpp). The values are read as stored, so GDAL is not asked to scan every integer
// column for the narrowest type (ADJUST_TYPE) first: a 10-digit field comes as a 64-bit integer,
// which is still an Integer field here.
OpenTable OpenDbf(const std::filesystem::path& file, bool update);

// Tables and feature classes that name ISO-8859-1 (a .cpg, or the header's mark of a Windows
// table) are written on Windows, in Windows-1252: its characters 0x80 to 0x9F (the euro sign,
// typographic quotes, dashes) arrive from GDAL as the control characters U+0080 to U+009F,
// which no real text holds. This turns them into the Windows-1252 characters in `text` (UTF-8
// as GDAL gave it); false when one of them is among the five bytes Windows-1252 leaves
// undefined, which are no character at all.
bool Latin1ControlsAsWindows1252(std::string& text);
// True for GDAL's names of ISO-8859-1 ("ISO-8859-1", "ISO8859_1", ...).
bool IsLatin1(std::string_view encoding);

}  // namespace rivanet::gis
