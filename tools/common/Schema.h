#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rivanet::schema {

// The workspace schema: every feature class and table a workspace holds, with its fields.
// One data file in the repository (schema/workspace.schema) is the only source of truth;
// the skeleton, the scratch database and the example workspaces are all made from it.

enum class FieldType { Integer, Real, String, Date };

struct Field {
  std::string name;
  FieldType type = FieldType::Integer;
  int width = 10;
  int precision = 0;
};

enum class Geometry { Point, LineString, Polygon };

struct FeatureClass {
  std::string folder;  // sub-folder inside the workspace ("" for the workspace folder itself)
  std::string name;    // shapefile name without extension
  Geometry geometry = Geometry::Point;
  std::vector<Field> fields;
};

struct Table {
  std::string name;  // dBASE file name without extension, at the workspace's top level
  std::vector<Field> fields;
};

struct Schema {
  int epsg = 5070;
  std::vector<FeatureClass> featureClasses;
  std::vector<Table> tables;
  std::vector<Field> catVat;  // value attribute table of the catchment grid (Value, Count, ...)
};

// Reads the schema file; throws std::runtime_error naming the file and line of any error.
Schema LoadSchema(const std::filesystem::path& file);

const FeatureClass& FindFeatureClass(const Schema& schema, const std::string& name);
const Table& FindTable(const Schema& schema, const std::string& name);

}  // namespace rivanet::schema
