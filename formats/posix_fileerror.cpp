#include "formats/fileerror.h"

#include <cerrno>

std::string IoErrorText(int err, FileOp op) {
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return "Dateizugriff verweigert";
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return "Zu wenig Speicherplatz";
    case ENOENT: return op == FileOp::Read ? "Datei nicht gefunden" : "Ungültiger Dateiname";
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP: return "Ungültiger Dateiname";
    default: return "E/A-Fehler " + std::to_string(err);
  }
}
