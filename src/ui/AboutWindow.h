#pragma once

#include <QDialog>
#include <filesystem>

class QPushButton;

namespace rivanet::ui {

class Dialogs;
class ClickableLabel;

// About: title and version, credit lines, the emblem and the project's logo block, System
// Info, and on a click on the title the versions of the libraries the program runs on.
// Not modal; OK, Enter and Esc close it.
class AboutWindow : public QDialog {
 public:
  AboutWindow(Dialogs& dialogs, const std::filesystem::path& appFolder);

  ClickableLabel* TitleLabel() const { return m_title; }
  QPushButton* SysInfoButton() const { return m_sysInfo; }

 private:
  void ShowLibraryVersions();

  Dialogs& m_dialogs;
  ClickableLabel* m_title;
  QPushButton* m_sysInfo;
};

}  // namespace rivanet::ui
