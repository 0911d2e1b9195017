#pragma once

#include <ogrsf_frmts.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Hydrology.h"
#include "workspace/Schema.h"

namespace rivanet::synth {

// What a row or feature is about. Every value written comes from these members and from
// `key`, never from the unit being written, unless the member itself names the unit; so a
// reach shared by two units gets the same row in both.
struct RowContext {
  std::string className;  // table or feature class name
  std::uint64_t key = 0;  // identity of the subject; drives every free choice
  const Reach* reach = nullptr;
  const Reach* down = nullptr;
  const Reach* mainUp = nullptr;
  std::int32_t comid = 0;
  std::int32_t fromComid = 0;
  std::int32_t toComid = 0;
  std::int32_t gridCode = 0;
  std::int32_t gridCount = 0;
  std::int32_t waterbodyComid = 0;
  std::int32_t fromNode = 0;
  std::int32_t toNode = 0;
  int duuid = 0;
  std::string prodUnit;
  std::string huc8;
  std::string reachCode;
  std::string featType;
  double areaSqKm = 0;
  double lengthKm = 0;
  double shapeLength = 0;
  double shapeArea = 0;
  double elevationM = 0;
  int ftype = 0;
  int fcode = 0;
  double climateX = 0;  // position (0..1 across the layout) for smooth climate values
  double climateY = 0;
};

// Sets every field of `feature` from the schema's field list: key fields and known
// hydrographic attributes by name, anything else by type with a value drawn from the key.
void FillFields(OGRFeature& feature, const std::vector<schema::Field>& fields,
                const RowContext& ctx);

// The 14-character reach code of a reach: its owner's 8-digit HUC and six digits of its Comid.
std::string MakeReachCode(const std::string& huc8, std::int32_t comid);

// Index of the named field in the layer definition; throws when the layer lacks it.
int FieldIndex(OGRFeatureDefn& defn, const std::string& name);

}  // namespace rivanet::synth
