#include "ui/QtDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

namespace rivanet::ui {
namespace {

struct Choice {
  const char* label;
  Answer answer;
};

std::vector<Choice> ChoicesOf(Buttons buttons) {
  switch (buttons) {
    case Buttons::OkCancel:
      return {{"OK", Answer::Ok}, {"Cancel", Answer::Cancel}};
    case Buttons::YesNo:
      return {{"&Yes", Answer::Yes}, {"&No", Answer::No}};
    case Buttons::YesNoCancel:
      return {{"&Yes", Answer::Yes}, {"&No", Answer::No}, {"Cancel", Answer::Cancel}};
    case Buttons::Ok:
      break;
  }
  return {{"OK", Answer::Ok}};
}

}  // namespace

Answer QtDialogs::Ask(QWidget* owner, const std::string& text, const std::string& title,
                      Buttons buttons) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::NoButton, owner);
  // Paths may hold characters that rich text would swallow.
  box.setTextFormat(Qt::PlainText);
  std::vector<std::pair<QPushButton*, Answer>> added;
  for (const Choice& choice : ChoicesOf(buttons)) {
    // One role for all keeps the buttons in the order given, whatever the desktop's habit.
    added.emplace_back(box.addButton(QString::fromUtf8(choice.label), QMessageBox::ActionRole),
                       choice.answer);
  }
  box.setDefaultButton(added.front().first);
  // Esc (and the close button) answer Cancel where it is offered, No to a yes-or-no question
  // (the answer that changes nothing), OK to a plain message.
  std::pair<QPushButton*, Answer> escape = added.back();
  if (buttons == Buttons::YesNo) escape = added[1];
  box.setEscapeButton(escape.first);
  box.exec();
  for (const auto& [button, answer] : added)
    if (box.clickedButton() == button) return answer;
  return escape.second;
}

std::string QtDialogs::BrowseForFolder(QWidget* owner, const std::string& prompt) {
  return QFileDialog::getExistingDirectory(owner, QString::fromStdString(prompt), QString(),
                                           QFileDialog::ShowDirsOnly)
      .toStdString();
}

std::string QtDialogs::OpenFile(QWidget* owner, const std::string& title,
                                const std::string& filter) {
  return QFileDialog::getOpenFileName(owner, QString::fromStdString(title), QString(),
                                      QString::fromStdString(filter))
      .toStdString();
}

}  // namespace rivanet::ui
