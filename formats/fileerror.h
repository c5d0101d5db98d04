// Input/output errors of the files the user chooses (the CSV export writes, the firmware
// update reads a HEX file), reported with the German texts the user knows from the
// program's file operations.
#pragma once

#include <stdexcept>
#include <string>

enum class FileOp { Read, Write };

// "Dateizugriff verweigert", "Zu wenig Speicherplatz", "Ungültiger Dateiname",
// "Datei nicht gefunden" (a missing file to read), otherwise "E/A-Fehler <code>". The
// code is the system's own: errno on POSIX (posix_fileerror.cpp), a GetLastError code on
// Windows (win32_fileerror.cpp), which gives the same texts for the same faults.
std::string IoErrorText(int err, FileOp op = FileOp::Write);

class EInOutError : public std::runtime_error {
 public:
  EInOutError(int err, FileOp op = FileOp::Write)
      : std::runtime_error(IoErrorText(err, op)), errorCode_(err) {}
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};
