// rivanet-synth: writes adjacent, overlapping synthetic drainage-unit workspaces (terrain,
// flow grids, catchments, hydrography, tables) for trying and testing appends.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "Generator.h"

#ifndef RIVANET_SCHEMA_FILE
#define RIVANET_SCHEMA_FILE ""
#endif

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto parsed = rivanet::synth::ParseArguments(args, RIVANET_SCHEMA_FILE);
  if (parsed.help) {
    std::cout << rivanet::synth::UsageText();
    return 0;
  }
  if (!parsed.error.empty()) {
    std::cerr << "rivanet-synth: " << parsed.error << "\n" << rivanet::synth::UsageText();
    return 2;
  }
  try {
    rivanet::synth::Generate(parsed.options, &std::cout);
  } catch (const std::exception& e) {
    std::cerr << "rivanet-synth: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
