#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace rivanet {

// Where the application folder (log, settings file, skeleton, scratch folders) comes from.
enum class AppFolderSource {
  HomeVariable,   // RIVANETAPPEND_HOME names it
  ProgramFolder,  // the executable's folder, which holds RivanetAppend.ini (build folder,
                  // portable copy)
  PerUser,        // an installed program: the user's own folder, seeded from the install
};

// What the choice depends on: three environment variables and where the executable lies.
struct AppFolderInputs {
  std::optional<std::string> homeVariable;  // RIVANETAPPEND_HOME
  std::optional<std::string> xdgDataHome;   // XDG_DATA_HOME
  std::optional<std::string> userHome;      // HOME, else the password database's entry
  std::filesystem::path programFolder;      // the folder of the running executable
};

struct AppFolderChoice {
  std::filesystem::path folder;  // empty when a per-user folder cannot be named (no home)
  AppFolderSource source = AppFolderSource::ProgramFolder;
  std::filesystem::path programFolder;
  // PerUser only: the installed files the folder is made from (<prefix>/share/rivanetappend,
  // found from the executable's <prefix>/bin).
  std::filesystem::path seedFolder;
};

// The inputs of the running process.
AppFolderInputs ReadAppFolderInputs(const char* argv0);

// RIVANETAPPEND_HOME when set and not empty; else the program's folder when it holds
// RivanetAppend.ini; else $XDG_DATA_HOME/RivanetAppend (an absolute XDG_DATA_HOME only, as
// the XDG rules ask), by default ~/.local/share/RivanetAppend. Looks at the disk, writes
// nothing.
AppFolderChoice ChooseApplicationFolder(const AppFolderInputs& inputs);

// Two lines for --help: which folder a run would use, and why.
std::string DescribeApplicationFolder(const AppFolderChoice& choice);

// Makes the chosen folder ready for a run: a per-user folder is created on first use and
// given whatever it lacks of the installed files (see SeedApplicationFolder); the other two
// kinds are used as they are. Throws AppError with a message naming the folder or the missing
// installed file and what to do about it.
void PrepareApplicationFolder(const AppFolderChoice& choice);

}  // namespace rivanet
