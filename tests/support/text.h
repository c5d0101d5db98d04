// Texts cut into pieces: a file's lines, a box's lines, a CSV line's values.
#pragma once

#include <string>
#include <vector>

// Every piece between the separators, the empty ones too: "a\r\n" cut at "\r\n" gives
// "a" and "".
inline std::vector<std::string> Split(const std::string& text, const std::string& sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t p = text.find(sep, start);
    if (p == std::string::npos) {
      out.push_back(text.substr(start));
      return out;
    }
    out.push_back(text.substr(start, p - start));
    start = p + sep.size();
  }
}

// The lines of a text whose lines end in CR LF, as the CSV files are written: nothing
// after the last line end counts as a line.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out = Split(text, "\r\n");
  if (out.back().empty()) out.pop_back();
  return out;
}
