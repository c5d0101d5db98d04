#include "formats/rawdumpfile.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>

#include "formats/atomicfile.h"
#include "formats/fileerror.h"

namespace {

constexpr const char* kMagic = "MORVALA-ROHDATEN 1\n";
// Far above any EEPROM the logger can have (its size byte gives at most 255 × 32 KiB).
constexpr long long kMaxBytes = 16 * 1024 * 1024;

// Reads "name=<digits>\n" at pos; false when the line is not that.
bool ReadField(const std::string& text, size_t& pos, const std::string& name, long long& value) {
  if (text.compare(pos, name.size() + 1, name + "=") != 0) return false;
  pos += name.size() + 1;
  const size_t end = text.find('\n', pos);
  if (end == std::string::npos || end == pos) return false;
  const auto [p, ec] = std::from_chars(text.data() + pos, text.data() + end, value);
  if (ec != std::errc() || p != text.data() + end || value < 0) return false;
  pos = end + 1;
  return true;
}

}  // namespace

std::string RawDumpText(const RawDump& dump) {
  std::string text = kMagic;
  text += "eepromKByte=" + std::to_string(dump.eepromKByte) + "\n";
  text += "bytes=" + std::to_string(dump.bytes.size()) + "\n\n";
  text.append(dump.bytes.begin(), dump.bytes.end());
  return text;
}

RawDump ParseRawDump(const std::string& text) {
  const std::string magic = kMagic;
  if (text.compare(0, magic.size(), magic) != 0)
    throw RawDumpFormatError("keine Rohdaten-Datei von Morvala (erste Zeile passt nicht)");
  size_t pos = magic.size();
  long long kByte = 0, count = 0;
  if (!ReadField(text, pos, "eepromKByte", kByte) || kByte == 0 || kByte > 255 * 32)
    throw RawDumpFormatError("Zeile 2: EEPROM-Größe fehlt oder ist ungültig");
  if (!ReadField(text, pos, "bytes", count) || count > kMaxBytes)
    throw RawDumpFormatError("Zeile 3: Anzahl der Bytes fehlt oder ist ungültig");
  if (text.compare(pos, 1, "\n") != 0) throw RawDumpFormatError("Zeile 4 muss leer sein");
  ++pos;
  if (text.size() - pos != static_cast<size_t>(count))
    throw RawDumpFormatError("die Datei hält " + std::to_string(text.size() - pos) + " statt " +
                             std::to_string(count) + " Bytes");
  RawDump dump;
  dump.eepromKByte = static_cast<int32_t>(kByte);
  dump.bytes.assign(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end());
  return dump;
}

void WriteRawDumpFile(const std::string& path, const RawDump& dump) {
  AtomicFile::WriteWhole(path, RawDumpText(dump));
}

RawDump ReadRawDumpFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) throw EInOutError(errno, FileOp::Read);
  if (!S_ISREG(st.st_mode)) throw EInOutError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, FileOp::Read);
  if (st.st_size > kMaxBytes + 4096) throw RawDumpFormatError("die Datei ist zu groß");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EInOutError(errno ? errno : EACCES, FileOp::Read);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseRawDump(text);
}
