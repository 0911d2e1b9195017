#include "Generator.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fstream>
#include <ostream>
#include <stdexcept>

#include "Comids.h"
#include "Hydrology.h"
#include "Layout.h"
#include "workspace/Schema.h"

namespace rivanet::synth {

namespace fs = std::filesystem;

namespace {

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

int EffectiveMargin(const GenerateOptions& options) {
  if (options.margin > 0) return options.margin;
  const int fivePercent = static_cast<int>(std::lround(options.cells * 0.05));
  return std::max(1, std::min(std::max(16, fivePercent), options.cells / 4));
}

std::string CheckOptions(const GenerateOptions& options) {
  if (options.out.empty()) return "--out is missing";
  if (options.count < 1) return "--count must be at least 1 unit";
  if (options.count > 999)
    return "--count must be at most 999 units (unit codes have three digits)";
  if (options.cells < 16) return "--cells must be at least 16";
  if (options.cells > 20000) return "--cells must be at most 20000";
  if (options.margin < 0 || EffectiveMargin(options) > options.cells / 2)
    return "--margin must lie between 1 and half of --cells";
  if (options.threshold < 2) return "--threshold must be at least 2 cells";
  if (options.schemaFile.empty()) return "--schema is missing";
  std::error_code ec;
  if (fs::exists(options.out, ec) && !fs::is_directory(options.out, ec))
    return options.out.string() + " exists and is not a folder";
  return {};
}

std::vector<UnitSummary> Generate(const GenerateOptions& options, std::ostream* log) {
  if (const std::string problem = CheckOptions(options); !problem.empty())
    throw std::invalid_argument(problem);
  const schema::Schema schema = schema::LoadSchema(options.schemaFile);
  if (schema.epsg != kEpsg)
    throw std::invalid_argument("the schema asks for EPSG:" + std::to_string(schema.epsg) +
                                "; the generator writes EPSG:5070");

  const Layout layout(
      LayoutParams{options.count, options.cells, EffectiveMargin(options), options.seed});
  ComidRegistry registry(layout);

  // Refuse to mix a new run into an old one: every name we are about to write must be free.
  std::error_code ec;
  for (int unit = 0; unit < options.count; ++unit)
    if (fs::exists(options.out / Layout::WorkspaceName(unit), ec))
      throw std::invalid_argument((options.out / Layout::WorkspaceName(unit)).string() +
                                  " already exists");
  if (fs::exists(options.out / kListFile, ec))
    throw std::invalid_argument((options.out / kListFile).string() + " already exists");
  fs::create_directories(options.out, ec);
  if (ec)
    throw std::runtime_error(options.out.string() + ": cannot create the folder: " + ec.message());

  std::vector<UnitSummary> summaries;
  for (int unit = 0; unit < options.count; ++unit) {
    const auto started = std::chrono::steady_clock::now();
    const UnitHydrology hydro = ComputeHydrology(layout, unit, options.threshold);
    summaries.push_back(WriteUnitWorkspace(options.out / Layout::WorkspaceName(unit), layout, unit,
                                           hydro, schema, registry));
    if (log != nullptr) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      *log << summaries.back().name << ": " << summaries.back().reaches << " reaches, "
           << summaries.back().sharedReaches << " shared with earlier units, " << seconds << " s"
           << std::endl;
    }
  }

  const fs::path list = options.out / kListFile;
  std::ofstream out(list, std::ios::binary | std::ios::trunc);
  for (const UnitSummary& s : summaries) out << s.name << "\r\n";
  out.close();
  if (!out) throw std::runtime_error(list.string() + ": cannot write");
  return summaries;
}

ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const fs::path& defaultSchema) {
  ParsedArguments parsed;
  parsed.options.schemaFile = defaultSchema;
  bool haveCount = false, haveCells = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      return parsed;
    }
    const bool takesValue = arg == "--out" || arg == "--count" || arg == "--cells" ||
                            arg == "--seed" || arg == "--schema" || arg == "--threshold" ||
                            arg == "--margin";
    if (!takesValue) {
      parsed.error = "unknown option '" + arg + "'";
      return parsed;
    }
    if (i + 1 >= args.size()) {
      parsed.error = arg + " needs a value";
      return parsed;
    }
    const std::string& value = args[++i];
    bool ok = true;
    if (arg == "--out") {
      parsed.options.out = value;
    } else if (arg == "--schema") {
      parsed.options.schemaFile = value;
    } else if (arg == "--seed") {
      ok = ParseNumber(value, parsed.options.seed);
    } else {
      int number = 0;
      ok = ParseNumber(value, number);
      if (arg == "--count") parsed.options.count = number, haveCount = true;
      if (arg == "--cells") parsed.options.cells = number, haveCells = true;
      if (arg == "--threshold") parsed.options.threshold = number;
      if (arg == "--margin") {
        parsed.options.margin = number;
        ok = ok && number > 0;
      }
    }
    if (!ok) {
      parsed.error = arg + " needs a whole number, not '" + value + "'";
      return parsed;
    }
  }
  if (parsed.options.out.empty())
    parsed.error = "--out is missing";
  else if (!haveCount)
    parsed.error = "--count is missing";
  else if (!haveCells)
    parsed.error = "--cells is missing";
  else
    parsed.error = CheckOptions(parsed.options);
  return parsed;
}

std::string UsageText() {
  return "usage: rivanet-synth --out DIR --count N --cells C [--seed S] [--threshold T] [--margin "
         "M] [--schema FILE]\n"
         "  --out DIR        folder for the workspaces and their list file (created when missing)\n"
         "  --count N        drainage units, laid out ceil(sqrt(N)) to a row\n"
         "  --cells C        rows and columns of each unit (30 m cells, at least 16)\n"
         "  --seed S         terrain seed (default 1); the same seed writes the same workspaces\n"
         "  --threshold T    cells a stream drains at least (default 600)\n"
         "  --margin M       cells neighbouring units overlap by (default 5% of C, 16 at least)\n"
         "  --schema FILE    workspace schema (default: the project's schema/workspace.schema)\n";
}

}  // namespace rivanet::synth
