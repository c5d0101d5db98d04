// UserIO for the window: the status bar, modal message boxes with the German titles and
// buttons, non-native file dialogs, sleep, beep and repaints. main makes one and hands it
// to the window, which attaches its status bar; tests hand in their own.
#pragma once

#include <chrono>

#include <QString>
#include <QWidget>
#include <optional>
#include <string>

#include "app/repaintthrottle.h"
#include "frontend/userio.h"

class StatusBar;

class QtUserIO : public UserIO {
 public:
  explicit QtUserIO(StatusBar* bar = nullptr, QWidget* window = nullptr);

  // The status bar painted and the window that owns the boxes; nullptr for neither.
  void Attach(StatusBar* bar, QWidget* window);

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
  RepaintThrottle statusThrottle_;
  bool promptChanged_ = true;
};
