#pragma once

#include <string>

#include "platform/Version.h"

class QWidget;

namespace rivanet::ui {

// The answer a message box gives, and the sets of buttons it offers, left to right.
enum class Answer { Ok, Cancel, Yes, No };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };

// Every dialog and message box of the windows goes through this interface, so that the
// commands can be driven with scripted answers.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message box without an icon over `owner`; its first button is the default.
  virtual Answer Ask(QWidget* owner, const std::string& text, const std::string& title,
                     Buttons buttons) = 0;
  // The folder browser with `prompt` as its instruction; the chosen folder, "" when cancelled.
  virtual std::string BrowseForFolder(QWidget* owner, const std::string& prompt) = 0;
  // A file-open dialog with `title` and one `filter` ("Description (*.ext)"); the chosen
  // file's full path, "" when cancelled.
  virtual std::string OpenFile(QWidget* owner, const std::string& title,
                               const std::string& filter) = 0;
};

// The program's plain message: OK only, titled with the application title.
inline void ShowMessage(Dialogs& dialogs, QWidget* owner, const std::string& text) {
  dialogs.Ask(owner, text, kAppTitle, Buttons::Ok);
}

}  // namespace rivanet::ui
