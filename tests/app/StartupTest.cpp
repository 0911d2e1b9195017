#include <gtest/gtest.h>

#include <sstream>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "app/Startup.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(CommandLinePathTest, QuotesGoAnywhereAndOnlyBlanksAreTrimmed) {
  EXPECT_EQ(CommandLinePath({}), "");
  EXPECT_EQ(CommandLinePath({"   "}), "");
  EXPECT_EQ(CommandLinePath({"\"\"", " \" "}), "");
  EXPECT_EQ(CommandLinePath({"\"/data/run.ini\""}), "/data/run.ini");
  EXPECT_EQ(CommandLinePath({"/data/r\"u\"n.ini"}), "/data/run.ini");
  EXPECT_EQ(CommandLinePath({"/data/my", "run.ini"}), "/data/my run.ini");
  EXPECT_EQ(CommandLinePath({"\t/data/run.ini "}), "\t/data/run.ini");
}

TEST(StartupTest, HelpVersionAndNoWindow) {
  std::ostringstream out, err;
  StartupEnvironment env;
  env.out = &out;
  env.err = &err;
  env.args = {"--version"};
  EXPECT_EQ(Main(env), 0);
  EXPECT_EQ(out.str(), "RivanetAppend 1.1.7\n");
  env.args = {"\"--help\""};
  EXPECT_EQ(Main(env), 0);
  EXPECT_NE(out.str().find("Usage: RivanetAppend"), std::string::npos);
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

TEST(ReadRunFileTest, RelativePathsAreTakenFromTheRunFilesFolder) {
  TempDir dir;
  auto files = MakeFileSystem();
  WriteFile(dir / "jobs/run.ini",
            "\xEF\xBB\xBF[Run]\r\nInputFolder=in\r\nOutputFolder=\"/abs/out dir\"\r\n"
            "ListFile=lists/list.txt\r\n");
  const RunFile run = ReadRunFile(dir / "jobs/run.ini", *files);
  EXPECT_EQ(run.inputFolder, dir / "jobs/in");
  EXPECT_EQ(run.outputFolder, "/abs/out dir");
  EXPECT_EQ(run.listFile, dir / "jobs/lists/list.txt");
}

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
  TempDir dir;
  auto files = MakeFileSystem();
  WriteFile(dir / "run.ini", example);
  const RunFile run = ReadRunFile(dir / "run.ini", *files);
  EXPECT_EQ(run.inputFolder, dir / "input");
  EXPECT_EQ(run.outputFolder, dir / "output");
  EXPECT_EQ(run.listFile, dir / "input/list.txt");
}

TEST(ReadRunFileTest, MissingKeyNamesKeyAndFile) {
  TempDir dir;
  auto files = MakeFileSystem();
  WriteFile(dir / "run.ini", "[Run]\nInputFolder=in\nListFile=list.txt\n");
  try {
    ReadRunFile(dir / "run.ini", *files);
    FAIL();
  } catch (const AppError& e) {
    EXPECT_NE(e.Description().find("OutputFolder"), std::string::npos);
    EXPECT_NE(e.Description().find((dir / "run.ini").string()), std::string::npos);
  }
  WriteFile(dir / "other.ini", "[Elsewhere]\nInputFolder=in\nOutputFolder=o\nListFile=l\n");
  EXPECT_THROW(ReadRunFile(dir / "other.ini", *files), AppError);
}

}  // namespace
}  // namespace rivanet
