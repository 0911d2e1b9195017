#pragma once

#include <filesystem>

#include "platform/gis/DbfFields.h"
#include "workspace/Schema.h"

namespace rivanet::schema {

// Writes empty feature classes and tables exactly as the schema describes them, so that
// they re-open (rivanet::gis::OpenShapefile) with the same field types, widths and precisions.
// Every function throws AppError naming the file and the reason (GDAL's message where GDAL
// failed); none of them overwrites an existing file.

// <workspaceFolder>/<fc.folder>/<fc.name>.shp/.shx/.dbf/.prj/.cpg; the sub-folder is
// created when missing. The .prj holds the ESRI form of the given EPSG code, the .cpg
// says UTF-8.
void CreateEmptyFeatureClass(const std::filesystem::path& workspaceFolder, const FeatureClass& fc,
                             int epsg);

// <workspaceFolder>/<table.name>.dbf and .cpg (UTF-8).
void CreateEmptyTable(const std::filesystem::path& workspaceFolder, const Table& table);

// Every feature class and every table of the schema, into `folder` (created when missing).
void WriteEmptyWorkspace(const std::filesystem::path& folder, const Schema& schema);

// The dBASE field a schema field describes.
gis::DbfField ToDbfField(const Field& field);

}  // namespace rivanet::schema
