#pragma once

#include <filesystem>

namespace rivanet {

class ActivityLog;
class FileSystem;
class Window;

// What every stage of a run needs to know about where and how the program runs. Passed
// explicitly; there is no global state.
struct RunContext {
  std::filesystem::path appFolder;  // holds the log, the settings, the skeleton, Work and Temp
  bool interactive = false;         // started without a command line
  FileSystem& files;
  ActivityLog& log;
  Window& window;
};

}  // namespace rivanet
