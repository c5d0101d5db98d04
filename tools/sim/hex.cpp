// Intel HEX records: checking, applying, writing, and the sample firmware.
#include <cstdio>
#include <fstream>

#include "tools/sim/loggersim.h"
#include "tools/sim/simutil.h"

namespace loggersim {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

bool ParseNumber(const std::string& s, long& value) {
  if (s.empty()) return false;
  int base = 10;
  size_t i = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16, i = 2;
  long v = 0;
  for (; i < s.size(); ++i) {
    int d;
    char c = s[i];
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFL) return false;
  }
  value = v;
  return true;
}

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseHexRecord(const std::string& text, HexRecord& record, std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = what;
    return false;
  };
  if (text.size() < 11 || text[0] != ':') return fail("too short or no colon");
  if ((text.size() - 1) % 2 != 0) return fail("odd number of digits");
  std::vector<uint8_t> bytes;
  for (size_t i = 1; i + 1 < text.size(); i += 2) {
    int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return fail("not a hex digit");
    bytes.push_back(uint8_t(hi * 16 + lo));
  }
  if (bytes.size() != size_t(bytes[0]) + 5) return fail("length does not match");
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = uint8_t(sum + b);
  if (sum != 0) return fail("bad checksum");
  record.address = uint16_t(bytes[1] << 8 | bytes[2]);
  record.type = bytes[3];
  record.data.assign(bytes.begin() + 4, bytes.end() - 1);
  return true;
}

std::string FormatHexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  std::string s = ":";
  uint8_t sum = 0;
  auto put = [&](uint8_t b) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", b);
    s += buf;
    sum = uint8_t(sum + b);
  };
  put(uint8_t(data.size()));
  put(uint8_t(address >> 8));
  put(uint8_t(address & 0xFF));
  put(type);
  for (uint8_t b : data) put(b);
  put(uint8_t(0x100 - sum));
  return s;
}

bool ApplyHexRecord(const HexRecord& r, uint32_t& base, std::map<uint32_t, uint8_t>& image) {
  switch (r.type) {
    case 0x00:
      for (size_t i = 0; i < r.data.size(); ++i)
        image[base + ((r.address + i) & 0xFFFF)] = r.data[i];
      return true;
    case 0x01: return true;
    case 0x02:
      if (r.data.size() != 2) return false;
      base = uint32_t(r.data[0] << 8 | r.data[1]) << 4;
      return true;
    case 0x04:
      if (r.data.size() != 2) return false;
      base = uint32_t(r.data[0] << 8 | r.data[1]) << 16;
      return true;
    case 0x03:
    case 0x05: return r.data.size() == 4;
    default: return false;
  }
}

bool ParseHexFile(const std::string& path, HexImage& image, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  image.clear();
  uint32_t base = 0;
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    line = Trim(line);
    if (line.empty()) continue;
    HexRecord r;
    std::string why;
    if (!ParseHexRecord(line, r, &why) || !ApplyHexRecord(r, base, image)) {
      if (error)
        *error = "line " + std::to_string(n) + ": " + (why.empty() ? "bad record type" : why);
      return false;
    }
    if (r.type == 0x01) return true;
  }
  if (error) *error = "no end record";
  return false;
}

bool WriteHexFile(const HexImage& image, const std::string& path, bool crlf) {
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  const char* eol = crlf ? "\r\n" : "\n";
  uint32_t upper = 0;
  auto it = image.begin();
  while (it != image.end()) {
    uint32_t start = it->first;
    if ((start >> 16) != upper) {
      upper = start >> 16;
      out << FormatHexRecord(0x04, 0, {uint8_t(upper >> 8), uint8_t(upper)}) << eol;
    }
    std::vector<uint8_t> data;
    uint32_t addr = start;
    // Records of up to 16 contiguous bytes, not crossing a 16-byte line.
    while (it != image.end() && it->first == addr && data.size() < 16 &&
           (addr == start || addr % 16 != 0)) {
      data.push_back(it->second);
      ++addr;
      ++it;
    }
    out << FormatHexRecord(0x00, uint16_t(start & 0xFFFF), data) << eol;
  }
  out << FormatHexRecord(0x01, 0, {}) << eol;
  return bool(out);
}

HexImage SampleFirmwareImage() {
  // Program words of a PIC16F876 (14 bits), stored low byte first at byte
  // address 2 * word address.
  std::vector<uint16_t> words;
  auto w = [&](uint16_t v) { words.push_back(uint16_t(v & 0x3FFF)); };
  w(0x3000);  // 0000 movlw 0
  w(0x008A);  // 0001 movwf PCLATH
  w(0x2805);  // 0002 goto 5
  w(0x0000);  // 0003 nop
  w(0x0009);  // 0004 retfie
  uint32_t state = 0x5EED;
  auto rnd = [&](uint32_t n) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % n;
  };
  const uint16_t codeEnd = 0x180;
  while (words.size() < codeEnd) {
    uint16_t f = uint16_t(0x20 + rnd(0x50));  // general purpose registers
    uint16_t b = uint16_t(rnd(8));
    switch (rnd(12)) {
      case 0: w(uint16_t(0x3000 | rnd(256))); break;                // movlw
      case 1: w(uint16_t(0x0080 | f)); break;                       // movwf
      case 2: w(uint16_t(0x0800 | f)); break;                       // movf f,w
      case 3: w(uint16_t(0x1400 | b << 7 | f)); break;              // bsf
      case 4: w(uint16_t(0x1000 | b << 7 | f)); break;              // bcf
      case 5: w(uint16_t(0x1C00 | b << 7 | f)); break;              // btfss
      case 6: w(uint16_t(0x1800 | b << 7 | f)); break;              // btfsc
      case 7: w(uint16_t(0x2800 | (5 + rnd(codeEnd - 5)))); break;  // goto
      case 8: w(uint16_t(0x2000 | (0x180 + 4 * rnd(16)))); break;   // call table
      case 9: w(uint16_t(0x0180 | f)); break;                       // clrf
      case 10: w(uint16_t(0x0A80 | f)); break;                      // incf f,f
      default: w(uint16_t(0x0B80 | f)); break;                      // decfsz f,f
    }
  }
  while (words.size() < 0x1C0) w(uint16_t(0x3400 | rnd(256)));  // retlw table
  HexImage image;
  for (size_t i = 0; i < words.size(); ++i) {
    image[uint32_t(2 * i)] = uint8_t(words[i] & 0xFF);
    image[uint32_t(2 * i + 1)] = uint8_t(words[i] >> 8);
  }
  // Configuration word 0x2007: HS oscillator, watchdog off, power-up timer on.
  image[0x400E] = 0x72;
  image[0x400F] = 0x3F;
  return image;
}

}  // namespace loggersim
