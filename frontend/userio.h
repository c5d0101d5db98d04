// What the exchanges with the logger need of the user and the window: status bar,
// message boxes, file dialogs, repaints, sleep and beep. TForm1 implements it; tests
// answer through it. Plain C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Status bar colours, in the 0x00BBGGRR encoding; clBtnFace is the system's button face.
constexpr uint32_t clBtnFace = 0x8000000F;
constexpr uint32_t StatusColorSuccess = 11730092;  // light green
constexpr uint32_t StatusColorFailure = 14342911;  // light red

// The four message-box kinds with their titles.
enum class BoxKind { Warning, Error, Information, Confirmation };
const char* BoxTitle(BoxKind kind);  // "Warnung", "Fehler", "Information", "Bestätigung"

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
