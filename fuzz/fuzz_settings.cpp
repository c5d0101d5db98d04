// Fuzz target: the settings file reader. The input is written as a settings file;
// ReadSettings loads it into a closed port that starts as the window's port does (design
// values, BaudRate br110 as the start-up marker). Checked:
// - every setting holds a valid value, and the one a file line gives by the profile
//   rules (sections and keys without regard to case, first match counts, values trimmed,
//   CR LF or LF) and the text tables with their fallbacks, worked out here;
// - the values survive WriteSettings into a copy of the file and ReadSettings into a
//   fresh port, and a second WriteSettings leaves the file byte for byte as it was.

#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "serial/comport.h"
#include "serial/comsettings.h"
#include "formats/profile.h"
#include "tests/support/files.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "settings model check failed: %s\n", what);
  std::abort();
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return s.substr(a, b - a);
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The value of key in section "ComPort1" by the profile rules, nullopt when missing.
std::optional<std::string> Lookup(const std::string& file, const std::string& key) {
  std::string data = file;
  if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string l = data.substr(start, end - start);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
    start = end + 1;
  }
  bool in = false, seen = false;
  for (const std::string& raw : lines) {
    const std::string t = Trim(raw);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      const size_t close = t.find(']');
      if (close == std::string::npos) continue;
      if (seen && in) return std::nullopt;
      in = Upper(Trim(t.substr(1, close - 1))) == "COMPORT1";
      seen = seen || in;
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos || !in) continue;
    if (Upper(Trim(t.substr(0, eq))) == Upper(key)) {
      std::string v = Trim(t.substr(eq + 1));
      if (v.size() > ProfileValueMax) v.resize(ProfileValueMax);
      return v;
    }
  }
  return std::nullopt;
}

int Find(const std::vector<std::string>& list, const std::string& text) {
  for (size_t i = 0; i < list.size(); ++i)
    if (Upper(list[i]) == Upper(text)) return static_cast<int>(i);
  return -1;
}

// Decimal with optional sign, or hexadecimal after 0x; nullopt for anything else.
std::optional<int64_t> Number(const std::string& t) {
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  int base = 10;
  if (t.size() >= i + 2 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) base = 16, i += 2;
  if (i >= t.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    int d = -1;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
      d = std::toupper(c) - 'A' + 10;
    if (d < 0) return std::nullopt;
    v = v * base + d;
    if (v > (int64_t{1} << 33)) return std::nullopt;
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return v;
}

struct Values {
  std::string port;
  TBaudRate baud;
  int32_t custom;
  TStopBits stop;
  TDataBits data;
  TParityBits parity;
  TFlowControl flow;
  bool operator==(const Values&) const = default;
};

Values Of(const TCustomComPort& p) {
  return {p.Port(),     p.BaudRate(),      p.CustomBaudRate(),           p.StopBits(),
          p.DataBits(), p.Parity().Bits(), p.FlowControl().FlowControl()};
}

void CheckRanges(const Values& v) {
  if (v.baud < brCustom || v.baud > br256000) Fail("BaudRate out of range");
  if (v.stop < sbOneStopBit || v.stop > sbTwoStopBits) Fail("StopBits out of range");
  if (v.data < dbFive || v.data > dbEight) Fail("DataBits out of range");
  if (v.parity < prNone || v.parity > prSpace) Fail("Parity out of range");
  if (v.flow < fcHardware || v.flow > fcCustom) Fail("FlowControl out of range");
}

void StartUp(TCustomComPort& port) {
  ApplyComPort1Design(port);
  port.SetBaudRate(br110);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string in = ProgramTempDir() / "in.ini", out = ProgramTempDir() / "out.ini";
  const std::string file(reinterpret_cast<const char*>(data), size);
  if (!WriteFile(in, file)) Fail("cannot write the temporary file");

  TComPort port("ComPort1");
  StartUp(port);
  const Values before = Of(port);
  port.ReadSettings(true, in);  // a closed port: nothing in here may fail
  const Values got = Of(port);
  CheckRanges(got);

  // What the file says, by the rules.
  Values want = before;
  if (auto v = Lookup(file, "Port")) want.port = *v;
  if (auto v = Lookup(file, "BaudRate")) {
    const int i = Find(BaudRateTexts(), *v);
    want.baud = i < 0 ? br9600 : static_cast<TBaudRate>(i);
  }
  if (want.baud == brCustom) {
    const auto v = Lookup(file, "CustomBaudRate");
    const auto n = v ? Number(*v) : std::nullopt;
    want.custom = n ? static_cast<int32_t>(*n) : 9600;
  }
  if (auto v = Lookup(file, "StopBits")) {
    const int i = Find(StopBitsTexts(), *v);
    want.stop = i < 0 ? sbOneStopBit : static_cast<TStopBits>(i);
  }
  if (auto v = Lookup(file, "DataBits")) {
    const int i = Find(DataBitsTexts(), *v);
    want.data = i < 0 ? dbEight : static_cast<TDataBits>(i);
  }
  if (auto v = Lookup(file, "Parity")) {
    const int i = Find(ParityTexts(), *v);
    want.parity = i < 0 ? prNone : static_cast<TParityBits>(i);
  }
  if (auto v = Lookup(file, "FlowControl")) {
    const int i = Find(FlowControlTexts(), *v);
    if (i >= 0 && i != fcCustom) want.flow = static_cast<TFlowControl>(i);
  }
  if (got.port != want.port) Fail("Port differs from the file");
  if (got.baud != want.baud) Fail("BaudRate differs from the file");
  if (got.custom != want.custom) Fail("CustomBaudRate differs from the file");
  if (got.stop != want.stop || got.data != want.data)
    Fail("StopBits or DataBits differ from the file");
  if (got.parity != want.parity) Fail("Parity differs from the file");
  if (got.flow != want.flow) Fail("FlowControl differs from the file");

  // Round trip through a copy of the file.
  if (!WriteFile(out, file)) Fail("cannot write the temporary file");
  try {
    port.WriteSettings(true, out);
  } catch (const EComPort& e) {
    // A port name that would break the line structure cannot be stored.
    if (e.ErrorNumber() != ceStoreSettings)
      Fail("WriteSettings raised another error than the store error");
    if (got.port.find_first_of("\r\n") == std::string::npos)
      Fail("WriteSettings failed on a plain file");
    return 0;
  }
  const std::string written = ReadFile(out);
  TComPort again("ComPort1");
  StartUp(again);
  again.ReadSettings(true, out);
  Values back = Of(again);
  if (got.baud != brCustom) back.custom = got.custom;  // not stored unless custom
  if (back != got) Fail("values do not survive WriteSettings and ReadSettings");
  port.WriteSettings(true, out);
  if (ReadFile(out) != written) Fail("a second WriteSettings changed the file");
  return 0;
}
