#include "ui/SelectFolder.h"

#include "runctl/ErrorReport.h"
#include "ui/Dialogs.h"

namespace rivanet::ui {

std::string ShellFolderPath(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string SelectFolder(Dialogs& dialogs, QWidget* owner, const std::string& prompt) {
  return InProcedure(
      "SelectFolder", [&] { return ShellFolderPath(dialogs.BrowseForFolder(owner, prompt)); },
      "Module mdlSelectFolder");
}

}  // namespace rivanet::ui
