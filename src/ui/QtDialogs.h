#pragma once

#include "ui/Dialogs.h"

namespace rivanet::ui {

// The dialogs as the desktop shows them: Qt message boxes and file dialogs.
class QtDialogs : public Dialogs {
 public:
  Answer Ask(QWidget* owner, const std::string& text, const std::string& title,
             Buttons buttons) override;
  std::string BrowseForFolder(QWidget* owner, const std::string& prompt) override;
  std::string OpenFile(QWidget* owner, const std::string& title,
                       const std::string& filter) override;
};

}  // namespace rivanet::ui
