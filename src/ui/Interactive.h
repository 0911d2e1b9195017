#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

namespace rivanet::ui {

// The exit status when no window can be opened.
inline constexpr int kExitNoDisplay = 2;

// Why no window can be opened here, judged from the environment as `getenv` reports it
// (QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY); "" when a display looks available.
std::string NoDisplayReason(const std::function<const char*(const char*)>& getenv);

// An interactive run: opens the main window and returns the exit status when the program
// ends. Where no display can be opened it says so on `err`, naming the batch run as the
// alternative, and returns kExitNoDisplay without opening anything.
int RunInteractive(const std::filesystem::path& appFolder, std::ostream& err);

}  // namespace rivanet::ui
