#pragma once
// Dialogs answered by the test: each question takes the next queued answer
// (a question with none queued fails the test and is cancelled), and every
// box shown is recorded.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/TDialogs.h"

class TScriptedDialogs : public TDialogs {
 public:
  struct TShown {
    std::string Kind;  // "error", "info", "yesno", "savechanges", "input", "open", "save"
    QString Text;      // message, or the prompt / dialog title
  };

  std::vector<TShown> Shown;
  std::deque<std::optional<QString>> InputAnswers;  // nullopt: cancelled
  std::deque<bool> YesNoAnswers;
  std::deque<TSaveChangesAnswer> SaveChangesAnswers;
  std::deque<std::optional<QString>> FileAnswers;    // nullopt: cancelled
  std::vector<TFileDialogSpec> FileDialogs;          // every file dialog shown
  // Runs before every answer; a test throws from it to fail a handler.
  std::function<void()> BeforeAnswer;

  // Runs while an error box is "open", as the box's own event loop would
  // serve what arrives meanwhile.
  std::function<void()> WhileErrorShown;

  void ErrorBox(const QString& text) override {
    Shown.push_back({"error", text});
    if (WhileErrorShown) std::exchange(WhileErrorShown, nullptr)();
  }
  void InfoBox(const QString& text) override { Shown.push_back({"info", text}); }
  bool YesNo(const QString& text) override {
    Shown.push_back({"yesno", text});
    Before();
    if (YesNoAnswers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return false;
    }
    const bool answer = YesNoAnswers.front();
    YesNoAnswers.pop_front();
    return answer;
  }
  TSaveChangesAnswer SaveChanges(const QString& text) override {
    Shown.push_back({"savechanges", text});
    Before();
    if (SaveChangesAnswers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return TSaveChangesAnswer::Stay;
    }
    const TSaveChangesAnswer answer = SaveChangesAnswers.front();
    SaveChangesAnswers.pop_front();
    return answer;
  }
  QString InputBox(const QString&, const QString& prompt, const QString& Default) override {
    Shown.push_back({"input", prompt});
    Before();
    if (InputAnswers.empty()) {
      ADD_FAILURE() << "unexpected input box: " << prompt.toStdString();
      return Default;
    }
    std::optional<QString> answer = InputAnswers.front();
    InputAnswers.pop_front();
    return answer ? *answer : Default;
  }
  std::optional<QString> OpenFile(const TFileDialogSpec& spec) override { return File("open", spec); }
  std::optional<QString> SaveFile(const TFileDialogSpec& spec) override { return File("save", spec); }

  // The texts of the boxes of one kind, in order.
  std::vector<QString> Texts(const std::string& kind) const {
    std::vector<QString> texts;
    for (const TShown& s : Shown)
      if (s.Kind == kind) texts.push_back(s.Text);
    return texts;
  }

 private:
  void Before() {
    if (BeforeAnswer) BeforeAnswer();
  }
  std::optional<QString> File(const char* kind, const TFileDialogSpec& spec) {
    Shown.push_back({kind, spec.Title});
    FileDialogs.push_back(spec);
    Before();
    if (FileAnswers.empty()) {
      ADD_FAILURE() << "unexpected file dialog: " << spec.Title.toStdString();
      return std::nullopt;
    }
    // A cancelled dialog is queued as nullopt; the copy is a plain QString,
    // which keeps GCC's uninitialised-use check quiet.
    const bool cancelled = !FileAnswers.front().has_value();
    const QString answer = FileAnswers.front().value_or(QString());
    FileAnswers.pop_front();
    if (cancelled) return std::nullopt;
    return answer;
  }
};
