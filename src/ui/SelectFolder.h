#pragma once

#include <string>

class QWidget;

namespace rivanet::ui {

class Dialogs;

// A folder path as the folder browser gives it: no trailing separator, except that the root
// keeps its own ("/").
std::string ShellFolderPath(std::string path);

// Shows the folder browser over `owner` with `prompt` as its instruction; the chosen folder,
// or "" when the user cancelled. An error ends the program with a report naming SelectFolder
// of Module mdlSelectFolder.
std::string SelectFolder(Dialogs& dialogs, QWidget* owner, const std::string& prompt);

}  // namespace rivanet::ui
