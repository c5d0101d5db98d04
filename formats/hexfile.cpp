#include "formats/hexfile.h"

#include <cstdio>
#include <limits>
#include <memory>

#include "formats/atomicfile.h"
#include "formats/fileerror.h"

namespace firmware {

namespace {

constexpr char kEndOfFileChar = 0x1A;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// At most kMaxHexFileBytes + 1 bytes, so that a larger file is told apart without being
// read whole.
std::string ReadCapped(const std::string& path) {
  std::string bytes = ReadPlainFile(path, kMaxHexFileBytes);
  if (bytes.size() > kMaxHexFileBytes) throw EHexFileTooLarge();
  return bytes;
}

}  // namespace

void HexLineReader::Open(const std::string& path) {
  Close();
  std::string bytes = ReadCapped(path);
  const size_t end = bytes.find(kEndOfFileChar);
  if (end != std::string::npos) bytes.resize(end);
  if (bytes.starts_with(kByteOrderMark)) bytes.erase(0, sizeof kByteOrderMark - 1);
  text_ = std::move(bytes);
  open_ = true;
  Rewind();
}

void HexLineReader::Rewind() {
  pos_ = 0;
  linesRead_ = 0;
}

void HexLineReader::Close() {
  text_.clear();
  text_.shrink_to_fit();
  open_ = false;
  Rewind();
}

bool HexLineReader::NextLine(std::string& line) {
  line.clear();
  if (pos_ >= text_.size()) return false;
  size_t end = text_.find_first_of("\r\n", pos_);
  if (end == std::string::npos) end = text_.size();
  size_t last = end;
  while (last > pos_ && (text_[last - 1] == ' ' || text_[last - 1] == '\t')) --last;
  line.assign(text_, pos_, last - pos_);
  pos_ = end;
  if (pos_ < text_.size()) {
    // A LF right after a CR belongs to the same line end.
    if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
  }
  ++linesRead_;
  return true;
}

namespace {

int32_t Capped(int64_t count) {
  return count > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                     : static_cast<int32_t>(count);
}

}  // namespace

int32_t CountLines(const std::string& path) {
  HexLineReader reader(path);
  std::string line;
  int64_t count = 0;
  while (reader.NextLine(line)) ++count;
  return Capped(count);
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
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

HexScan ScanHexFile(HexLineReader& file) {
  file.Rewind();
  HexScan scan;
  std::string line;
  int64_t count = 0;
  bool endRecordSeen = false;
  while (file.NextLine(line)) {
    ++count;
    if (scan.badLine != 0) continue;  // keep counting
    if (endRecordSeen) {
      // Only blank lines may follow; their blanks are gone already.
      if (!line.empty()) scan.badLine = count;
      continue;
    }
    const int type = RecordType(line);
    if (type < 0)
      scan.badLine = count;
    else if (type == 1)
      endRecordSeen = true;
  }
  if (scan.badLine == 0 && !endRecordSeen) scan.badLine = count + 1;
  scan.lines = Capped(count);
  file.Rewind();
  return scan;
}

HexScan ScanHexFile(const std::string& path) {
  HexLineReader reader(path);
  return ScanHexFile(reader);
}

int64_t CheckHexFile(const std::string& path) { return ScanHexFile(path).badLine; }

}  // namespace firmware
