// Reading an Intel HEX firmware file as text lines, one line at a time, and checking it
// before it goes to the logger's bootloader.
//
// The file is read once, whole, into memory: the check and the transfer work on the same
// bytes, so a file that is rewritten after the check (an editor saving it) cannot go out
// unchecked. A firmware image of the logger is some 30 KB; files over 4 MiB are refused.
//
// Line rule: a line ends at CR, at CR LF or at a lone LF. A character 0x1A, or the
// physical end of the file, ends the file; whatever follows a 0x1A is ignored. A last
// line without a line end counts; an empty file has no lines. (A LF followed by a CR is
// two line ends, so it makes a blank line.)
//
// What a line holds: its characters without the line end and without the blanks and tabs
// at its end, which editors leave behind and which a bootloader counting by the length
// field would take for the start of the next record. A UTF-8 byte-order mark at the start
// of the file is no part of the first line. This is also what is sent to the logger.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace firmware {

// Longest line a HEX record can make: ":" and the hex pairs of length, address (2),
// type, 255 data bytes and checksum.
constexpr size_t kMaxHexLineLength = 1 + 2 * (1 + 2 + 1 + 255 + 1);  // 521

// Largest HEX file taken: 4 MiB, more than a hundred times a full image of the logger.
constexpr size_t kMaxHexFileBytes = 4u * 1024 * 1024;

// A file larger than kMaxHexFileBytes; what() is the German text for the user.
class EHexFileTooLarge : public std::runtime_error {
 public:
  EHexFileTooLarge() : std::runtime_error("Die Datei ist größer als 4 MiB") {}
};

class HexLineReader {
 public:
  HexLineReader() = default;
  // Reads path; throws as Open.
  explicit HexLineReader(const std::string& path) { Open(path); }
  HexLineReader(const HexLineReader&) = delete;
  HexLineReader& operator=(const HexLineReader&) = delete;

  // Reads the whole file into memory and starts at its first line. Throws EInOutError
  // when the file cannot be opened or read, EHexFileTooLarge when it is too large.
  void Open(const std::string& path);
  // Starts again at the first line of the bytes read by Open (the file is not read again).
  void Rewind();
  // Drops the bytes; NextLine then finds no line.
  void Close();
  bool IsOpen() const { return open_; }

  // The next line as described above. False at the end of the file.
  bool NextLine(std::string& line);
  // Lines returned since the file was opened or rewound.
  int64_t LinesRead() const { return linesRead_; }

 private:
  std::string text_;  // the file up to its end, without a byte-order mark
  size_t pos_ = 0;
  bool open_ = false;
  int64_t linesRead_ = 0;
};

// Number of lines by the rule above, capped at the largest 32-bit count.
// Throws as HexLineReader::Open.
int32_t CountLines(const std::string& path);

// Whether one line is an Intel HEX record: ":" and hex pairs (either case), the length
// field matching the number of data bytes, the checksum making the byte sum 0 modulo
// 256, the type 00 to 05. Nothing else on the line, not even blanks.
bool IsHexRecord(const std::string& line);

// Result of one pass over a HEX file.
struct HexScan {
  int32_t lines = 0;    // as CountLines
  int64_t badLine = 0;  // first bad line (1-based), 0 when the file is good
};

// The check of a whole file, on its lines as described above. Every line up to and
// including the end-of-file record (type 01) must be a record; after it only blank lines
// (empty, or blanks and tabs only) may follow. A file without an end-of-file record fails
// at the line after its last line (so an empty file fails at line 1).
// This overload checks the reader's bytes and leaves it at the first line again.
HexScan ScanHexFile(HexLineReader& file);
// Reads path and checks it; throws as HexLineReader::Open.
HexScan ScanHexFile(const std::string& path);
// The first bad line, 0 when the file is good.
int64_t CheckHexFile(const std::string& path);

}  // namespace firmware
