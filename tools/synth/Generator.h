#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "UnitWriter.h"

namespace rivanet::synth {

// Reach density of real medium-resolution hydrography: about 3000 reaches per 2000 x 2000
// cells of 30 m.
inline constexpr int kDefaultThreshold = 600;
// Name of the file, beside the workspaces, that lists them one per line.
inline constexpr const char* kListFile = "workspaces.txt";

struct GenerateOptions {
  std::filesystem::path out;
  int count = 0;
  int cells = 0;
  int margin = 0;  // 0: 5% of the unit width, at least 16 cells, at most a quarter of the unit
  int threshold = kDefaultThreshold;
  std::uint64_t seed = 1;
  std::filesystem::path schemaFile;
};

// Empty when the options make sense, else what is wrong with them.
std::string CheckOptions(const GenerateOptions& options);

int EffectiveMargin(const GenerateOptions& options);

// Writes options.count workspaces and the list file into options.out, one unit after
// another. Throws std::invalid_argument for unusable options, std::runtime_error for
// failures while writing. `log` (may be null) receives one line per unit.
std::vector<UnitSummary> Generate(const GenerateOptions& options, std::ostream* log);

// Parses the command line (without the program name). Sets `error` for anything it cannot
// use, and `help` when help was asked for.
struct ParsedArguments {
  GenerateOptions options;
  bool help = false;
  std::string error;
};
ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::filesystem::path& defaultSchema);

std::string UsageText();

}  // namespace rivanet::synth
