#include <gtest/gtest.h>

#include <sstream>

#include "app/Startup.h"
#include "platform/files/FileSystem.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

// (An empty or quotes-only command line: VersionAndAnEmptyCommandLine.)
TEST(CommandLinePathTest, QuotesGoAnywhereAndOnlyBlanksAreTrimmed) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/data/r\"u\"n.ini"}, "/data/run.ini"},
      {{"/data/my", "run.ini"}, "/data/my run.ini"},
      {{"\t/data/run.ini "}, "\t/data/run.ini"},
  };
  for (const auto& [args, path] : cases) EXPECT_EQ(CommandLinePath(args), path) << path;
}

TEST(StartupTest, VersionAndAnEmptyCommandLine) {
  std::ostringstream out, err;
  StartupEnvironment env{{"--version"}, {}, &out, &err, {}};
  EXPECT_EQ(Main(env), 0);
  EXPECT_EQ(out.str(), "RivanetAppend 1.1.7\n");
  env.args = {};
  EXPECT_EQ(Main(env), 0);
  EXPECT_NE(err.str().find("no window"), std::string::npos);
  // With a window the empty command line opens it.
  bool opened = false;
  env.interactive = [&](const std::filesystem::path&) {
    opened = true;
    return 0;
  };
  env.args = {" \"\" "};
  EXPECT_EQ(Main(env), 0);
  EXPECT_TRUE(opened);
}

// Relative paths are taken from the run file's folder (the batch tests use them too).
TEST(ReadRunFileTest, TheReadmeExampleWorksWhenCopiedVerbatim) {
  const std::string readme = test::ReadFile(RIVANET_SOURCE_DIR "/README.md");
  const auto start = readme.find("    [Run]\n");
  ASSERT_NE(start, std::string::npos);
  std::string example;
  for (std::size_t at = start; at < readme.size() && readme.compare(at, 4, "    ") == 0;) {
    const auto end = readme.find('\n', at);
    example += readme.substr(at + 4, end - at - 4) + "\n";
    at = end + 1;
  }
  test::TempDir dir;
  test::WriteFile(dir / "run.ini", example);
  const RunFile run = ReadRunFile(dir / "run.ini", *MakeFileSystem());
  EXPECT_EQ(run.inputFolder, dir / "input");
  EXPECT_EQ(run.outputFolder, dir / "output");
  EXPECT_EQ(run.listFile, dir / "input/list.txt");
}

}  // namespace
}  // namespace rivanet
