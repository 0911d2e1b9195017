#pragma once

// What the plain pass and the de-duplicating pass share: where a feature class lies, the
// openers under their procedure names, the attribute copy, the messages and the counts.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gis/ShapefileExtent.h"

namespace rivanet {

struct RunContext;
namespace schema {
struct FeatureClass;
}
namespace gis {
class FeatureReader;
class FeatureWriter;
class FieldMapping;
}  // namespace gis

// The folders one feature class phase works with.
struct PhasePlaces {
  std::filesystem::path input;   // holds the workspace folders
  std::filesystem::path output;  // the output workspace
  std::filesystem::path work;    // the Work folder, a scratch copy of the skeleton
  std::filesystem::path list;    // the workspace list file
};

// What one pass did, for its log entry.
struct PassCounts {
  std::int64_t read = 0;
  std::int64_t written = 0;
  std::int64_t duplicates = 0;  // passed over: their Comid came earlier
  std::int64_t noComid = 0;     // passed over: empty Comid
  // The extent of the output's shapes after the pass; none when there was no output to write.
  std::optional<gis::Extent> shapes;
};

// "RVXArea: 1511 features read, 947 written, 564 passed over as duplicates of an earlier
// Comid, 0 passed over for an empty Comid"; the plain passes have no Comid part.
std::string CountsText(const std::string& name, const PassCounts& counts, bool deduplicated);

// The folder that holds feature class `fc` inside a workspace (or output, or Work) folder,
// letter case resolved as far as it exists.
std::filesystem::path ClassFolder(RunContext& ctx, const std::filesystem::path& workspace,
                                  const schema::FeatureClass& fc);

// The openers, each under its procedure name: a class that is not there gives nothing, one
// that cannot be opened ends the run with that procedure's report.
std::unique_ptr<gis::FeatureReader> OpenInput(std::string_view procedure,
                                              const std::filesystem::path& folder,
                                              const std::string& name);
std::unique_ptr<gis::FeatureWriter> OpenOutput(const std::filesystem::path& folder,
                                               const std::string& name);

// The messages of a class that is not there; the run goes on.
void TellOutputMissing(RunContext& ctx, const std::filesystem::path& folder,
                       const std::string& name);
void TellInputMissing(RunContext& ctx, const std::filesystem::path& folder,
                      const std::string& name);

// How the input's fields (and shapes) go into the output; an input in another coordinate
// system is named in the log, as its shapes are projected into the output's.
gis::FieldMapping MapInput(RunContext& ctx, const gis::FeatureWriter& out,
                           const gis::FeatureReader& in);

// The attribute copy of the current input feature into the output's staged feature.
void AddFields(gis::FeatureWriter& out, const gis::FeatureReader& in,
               const gis::FieldMapping& mapping);

// The status text while a workspace's features are appended.
void ShowAppending(RunContext& ctx, const std::string& name, const std::string& workspace);

}  // namespace rivanet
