// Fuzz target: the HEX file line counter, line reader and checker. The input is written
// as a file; CountLines, ScanHexFile, CheckHexFile and HexLineReader (also after Rewind,
// and after the file has changed on disk) must agree with each other and with the line
// and record rules worked out independently here.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/hexfile.h"
#include "tests/support/files.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "hexfile model check failed: %s\n", what);
  std::abort();
}

// Lines by the rule: CR, CR LF or a lone LF ends a line; 0x1A or the end ends the file.
// A byte-order mark at the start belongs to no line; blanks and tabs at a line's end are
// dropped.
std::vector<std::string> SplitLines(const uint8_t* s, size_t n) {
  std::vector<std::string> lines;
  std::string cur;
  bool open = false;  // characters (or nothing yet) of a line that has begun
  size_t i = 0;
  if (n >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) i = 3;
  auto finish = [&] {
    while (!cur.empty() && (cur.back() == ' ' || cur.back() == '\t')) cur.pop_back();
    lines.push_back(cur);
    cur.clear();
  };
  for (; i < n && s[i] != 0x1A; ++i) {
    const char c = static_cast<char>(s[i]);
    if (c == '\r' || c == '\n') {
      finish();
      open = false;
      if (c == '\r' && i + 1 < n && s[i + 1] == '\n') ++i;
      continue;
    }
    cur.push_back(c);
    open = true;
  }
  if (open) finish();
  return lines;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Record type 0..5 of a line, -1 when it is no Intel HEX record.
int Record(const std::string& line) {
  if (line.empty() || line[0] != ':' || line.size() % 2 != 1) return -1;
  std::vector<int> b;
  for (size_t i = 1; i + 1 < line.size(); i += 2) {
    const int hi = Hex(line[i]), lo = Hex(line[i + 1]);
    if (hi < 0 || lo < 0) return -1;
    b.push_back(hi * 16 + lo);
  }
  if (b.size() < 5 || static_cast<size_t>(b[0]) + 5 != b.size()) return -1;
  int sum = 0;
  for (int v : b) sum += v;
  if (sum % 256 != 0 || b[3] > 5) return -1;
  return b[3];
}

int64_t FirstBadLine(const std::vector<std::string>& lines) {
  bool end = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (end) {
      if (!l.empty()) return static_cast<int64_t>(i) + 1;
      continue;
    }
    const int t = Record(l);
    if (t < 0) return static_cast<int64_t>(i) + 1;
    if (t == 1) end = true;
  }
  return end ? 0 : static_cast<int64_t>(lines.size()) + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ProgramTempDir() / "in.hex";
  if (!WriteFile(path, std::string(reinterpret_cast<const char*>(data), size)))
    Fail("cannot write the temporary file");

  const std::vector<std::string> lines = SplitLines(data, size);
  const int32_t count = firmware::CountLines(path);
  if (count != static_cast<int32_t>(lines.size())) Fail("CountLines differs from the line rule");

  const firmware::HexScan scan = firmware::ScanHexFile(path);
  if (scan.lines != count) Fail("ScanHexFile counts other lines than CountLines");
  if (scan.badLine != FirstBadLine(lines)) Fail("first bad line differs from the record rules");
  if (firmware::CheckHexFile(path) != scan.badLine) Fail("CheckHexFile differs from ScanHexFile");

  for (size_t i = 0; i < lines.size(); ++i)
    if (firmware::IsHexRecord(lines[i]) != (Record(lines[i]) >= 0)) Fail("IsHexRecord");

  // The reader as the transfer uses it: every line, then again after Rewind, also when
  // the file has been rewritten in between.
  firmware::HexLineReader reader(path);
  std::string line;
  size_t n = 0;
  while (reader.NextLine(line)) {
    if (n >= lines.size() || line != lines[n]) Fail("reader line differs");
    ++n;
  }
  if (n != lines.size() || reader.LinesRead() != static_cast<int64_t>(n)) Fail("reader line count");
  if (reader.NextLine(line)) Fail("line after the end");
  if (!WriteFile(path, ":00000001FF\n")) Fail("cannot rewrite the temporary file");
  const firmware::HexScan again = firmware::ScanHexFile(reader);
  if (again.lines != scan.lines || again.badLine != scan.badLine) Fail("scan after a rewrite");
  n = 0;
  while (reader.NextLine(line)) {
    if (n >= lines.size() || line != lines[n]) Fail("line after Rewind differs");
    ++n;
  }
  if (n != lines.size()) Fail("line count after Rewind");
  reader.Close();
  if (reader.IsOpen() || reader.NextLine(line)) Fail("closed reader still reads");
  return 0;
}
