#pragma once

#include <gdal_priv.h>

#include <filesystem>

#include "workspace/Schema.h"

namespace rivanet::schema {

// Writes empty feature classes and tables exactly as the schema describes them, so that
// OGR re-opens them for update with the same field types, widths and precisions.
// Every function throws std::runtime_error naming the file and GDAL's message on failure;
// none of them overwrites an existing file.

// <workspaceFolder>/<fc.folder>/<fc.name>.shp/.shx/.dbf/.prj/.cpg; the sub-folder is
// created when missing. The .prj holds the ESRI form of the given EPSG code, the .cpg
// says UTF-8.
void CreateEmptyFeatureClass(const std::filesystem::path& workspaceFolder, const FeatureClass& fc, int epsg);

// <workspaceFolder>/<table.name>.dbf and .cpg (UTF-8).
void CreateEmptyTable(const std::filesystem::path& workspaceFolder, const Table& table);

// Every feature class and every table of the schema, into `folder` (created when missing).
void WriteEmptyWorkspace(const std::filesystem::path& folder, const Schema& schema);

// Opens a .shp or .dbf written from the schema so that its fields come back with the
// schema's types. OGR reads a 10-digit numeric dBASE field (Integer width 10) as Integer64
// unless it is told to look at the values (open option ADJUST_TYPE=YES); this opens with
// that option, so Integer fields stay Integer as long as their values fit 32 bits.
// Throws std::runtime_error naming the file and GDAL's message when it cannot be opened.
GDALDatasetUniquePtr OpenSchemaDataset(const std::filesystem::path& file, bool update);

}  // namespace rivanet::schema
