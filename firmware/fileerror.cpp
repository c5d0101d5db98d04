#include "firmware/fileerror.h"

#include <cerrno>

namespace firmware {

std::string IoErrorText(int errorNumber) {
  switch (errorNumber) {
    case ENOENT:
      return "Datei nicht gefunden";
    case EACCES:
      return "Dateizugriff verweigert";
    default:
      return "E/A-Fehler " + std::to_string(errorNumber);
  }
}

}  // namespace firmware
