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

// (Writing the log copy, and a log that cannot be written, are part of every run's tests.)
TEST(ActivityLogTest, EntriesAreOneCrLfLineEachInOrder) {
  TempDir dir;
  auto files = MakeFileSystem();
  ActivityLog(*files, dir.Path(), /*interactive=*/true).LogEvent("first");  // creates the file
  std::ostringstream echo;
  ActivityLog log(*files, dir.Path(), /*interactive=*/false, &echo);
  // Control characters are written out, so no message can make a second line.
  const std::pair<std::string, std::string> messages[] = {
      {"", ""},
      {"/data/in\r\n01/01/2020  00:00:00 Batch Run - forged",
       "/data/in\\r\\n01/01/2020  00:00:00 Batch Run - forged"},
      {"tab\there", "tab\\there"},
      {std::string("nul\0bell\a esc\x1B del\x7F", 19), "nul\\x00bell\\x07 esc\\x1B del\\x7F"},
      {"caf\xC3\xA9 \\ back", "caf\xC3\xA9 \\ back"},  // other bytes stay as they are
  };
  std::vector<std::string> expected{"first"};
  for (const auto& [message, shown] : messages) {
    log.LogEvent(message);
    expected.push_back(shown);
  }
  const std::string text = ReadFile(dir / "Active.log");
  const std::regex line(R"(\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d (Non-)?Batch Run - (.*)\r\n)");
  std::vector<std::string> logged;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
    logged.push_back((*it)[2]);
  EXPECT_EQ(logged, expected);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
  // A batch run echoes every entry, one line each.
  const std::string echoed = echo.str();
  EXPECT_EQ(std::count(echoed.begin(), echoed.end(), '\n'), 5);
  EXPECT_NE(echoed.find("Batch Run - tab\\there\n"), std::string::npos);
}

}  // namespace
}  // namespace rivanet
