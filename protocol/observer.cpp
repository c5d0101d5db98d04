#include "protocol/observer.h"

#include <chrono>
#include <thread>

void ExchangeObserver::Pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ReportStatus(ExchangeObserver& observer, uint32_t color, const std::string& text, int panel) {
  observer.StatusColor(color);
  observer.StatusText(panel, text);
  observer.StatusShown();
}

const char* BoxTitle(BoxKind kind) {
  switch (kind) {
    case BoxKind::Warning: return "Warnung";
    case BoxKind::Error: return "Fehler";
    case BoxKind::Information: return "Information";
    case BoxKind::Confirmation: return "Bestätigung";
  }
  return "";
}
