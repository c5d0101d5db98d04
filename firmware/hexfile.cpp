#include "firmware/hexfile.h"

#include <sys/stat.h>

#include <cerrno>
#include <limits>

#include "fileerror/fileerror.h"

namespace firmware {

namespace {
constexpr int kEndOfFileChar = 0x1A;
}

void HexLineReader::Open(const std::string& path) {
  Close();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw EInOutError(errno, FileOp::Read);
  // fopen takes a directory on Linux; reading it would fail later with less to say.
  struct stat st;
  if (::fstat(::fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    throw EInOutError(EISDIR, FileOp::Read);
  }
  file_ = f;
  path_ = path;
  ended_ = false;
  truncated_ = false;
  linesRead_ = 0;
}

void HexLineReader::Reopen() {
  const std::string path = path_;
  Open(path);
}

void HexLineReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  ended_ = true;
}

int HexLineReader::Get() {
  if (ended_ || !file_) return EOF;
  const int c = std::getc(file_);
  if (c == EOF) {
    ended_ = true;
    if (std::ferror(file_)) {
      const int err = errno != 0 ? errno : EIO;
      throw EInOutError(err, FileOp::Read);
    }
    return EOF;
  }
  if (c == kEndOfFileChar) {
    ended_ = true;
    return EOF;
  }
  return c;
}

bool HexLineReader::NextLine(std::string& line, size_t maxLength) {
  line.clear();
  truncated_ = false;
  int c = Get();
  if (c == EOF) return false;
  while (c != EOF && c != '\r' && c != '\n') {
    if (line.size() < maxLength)
      line.push_back(static_cast<char>(c));
    else
      truncated_ = true;
    c = Get();
  }
  if (c == '\r') {
    // A LF right after the CR belongs to the same line end.
    const int next = Get();
    if (next != '\n' && next != EOF) std::ungetc(next, file_);
  }
  ++linesRead_;
  return true;
}

int32_t CountLines(const std::string& path) {
  HexLineReader reader(path);
  std::string line;
  int64_t count = 0;
  while (reader.NextLine(line, 0)) ++count;
  return count > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                     : static_cast<int32_t>(count);
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsBlank(const std::string& line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}

// Type of a record line (0..5), -1 when the line is no record.
int RecordType(const std::string& line) {
  if (line.size() < 11 || line.size() > kMaxHexLineLength) return -1;
  if (line[0] != ':' || (line.size() - 1) % 2 != 0) return -1;
  const size_t bytes = (line.size() - 1) / 2;
  unsigned sum = 0;
  int length = -1;
  int type = -1;
  for (size_t i = 0; i < bytes; ++i) {
    const int hi = HexValue(line[1 + 2 * i]);
    const int lo = HexValue(line[2 + 2 * i]);
    if (hi < 0 || lo < 0) return -1;
    const int value = hi * 16 + lo;
    if (i == 0) length = value;
    if (i == 3) type = value;
    sum += static_cast<unsigned>(value);
  }
  if (static_cast<size_t>(length) + 5 != bytes) return -1;
  if ((sum & 0xFF) != 0) return -1;
  if (type > 5) return -1;
  return type;
}

}  // namespace

bool IsHexRecord(const std::string& line) { return RecordType(line) >= 0; }

HexScan ScanHexFile(const std::string& path) {
  HexLineReader reader(path);
  HexScan scan;
  std::string line;
  int64_t count = 0;
  bool endRecordSeen = false;
  // One character more than a record can have tells an overlong line apart.
  while (reader.NextLine(line, kMaxHexLineLength + 1)) {
    ++count;
    if (scan.badLine != 0) continue;  // keep counting
    if (endRecordSeen) {
      // Only blank lines may follow, and a blank line longer than a record is no blank.
      if (reader.Truncated() || !IsBlank(line)) scan.badLine = count;
      continue;
    }
    const int type = reader.Truncated() ? -1 : RecordType(line);
    if (type < 0)
      scan.badLine = count;
    else if (type == 1)
      endRecordSeen = true;
  }
  if (scan.badLine == 0 && !endRecordSeen) scan.badLine = count + 1;
  scan.lines = count > std::numeric_limits<int32_t>::max()
                   ? std::numeric_limits<int32_t>::max()
                   : static_cast<int32_t>(count);
  return scan;
}

int64_t CheckHexFile(const std::string& path) { return ScanHexFile(path).badLine; }

}  // namespace firmware
