// The window's UserIO for tests: the status bar and the repaints are the real ones; boxes,
// file dialogs and the beep are recorded in UiTestAnswers and answered from its queues,
// until a test switches to the real dialogs.
#pragma once

#include "app/qtuserio.h"
#include "tests/support/answers.h"

class AnsweringWindowIO : public QtUserIO {
 public:
  explicit AnsweringWindowIO(UiTestAnswers& answers) : answers_(answers) {}

  // From now on every box and file dialog is the real, modal one.
  void UseRealDialogs() { real_ = true; }

  void ShowMessage(BoxKind kind, const std::string& text) override {
    if (real_) return QtUserIO::ShowMessage(kind, text);
    answers_.Message(kind, text);
  }
  bool Confirm(const std::string& text) override {
    return real_ ? QtUserIO::Confirm(text) : answers_.Confirm(text);
  }
  std::optional<std::string> OpenFileName(const std::string& filter,
                                          const std::string& initialName) override {
    return real_ ? QtUserIO::OpenFileName(filter, initialName)
                 : answers_.File(false, filter, initialName);
  }
  std::optional<std::string> SaveFileName(const std::string& filter,
                                          const std::string& initialName) override {
    return real_ ? QtUserIO::SaveFileName(filter, initialName)
                 : answers_.File(true, filter, initialName);
  }
  void Beep() override {
    if (real_) return QtUserIO::Beep();
    ++answers_.beeps;
  }
  void SleepMs(int ms) override {
    answers_.sleeps.push_back(ms);
    QtUserIO::SleepMs(ms);
  }

 private:
  UiTestAnswers& answers_;
  bool real_ = false;
};
