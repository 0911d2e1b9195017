#include "ui/MainCommands.h"

#include <string>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "ui/Dialogs.h"
#include "ui/SelectFolder.h"

namespace fs = std::filesystem;

namespace rivanet::ui {
namespace {

// Browses for a folder until the user confirms one; "" when they cancel.
std::string ConfirmedFolder(Dialogs& dialogs, QWidget* owner, const std::string& prompt,
                            const std::string& questionTail, const std::string& title) {
  for (;;) {
    const std::string folder = SelectFolder(dialogs, owner, prompt);
    if (folder.empty()) return {};
    const Answer answer =
        dialogs.Ask(owner, "Is " + folder + questionTail, title, Buttons::YesNoCancel);
    if (answer == Answer::Yes) return folder;
    if (answer != Answer::No) return {};
  }
}

std::string ConfirmedListFile(Dialogs& dialogs, QWidget* owner) {
  for (;;) {
    const std::string file = dialogs.OpenFile(
        owner, "Select the file containing the list of workspaces to be appended..",
        "Input List File (*.txt)");
    if (file.empty()) return {};
    const Answer answer =
        dialogs.Ask(owner, "Is " + file + " the file containing input list you want to process?",
                    "Verify Input List File", Buttons::YesNoCancel);
    if (answer == Answer::Yes) return file;
    if (answer != Answer::No) return {};
  }
}

}  // namespace

std::optional<RunPaths> AskForRunPaths(RunContext& ctx, Dialogs& dialogs, QWidget* owner) {
  const std::string settings = std::string(kAppTitle) + ".ini";
  if (!ctx.files.FileExists(ctx.appFolder / settings)) {
    Tell(ctx, MessageKind::Logged,
         "The file " + settings + " is missing from the " + DisplayPath(ctx.appFolder) +
             " directory");
    return std::nullopt;
  }

  const std::string input = ConfirmedFolder(
      dialogs, owner, "Select the folder where the Rivanet input workspaces are located.",
      " the folder containing the Rivanet workspaces to be appended?", "Verify Input Folder");
  if (input.empty()) return std::nullopt;

  const std::string output = ConfirmedFolder(
      dialogs, owner, "Select the output folder where the appended data will reside.",
      " the folder in which to append the Rivanet workspaces?", "Verify Output Folder");
  if (output.empty()) return std::nullopt;
  // Only a refusal here ends the whole command: the user is not offered another folder.
  if (ctx.files.FolderExists(fs::path(output) / "Drainage") &&
      dialogs.Ask(
          owner,
          "The folder " + output +
              " may already contain a valid Rivanet workspace.  Do you want to overwrite it?",
          "Overwrite Existing Workspace", Buttons::YesNo) != Answer::Yes) {
    return std::nullopt;
  }

  const std::string list = ConfirmedListFile(dialogs, owner);
  if (list.empty()) return std::nullopt;
  return RunPaths{input, output, list};
}

void DeleteLogFiles(RunContext& ctx, Dialogs& dialogs, QWidget* owner) {
  if (dialogs.Ask(owner, "Are you sure you want to delete the log file?", "Confirm Delete",
                  Buttons::OkCancel) != Answer::Ok) {
    return;
  }
  for (const std::string& name : {std::string("Active.log"), std::string(kAppTitle) + ".log"}) {
    try {
      ctx.files.DeleteFile(ctx.appFolder / name);
    } catch (const AppError&) {
      // Missing or locked: the user asked for the logs to be gone, and nothing else depends on it.
    }
  }
}

}  // namespace rivanet::ui
