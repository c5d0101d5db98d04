// The German file errors for Win32 error codes: the same texts that the POSIX codes give.
#include <windows.h>

#include "formats/fileerror.h"

std::string IoErrorText(int err, FileOp op) {
  switch (static_cast<DWORD>(err)) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
    case ERROR_CURRENT_DIRECTORY: return "Dateizugriff verweigert";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE: return "Zu wenig Speicherplatz";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return op == FileOp::Read ? "Datei nicht gefunden" : "Ungültiger Dateiname";
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return "Ungültiger Dateiname";
    default: return "E/A-Fehler " + std::to_string(err);
  }
}
