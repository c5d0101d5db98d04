#include "cli/jsontext.h"

#include <cstdio>

namespace cli {

std::string JsonQuoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + JsonQuoted(items[i]);
  return out + "]";
}

void JsonObject::Real(const char* name, double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  Raw(name, buf);
}

void JsonObject::Raw(const char* name, const std::string& json) {
  members_.push_back(indent_ + JsonQuoted(name) + ": " + json);
}

std::string JsonObject::Close(const std::string& closeIndent) const {
  std::string out = "{\n";
  for (size_t i = 0; i < members_.size(); ++i)
    out += members_[i] + (i + 1 < members_.size() ? ",\n" : "\n");
  return out + closeIndent + "}";
}

}  // namespace cli
