// Runs the rivanet-synth executable: what it refuses, and that a refused run leaves nothing
// behind or changes nothing.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int exitCode = -1;
  std::string output;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

Result RunSynth(const std::string& args) {
  const std::string command = Quote(RIVANET_SYNTH_EXE) + " " + args + " 2>&1";
  Result result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) result.output += buffer.data();
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Small(const fs::path& out) { return "--out " + Quote(out.string()) + " --cells 48 --seed 5 --threshold 10"; }

TEST(SynthCommandLineTest, Refusals_ExitNonZeroWithAReasonAndWriteNothing) {
  rivanet::test::TempDir dir;
  const fs::path out = dir / "out";
  rivanet::test::WriteFile(dir / "file", "not a folder");
  const struct {
    std::string args;
    std::string reason;
  } cases[] = {
      {Small(out) + " --count 0", "--count must be at least 1"},
      {"--out " + Quote(out.string()) + " --count 2 --cells 8", "--cells must be at least 16"},
      {"--out " + Quote((dir / "file").string()) + " --count 2 --cells 48", "is not a folder"},
      {Small(out) + " --count 2 --colour blue", "unknown option '--colour'"},
      {Small(out) + " --count two", "--count needs a whole number"},
      {Small(out) + " --count 2 --threshold 1", "--threshold must be at least 2"},
      {"--count 2 --cells 48", "--out is missing"},
      {Small(out) + " --count 2 --schema " + Quote((dir / "missing.schema").string()), "missing.schema"},
  };
  for (const auto& c : cases) {
    const Result r = RunSynth(c.args);
    EXPECT_NE(r.exitCode, 0) << c.args;
    EXPECT_NE(r.output.find(c.reason), std::string::npos) << c.args << "\n" << r.output;
    EXPECT_FALSE(fs::exists(out / "unit_U001")) << c.args;
  }
  EXPECT_EQ(rivanet::test::ReadFile(dir / "file"), "not a folder");
}

TEST(SynthCommandLineTest, SecondRunIntoTheSameFolder_IsRefusedAndKeepsTheFirst) {
  rivanet::test::TempDir dir;
  const fs::path out = dir / "out";
  const Result first = RunSynth(Small(out) + " --count 2");
  ASSERT_EQ(first.exitCode, 0) << first.output;
  EXPECT_NE(first.output.find("unit_U002"), std::string::npos);
  const std::string list = rivanet::test::ReadFile(out / "workspaces.txt");
  EXPECT_EQ(list, "unit_U001\r\nunit_U002\r\n");
  const auto written = fs::last_write_time(out / "unit_U001" / "RVXFlowlineVaa.dbf");

  const Result second = RunSynth(Small(out) + " --count 2 --seed 6");
  EXPECT_NE(second.exitCode, 0);
  EXPECT_NE(second.output.find("already exists"), std::string::npos) << second.output;
  EXPECT_EQ(fs::last_write_time(out / "unit_U001" / "RVXFlowlineVaa.dbf"), written);
  EXPECT_EQ(rivanet::test::ReadFile(out / "workspaces.txt"), list);
}

}  // namespace
