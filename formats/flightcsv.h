// Reading a CSV file that this program saved back into a flight in hand. Line 1 holds the
// eight header values (the fourth is LastSampleIndex + 1 of the download, which the file
// may cover only in part, so it is not held against the number of lines), line 2 the two
// degree values and the GPS header value, then one line of 16 values per record. Every
// value is followed by ";", lines end with CR LF (LF alone is taken too), and any number
// of line ends may follow the last record. The minutes of a coordinate are below 60.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/flight.h"

namespace analysis {

// A text that is not such a file. The message is German and names the first line that
// does not fit: "Zeile 7: 15 Werte statt 16".
class CsvFormatError : public std::runtime_error {
 public:
  CsvFormatError(int64_t line, const std::string& reason);
  int64_t Line() const { return line_; }

 private:
  int64_t line_;
};

// A name chosen to open that is no plain file: a folder, a named pipe, a device. The
// message is German and names the file and what it is.
class NotAFileError : public std::runtime_error {
 public:
  NotAFileError(const std::string& path, std::filesystem::file_type type);
};

// At most this many record lines, as many as the sample table holds.
constexpr int32_t kMaxCsvRecords = 65536;

// The flight the text holds (source File, range = all records). Throws CsvFormatError.
Flight ParseFlightCsv(std::string_view text);
// Reads the file and parses it; the flight's fileName is the path's last part. A file
// that cannot be read throws EInOutError (formats/fileerror.h) with its German text, a
// name that is not a plain file NotAFileError.
Flight ReadFlightCsvFile(const std::string& path);

}  // namespace analysis
