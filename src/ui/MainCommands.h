#pragma once

#include <filesystem>
#include <optional>

class QWidget;

namespace rivanet {
struct RunContext;
}

namespace rivanet::ui {

class Dialogs;

// The three paths of a run, as the user chose and confirmed them.
struct RunPaths {
  std::filesystem::path input;   // the folder that holds the workspace folders
  std::filesystem::path output;  // the folder that receives the appended workspace
  std::filesystem::path list;    // the workspace list file
};

// Select Data up to the run: the settings-file check, the input folder, the output folder
// with the overwrite question, the list file, each confirmed. nullopt when the command stops:
// a missing settings file (told once and logged), or any dialog cancelled or answered so.
std::optional<RunPaths> AskForRunPaths(RunContext& ctx, Dialogs& dialogs, QWidget* owner);

// Delete Log: asks, then deletes Active.log and the log copy. A file that is missing or
// cannot be deleted is passed over silently; the other is still deleted.
void DeleteLogFiles(RunContext& ctx, Dialogs& dialogs, QWidget* owner);

}  // namespace rivanet::ui
