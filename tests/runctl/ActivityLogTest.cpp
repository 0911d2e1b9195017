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

TEST(ActivityLogTest, EntriesAreOneCrLfLineEachInOrder) {
  TempDir dir;
  auto files = MakeFileSystem();
  ActivityLog first(*files, dir.Path(), /*interactive=*/true);
  first.LogEvent("first message");  // creates the file
  EXPECT_TRUE(std::regex_match(
      ReadFile(dir / "Active.log"),
      std::regex(R"(\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d Non-Batch Run - first message\r\n)")));

  std::ostringstream echo;
  ActivityLog log(*files, dir.Path(), /*interactive=*/false, &echo);
  // Control characters are written out, so no message can make a second line.
  const std::pair<std::string, std::string> messages[] = {
      {"", ""},
      {"/data/in\r\n01/01/2020  00:00:00 Batch Run - forged", "/data/in\\r\\n01/01/2020  00:00:00 Batch Run - forged"},
      {"tab\there", "tab\\there"},
      {std::string("nul\0bell\a esc\x1B del\x7F", 19), "nul\\x00bell\\x07 esc\\x1B del\\x7F"},
      {"caf\xC3\xA9 \\ back", "caf\xC3\xA9 \\ back"},  // other bytes stay as they are
  };
  for (const auto& [message, shown] : messages) log.LogEvent(message);
  const std::string text = ReadFile(dir / "Active.log");
  const std::regex line(R"(\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d (Non-)?Batch Run - (.*)\r\n)");
  std::vector<std::string> logged;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
    logged.push_back((*it)[2]);
  std::vector<std::string> expected{"first message"};
  for (const auto& [message, shown] : messages) expected.push_back(shown);
  EXPECT_EQ(logged, expected);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
  // A batch run echoes every entry, one line each.
  const std::string echoed = echo.str();
  EXPECT_EQ(std::count(echoed.begin(), echoed.end(), '\n'), 5);
  EXPECT_NE(echoed.find("Batch Run - tab\\there\n"), std::string::npos);
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
