#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rivanet::test {

struct ProgramResult {
  int exitCode = -1;  // -1 when the program did not exit normally (crashed)
  std::string out;
  std::string err;
};

// Runs `program` with `args`, RIVANETAPPEND_HOME set to `home`, and collects its output.
ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& home);

}  // namespace rivanet::test
