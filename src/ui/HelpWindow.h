#pragma once

#include <QDialog>
#include <string>
#include <vector>

namespace rivanet::ui {

// The five rows of Help, each a title and its text. Line breaks inside a text are CR LF.
struct HelpRow {
  std::string title;
  std::string text;
};
std::vector<HelpRow> HelpRows();

// Help: what each command of the main window does, and a note on the settings file.
// Not modal; OK, Enter and Esc close it.
class HelpWindow : public QDialog {
 public:
  HelpWindow();
};

}  // namespace rivanet::ui
