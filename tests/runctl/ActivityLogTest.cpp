#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(ActivityLogTest, FirstEntryCreatesTheFileWithOneCrLfLine) {
  TempDir dir;
  auto files = MakeFileSystem();
  ActivityLog log(*files, dir.Path(), /*interactive=*/true);
  log.LogEvent("first message");
  const std::string text = ReadFile(dir / "Active.log");
  EXPECT_TRUE(std::regex_match(
      text, std::regex(R"(\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d Non-Batch Run - first message\r\n)")))
      << text;
}

TEST(ActivityLogTest, EntriesAppendInOrderAndEmptyMessageEndsWithSeparator) {
  TempDir dir;
  auto files = MakeFileSystem();
  std::ostringstream echo;
  ActivityLog log(*files, dir.Path(), /*interactive=*/false, &echo);
  log.LogEvent("one");
  log.LogEvent("");
  log.LogEvent("three");
  const std::string text = ReadFile(dir / "Active.log");
  const std::regex line(R"(\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d Batch Run - (.*)\r\n)");
  std::vector<std::string> messages;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
    messages.push_back((*it)[1]);
  EXPECT_EQ(messages, (std::vector<std::string>{"one", "", "three"}));
  EXPECT_EQ(text.size(), 3 * std::string("mm/dd/yyyy  hh:mm:ss Batch Run - \r\n").size() + 8);
  // A batch run echoes every entry, one line each.
  const std::string echoed = echo.str();
  EXPECT_EQ(std::count(echoed.begin(), echoed.end(), '\n'), 3);
  EXPECT_NE(echoed.find("Batch Run - three\n"), std::string::npos);
}

TEST(ActivityLogTest, LogCopyEqualsTheLogAndUnwritableLogRaises) {
  TempDir dir;
  auto files = MakeFileSystem();
  ActivityLog log(*files, dir.Path(), false);
  log.TryMakeLogCopy();  // nothing to copy yet: no copy, no failure
  EXPECT_FALSE(std::filesystem::exists(dir / "RivanetAppend.log"));
  log.LogEvent("entry");
  log.MakeLogCopy();
  EXPECT_EQ(ReadFile(dir / "RivanetAppend.log"), ReadFile(dir / "Active.log"));

  ActivityLog blocked(*files, dir / "no-such-folder", false);
  EXPECT_THROW(blocked.LogEvent("x"), LogWriteFailure);
}

}  // namespace
}  // namespace rivanet
