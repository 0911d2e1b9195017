#pragma once

#include <filesystem>

namespace rivanet {

class ActivityLog;
class FileSystem;
class RunFeedback;
namespace schema {
struct Schema;
}

// What every stage of a run needs to know about where and how the program runs. Passed
// explicitly; there is no global state.
struct RunContext {
  std::filesystem::path appFolder;  // holds the log, the settings, the skeleton, Work and Temp
  bool interactive = false;         // started without a command line
  FileSystem& files;
  ActivityLog& log;
  RunFeedback& feedback;
  const schema::Schema& layout;  // the workspace layout the run appends
};

}  // namespace rivanet
