#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/ApplicationFolder.h"

namespace rivanet {

// What the program needs from the place it was started.
struct StartupEnvironment {
  std::vector<std::string> args;  // command-line arguments without the program's name
  AppFolderChoice appFolder;      // see ChooseApplicationFolder()
  std::ostream* out = nullptr;    // standard output
  std::ostream* err = nullptr;    // standard error
  // Runs the interactive window until it closes; empty where the program has no window.
  std::function<int(const std::filesystem::path& appFolder)> interactive;
};

// The start-up procedure: decides between an interactive and a batch run, makes the
// application folder ready for it, performs it and returns the exit status (0 succeeded,
// 1 failed, 2 ended by an error report, refused because another run holds the application
// folder or because that folder cannot be made, 3 the command line names no file, 128 + the
// signal when Ctrl-C or SIGTERM cancelled a batch run).
int Main(const StartupEnvironment& env);

// The command line as one path: arguments joined by blanks, every double quote removed,
// leading and trailing blanks (not tabs) trimmed.
std::string CommandLinePath(const std::vector<std::string>& args);

// The three paths a batch run takes from its run file.
struct RunFile {
  std::filesystem::path inputFolder;
  std::filesystem::path outputFolder;
  std::filesystem::path listFile;
};

// Reads [Run] InputFolder, OutputFolder, ListFile; relative paths are taken relative to the
// run file's folder. A missing key or an unreadable file throws AppError naming both.
RunFile ReadRunFile(const std::filesystem::path& file, const class FileSystem& files);

}  // namespace rivanet
