// Runs the rivanet-synth executable: what it refuses, and that a refused run writes nothing
// and changes nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace rivanet::test;

TEST(SynthCommandLineTest, Refusals_ExitNonZeroWithAReasonAndWriteNothing) {
  TempDir dir;
  const std::string out = (dir / "out").string(), taken = (dir / "taken").string();
  WriteFile(dir / "file", "not a folder");
  // A later unit of the run already exists: the run must not begin with the first one.
  WriteFile(dir / "taken/unit_U002/RVXFlow.dbf", "mine");
  const Tree before = Snapshot(dir.Path());
  const struct {
    std::vector<std::string> args;
    std::string reason;
  } cases[] = {
      // One of the bounds on the numbers, which are checked alike.
      {{"--out", out, "--count", "0"}, "--count must be at least 1"},
      {{"--out", (dir / "file").string(), "--count", "2"}, "is not a folder"},
      {{"--out", out, "--count", "2", "--colour", "blue"}, "unknown option '--colour'"},
      {{"--out", taken, "--count", "2"}, "unit_U002 already exists"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--cells", "48", "--threshold", "10"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramResult r = RunProgram(RIVANET_SYNTH_EXE, args, dir / "home");
    SCOPED_TRACE(c.reason);
    EXPECT_TRUE(r.exitCode == 1 || r.exitCode == 2) << r.exitCode;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
  }
  EXPECT_EQ(Changes(before, Snapshot(dir.Path())), kNoChanges);
}

}  // namespace
