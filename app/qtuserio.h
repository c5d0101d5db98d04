// UserIO for the window: the status bar, modal message boxes with the German titles and
// buttons, non-native file dialogs, sleep, beep and repaints.
//
// Tests set QtUserIO::TestHook: then nothing modal is shown; every box and file dialog
// is recorded there and answered from its queues.
#pragma once

#include <chrono>

#include <QString>
#include <QWidget>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "userio/userio.h"

class StatusBar;

struct UiTestAnswers {
  struct Box {
    BoxKind kind;
    std::string text;      // as given, with CR line breaks
    bool confirm = false;  // a "&Ja"/"&Abbrechen" box
  };
  struct FileRequest {
    bool save = false;
    std::string filter;
    std::string initialName;
  };
  std::vector<Box> boxes;                             // every box shown, in order
  std::deque<bool> confirmAnswers;                    // answers to Confirm; empty: Abbrechen
  std::vector<FileRequest> fileRequests;              // every file dialog, in order
  std::deque<std::optional<std::string>> fileAnswers; // empty or nullopt: cancelled
  int beeps = 0;
};

class QtUserIO : public UserIO {
 public:
  QtUserIO(StatusBar* bar, QWidget* window);

  static inline UiTestAnswers* TestHook = nullptr;

  // A lone CR (and CR LF) becomes a line break of the box.
  static QString BoxText(const std::string& text);
  // The boxes themselves, usable without an instance (the error handler uses them).
  static void ShowBox(QWidget* parent, BoxKind kind, const std::string& text);
  static bool ConfirmBox(QWidget* parent, const std::string& text);

  void SetStatusColor(uint32_t color) override;
  void SetStatusText(int panel, const std::string& text) override;
  std::string StatusText(int panel) const override;
  void RepaintStatus() override;
  void RepaintWindow() override;

  void ShowMessage(BoxKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;

  std::optional<std::string> OpenFileName(const std::string& filter,
                                          const std::string& initialName) override;
  std::optional<std::string> SaveFileName(const std::string& filter,
                                          const std::string& initialName) override;

  void Beep() override;
  void SleepMs(int ms) override;

 private:
  std::optional<std::string> FileDialog(bool save, const std::string& filter,
                                        const std::string& initialName);
  StatusBar* bar_;
  QWidget* window_;
  std::chrono::steady_clock::time_point lastStatusPaint_{};
  bool promptChanged_ = true;
};
