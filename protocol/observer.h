// What an exchange with the logger tells whoever runs it: the status texts and colours it
// would show, the moments the user should see them, the pauses of the wait for the
// logger. Each exchange adds its own events (configread.h, download.h, bootloader.h);
// every event has a default that ignores it, so a front end listens only to what it
// shows. The window turns the events into its controls, the command-line tool into lines
// on standard error, tests record them.
#pragma once

#include <cstdint>
#include <string>

// Status bar colours, in the 0x00BBGGRR encoding; clBtnFace is the system's button face.
constexpr uint32_t clBtnFace = 0x8000000F;
constexpr uint32_t StatusColorSuccess = 11730092;  // light green
constexpr uint32_t StatusColorFailure = 14342911;  // light red

// The kinds of the messages the user must see, with their titles.
enum class BoxKind { Warning, Error, Information, Confirmation };
const char* BoxTitle(BoxKind kind);  // "Warnung", "Fehler", "Information", "Bestätigung"

class ExchangeObserver {
 public:
  virtual ~ExchangeObserver() = default;

  // Panel 0 and 1 of the status bar and its colour (0x00BBGGRR, clBtnFace, ...).
  virtual void StatusColor(uint32_t /*color*/) {}
  virtual void StatusText(int /*panel*/, const std::string& /*text*/) {}
  // The wait for the logger adds one "<" per poll to whatever panel 1 shows.
  virtual void StatusAppend(int /*panel*/, const std::string& /*text*/) {}
  // The status as set so far is to be seen now.
  virtual void StatusShown() {}
  // Everything changed so far is to be seen now.
  virtual void WindowShown() {}
  // The pause between two polls of the wait for the logger; it sleeps unless overridden.
  virtual void Pause(int ms);
  virtual void Beep() {}
};

// Shows a status in the usual three steps: colour, text, shown.
void ReportStatus(ExchangeObserver& observer, uint32_t color, const std::string& text,
                  int panel = 1);
