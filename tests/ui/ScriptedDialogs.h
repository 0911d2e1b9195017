#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <variant>
#include <vector>

#include "ui/Dialogs.h"

namespace rivanet::test {

// Dialogs that answer from a script and write down everything they were asked, one line each:
//   "box <title> [<buttons>] <text>", "folder <prompt>", "file <title> | <filter>".
// A plain OK box needs no answer; every question and dialog takes the next one.
class ScriptedDialogs : public ui::Dialogs {
 public:
  using Reply = std::variant<ui::Answer, std::string>;

  ui::Answer Ask(QWidget*, const std::string& text, const std::string& title,
                 ui::Buttons buttons) override {
    shown.push_back("box " + title + " [" + Names(buttons) + "] " + text);
    if (buttons == ui::Buttons::Ok) return ui::Answer::Ok;
    return Take<ui::Answer>(ui::Answer::Cancel);
  }
  std::string BrowseForFolder(QWidget*, const std::string& prompt) override {
    shown.push_back("folder " + prompt);
    return Take<std::string>({});
  }
  std::string OpenFile(QWidget*, const std::string& title, const std::string& filter) override {
    shown.push_back("file " + title + " | " + filter);
    return Take<std::string>({});
  }

  std::deque<Reply> script;
  std::vector<std::string> shown;

 private:
  static std::string Names(ui::Buttons buttons) {
    static const char* const kNames[] = {"OK", "OK,Cancel", "Yes,No", "Yes,No,Cancel"};
    return kNames[static_cast<int>(buttons)];
  }

  template <class T>
  T Take(T otherwise) {
    if (script.empty() || !std::holds_alternative<T>(script.front())) {
      ADD_FAILURE() << "no answer of the right kind scripted for: " << shown.back();
      return otherwise;
    }
    const T next = std::get<T>(script.front());
    script.pop_front();
    return next;
  }
};

}  // namespace rivanet::test
