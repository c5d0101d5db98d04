// The file of a raw dump (morvala-cli download --dump, log dump, the simulator's
// --replay): a short text head, then the bytes as the download consumed them.
//
//   MORVALA-ROHDATEN 1\n
//   eepromKByte=64\n
//   bytes=1234\n
//   \n
//   <exactly that many bytes>
#pragma once

#include <stdexcept>
#include <string>

#include "model/rawdump.h"

// A file that is not such a dump; the text says what is wrong, in German.
class RawDumpFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string RawDumpText(const RawDump& dump);
// Throws RawDumpFormatError for a text that is not a dump.
RawDump ParseRawDump(const std::string& text);

// Written all-or-nothing; EInOutError on failure.
void WriteRawDumpFile(const std::string& path, const RawDump& dump);
// EInOutError when the file cannot be read, RawDumpFormatError when it is no dump.
RawDump ReadRawDumpFile(const std::string& path);
