#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/RunProgram.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "ui/Interactive.h"
#include "ui/SelectFolder.h"

namespace rivanet::ui {
namespace {

TEST(SelectFolderTest, OnlyTheRootKeepsItsTrailingSeparator) {
  EXPECT_EQ(ShellFolderPath("/"), "/");
  EXPECT_EQ(ShellFolderPath("/data/in/"), "/data/in");
}

TEST(StartWithoutDisplayTest, ReasonsFollowThePlatformAndItsDisplayVariables) {
  struct Case {
    std::map<std::string, std::string> env;
    bool usable;
  };
  const Case cases[] = {
      {{}, false},
      {{{"DISPLAY", ""}}, false},
      {{{"DISPLAY", ":0"}}, true},
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, true},
      {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}, false},
      {{{"QT_QPA_PLATFORM", "offscreen"}}, true},
      {{{"QT_QPA_PLATFORM", "wayland"}}, false},
      {{{"QT_QPA_PLATFORM", "wayland"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}}, true},
  };
  for (const Case& c : cases) {
    const std::string reason = NoDisplayReason([&](const char* name) -> const char* {
      const auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(reason.empty(), c.usable) << reason;
  }
}

TEST(StartWithoutDisplayTest, TheProgramSaysWhyAndNamesTheBatchRun) {
  test::TempDir home;
  test::ScopedEnv platform("QT_QPA_PLATFORM", std::nullopt);
  test::ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
  for (const std::optional<std::string>& display :
       {std::optional<std::string>(), std::optional<std::string>(":97")}) {
    // No display at all, and one that names no server: both end the same way, without an abort.
    test::ScopedEnv x11("DISPLAY", display);
    const test::ProgramResult result = test::RunProgram(RIVANET_EXE, {}, home.Path());
    EXPECT_EQ(result.exitCode, kExitNoDisplay) << result.err;
    EXPECT_NE(result.err.find("cannot open the window"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("RivanetAppend RUNFILE"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(home / "Active.log"));
  }
}

}  // namespace
}  // namespace rivanet::ui
