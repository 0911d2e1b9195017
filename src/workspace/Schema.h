#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace rivanet::schema {

// The workspace layout: every grid, feature class and table a hydrography workspace holds,
// with its folder and fields, and the order and route in which a run appends them. One data
// file in the repository (schema/workspace.schema) is the only source; it is compiled into
// the program, and the skeleton, the scratch database and the example workspaces are made
// from it too.

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

enum class CellType { UInt8, Int32 };

struct Grid {
  std::string folder;  // sub-folder inside the workspace
  std::string name;    // the grid's own folder inside `folder`
  CellType cellType = CellType::Int32;
  bool positiveOnly = false;  // the output keeps only cells whose value is above zero
  // "drainage/cat": the path of the grid folder below a workspace.
  std::string Path() const { return folder + "/" + name; }
};

// One step of the feature class or table phase: `name` appended from every workspace, either
// straight into the output or collected in the Work folder first (then each Comid, or each
// distinct row, reaches the output once).
struct AppendStep {
  std::string name;
  bool viaWork = false;
};

struct Schema {
  int epsg = 5070;
  std::vector<Grid> grids;  // in the order the mosaics run
  std::vector<FeatureClass> featureClasses;
  std::vector<Table> tables;
  std::vector<Field> catVat;  // value attribute table of the catchment grid (Value, Count, ...)
  std::vector<AppendStep> featureSteps;  // in run order
  std::vector<AppendStep> tableSteps;    // in run order
};

// Reads a schema file; throws AppError naming the file and line of any error.
Schema LoadSchema(const std::filesystem::path& file);
// Parses schema text; `origin` names it in error messages.
Schema ParseSchema(std::string_view text, const std::string& origin);
// The schema the program was built with.
const Schema& ShippedSchema();

// Lookups by exact name; throw AppError when the schema has no such item.
const FeatureClass& FindFeatureClass(const Schema& schema, const std::string& name);
const Table& FindTable(const Schema& schema, const std::string& name);
const Grid& FindGrid(const Schema& schema, const std::string& name);

// Top-level folders of a workspace that hold grids or feature classes, each once, in schema
// order ("drainage", "elev_unit", "fac_fdr_unit", "hydrography", "hydrologicunits"). Names
// are compared without regard to case, so "Drainage" and "drainage" count as one.
std::vector<std::string> WorkspaceFolders(const Schema& schema);

}  // namespace rivanet::schema
