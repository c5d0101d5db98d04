// What a front end with a window offers the flows that need a user: status bar, message
// boxes, file dialogs, repaints, sleep and beep. TForm1 implements it; tests answer
// through it. Plain C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/observer.h"

class UserIO {
 public:
  virtual ~UserIO() = default;

  // Status bar: colour of the whole bar, text of panel 0 or 1, immediate repaint.
  virtual void SetStatusColor(uint32_t color) = 0;
  virtual void SetStatusText(int panel, const std::string& text) = 0;
  virtual std::string StatusText(int panel) const = 0;
  virtual void RepaintStatus() = 0;
  virtual void RepaintWindow() = 0;

  // Modal boxes. ShowMessage has one OK button. Confirm has "&Ja" and "&Abbrechen" and
  // returns true for Ja. Texts use a lone CR as line break, as given.
  virtual void ShowMessage(BoxKind kind, const std::string& text) = 0;
  virtual bool Confirm(const std::string& text) = 0;

  // File dialogs: filter and initial name ("*.csv", "*.hex"); nullopt when cancelled.
  virtual std::optional<std::string> OpenFileName(const std::string& filter,
                                                  const std::string& initialName) = 0;
  virtual std::optional<std::string> SaveFileName(const std::string& filter,
                                                  const std::string& initialName) = 0;

  virtual void Beep() = 0;
  virtual void SleepMs(int ms) = 0;
};

// An observer of any exchange that shows the status on a UserIO: the status bar, its
// repaints, the pauses and the beep. The window's adaptors and the tests build on it.
template <class Observer>
class StatusOnUserIO : public Observer {
 public:
  explicit StatusOnUserIO(UserIO& io) : io_(io) {}
  void StatusColor(uint32_t color) override { io_.SetStatusColor(color); }
  void StatusText(int panel, const std::string& text) override { io_.SetStatusText(panel, text); }
  void StatusAppend(int panel, const std::string& text) override {
    io_.SetStatusText(panel, io_.StatusText(panel) + text);
  }
  void StatusShown() override { io_.RepaintStatus(); }
  void WindowShown() override { io_.RepaintWindow(); }
  void Pause(int ms) override { io_.SleepMs(ms); }
  void Beep() override { io_.Beep(); }

 protected:
  UserIO& io_;
};
