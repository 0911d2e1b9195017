// The schema loader (workspace/Schema.h: ParseSchema) on arbitrary text. What it accepts must
// keep the rules the skeleton generator and the run rely on.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/Error.h"
#include "platform/Text.h"
#include "workspace/Schema.h"

namespace {

using namespace rivanet::schema;

void CheckFields(const std::vector<Field>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Field& f = fields[i];
    RIVANET_FUZZ_CHECK(!f.name.empty() && f.name.size() <= 10, "a field name of bad length");
    switch (f.type) {
      case FieldType::Integer:
        RIVANET_FUZZ_CHECK(f.width >= 1 && f.width <= 10, "an Integer field of bad width");
        break;
      case FieldType::Real:
        RIVANET_FUZZ_CHECK(
            f.width >= 3 && f.width <= 31 && f.precision >= 1 && f.precision <= f.width - 2,
            "a Real field of bad width or precision");
        break;
      case FieldType::String:
        RIVANET_FUZZ_CHECK(f.width >= 1 && f.width <= 254, "a String field of bad width");
        break;
      case FieldType::Date:
        RIVANET_FUZZ_CHECK(f.width == 8, "a Date field not 8 wide");
        break;
    }
    for (std::size_t j = 0; j < i; ++j)
      RIVANET_FUZZ_CHECK(!rivanet::SameIgnoringCase(f.name, fields[j].name), "a field named twice");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Schema schema;
  try {
    schema = ParseSchema(text, "fuzz.schema");
  } catch (const rivanet::AppError&) {
    return 0;  // refused, with the line named
  }
  RIVANET_FUZZ_CHECK(schema.epsg > 0, "an accepted schema without a positive EPSG code");
  for (const FeatureClass& fc : schema.featureClasses) {
    RIVANET_FUZZ_CHECK(!fc.fields.empty(), "a feature class without fields");
    CheckFields(fc.fields);
    bool comid = false;
    for (const Field& f : fc.fields)
      comid = comid || (f.name == "Comid" && f.type == FieldType::Integer);
    RIVANET_FUZZ_CHECK(comid, "a feature class without an Integer Comid");
    FindFeatureClass(schema, fc.name);
  }
  for (const Table& t : schema.tables) {
    RIVANET_FUZZ_CHECK(!t.fields.empty(), "a table without fields");
    CheckFields(t.fields);
    FindTable(schema, t.name);
  }
  CheckFields(schema.catVat);
  for (const Grid& g : schema.grids) {
    RIVANET_FUZZ_CHECK(!g.folder.empty() && !g.name.empty(), "a grid without folder or name");
    FindGrid(schema, g.name);
  }
  for (const AppendStep& step : schema.featureSteps) FindFeatureClass(schema, step.name);
  for (const AppendStep& step : schema.tableSteps) FindTable(schema, step.name);
  const auto folders = WorkspaceFolders(schema);
  for (std::size_t i = 0; i < folders.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      RIVANET_FUZZ_CHECK(!rivanet::SameIgnoringCase(folders[i], folders[j]),
                         "a folder listed twice");
  return 0;
}
