// The order of the Windows port list: COM1, COM2, ..., COM10 by number.
#include <algorithm>
#include <cctype>

#include "serial/portlist.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(const std::string& s) {
  std::string f(s);
  for (char& c : f) c = Lower(c);
  return f;
}

// The number of a COMn name, or -1 for any other name.
long ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 9 || Folded(name.substr(0, 3)) != "com") return -1;
  for (size_t i = 3; i < name.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
  return std::stol(name.substr(3));
}

}  // namespace

void SortPortNames(std::vector<std::string>& names) {
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const long x = ComNumber(a), y = ComNumber(b);
    if ((x >= 0) != (y >= 0)) return x >= 0;  // COMn names first
    if (x >= 0 && x != y) return x < y;
    return Folded(a) < Folded(b);
  });
  names.erase(std::unique(names.begin(), names.end(),
                          [](const std::string& a, const std::string& b) {
                            return Folded(a) == Folded(b);
                          }),
              names.end());
}
