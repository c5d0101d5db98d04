// Reading an Intel HEX firmware file as text lines, one line at a time, and checking it
// before it goes to the logger's bootloader.
//
// Line rule: a line ends at CR, at CR LF or at a lone LF. A character 0x1A, or the
// physical end of the file, ends the file; whatever follows a 0x1A is ignored. A last
// line without a line end counts; an empty file has no lines. (A LF followed by a CR is
// two line ends, so it makes a blank line.)
//
// The file is never read whole: lines come one by one through a buffered stream, and a
// caller that only needs a prefix of a long line can cap what is kept of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace firmware {

// Longest line a HEX record can make: ":" and the hex pairs of length, address (2),
// type, 255 data bytes and checksum.
constexpr size_t kMaxHexLineLength = 1 + 2 * (1 + 2 + 1 + 255 + 1);  // 521

class HexLineReader {
 public:
  HexLineReader() = default;
  // Opens path for reading; throws EInOutError when it cannot be opened.
  explicit HexLineReader(const std::string& path) { Open(path); }
  ~HexLineReader() { Close(); }
  HexLineReader(const HexLineReader&) = delete;
  HexLineReader& operator=(const HexLineReader&) = delete;

  void Open(const std::string& path);
  // Starts again at the first line (the file is opened anew).
  void Reopen();
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // The next line without its line end. False at the end of the file. Of a line longer
  // than maxLength only the first maxLength characters are kept and Truncated() is true;
  // the rest of the line is skipped. Throws EInOutError on a read error.
  bool NextLine(std::string& line, size_t maxLength = std::string::npos);
  bool Truncated() const { return truncated_; }
  // Lines returned since the file was (re)opened.
  int64_t LinesRead() const { return linesRead_; }

 private:
  int Get();  // next character, EOF at the end of the file (0x1A or physical end)

  std::string path_;
  std::FILE* file_ = nullptr;
  bool ended_ = false;
  bool truncated_ = false;
  int64_t linesRead_ = 0;
};

// Number of lines by the rule above, capped at the largest 32-bit count.
// Throws EInOutError when the file cannot be opened or read.
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

// The check of a whole file. Every line up to and including the end-of-file record
// (type 01) must be a record; after it only blank lines (empty or blanks and tabs) may
// follow. A file without an end-of-file record fails at the line after its last line
// (so an empty file fails at line 1). A line longer than any record is bad.
// Throws EInOutError when the file cannot be opened or read.
HexScan ScanHexFile(const std::string& path);
// The first bad line, 0 when the file is good.
int64_t CheckHexFile(const std::string& path);

}  // namespace firmware
