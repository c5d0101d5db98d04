#include "frontend/userio.h"

const char* BoxTitle(BoxKind kind) {
  switch (kind) {
    case BoxKind::Warning: return "Warnung";
    case BoxKind::Error: return "Fehler";
    case BoxKind::Information: return "Information";
    case BoxKind::Confirmation: return "Bestätigung";
  }
  return "";
}
