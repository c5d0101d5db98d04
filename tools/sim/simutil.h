// Small text helpers of the simulated logger (internal).
#pragma once

#include <map>
#include <string>

namespace loggersim {

std::string Trim(const std::string& s);
// Decimal, or hexadecimal with "0x"; the whole text must be the number.
bool ParseNumber(const std::string& s, long& value);

}  // namespace loggersim

#include <cstdint>
#include <vector>

namespace loggersim {

// One Intel HEX record, as text ":LLAAAATT<data>CC".
struct HexRecord {
  uint8_t type = 0;
  uint16_t address = 0;
  std::vector<uint8_t> data;
};
// Checks syntax, length and checksum. The text must be exactly one record.
bool ParseHexRecord(const std::string& text, HexRecord& record, std::string* error = nullptr);
std::string FormatHexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data);

// Applies one record to an image; *base is the current upper address
// (extended segment or linear). Returns false for unknown record types.
bool ApplyHexRecord(const HexRecord& record, uint32_t& base, std::map<uint32_t, uint8_t>& image);

}  // namespace loggersim
