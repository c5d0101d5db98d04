// JSON as morvala-cli prints it: strings quoted and escaped, one object member a line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

std::string JsonQuoted(const std::string& text);
std::string JsonList(const std::vector<std::string>& items);

class JsonObject {
 public:
  explicit JsonObject(std::string indent = "  ") : indent_(std::move(indent)) {}
  void Text(const char* name, const std::string& value) { Raw(name, JsonQuoted(value)); }
  void Number(const char* name, int64_t value) { Raw(name, std::to_string(value)); }
  void Real(const char* name, double value, int decimals);
  void Flag(const char* name, bool value) { Raw(name, value ? "true" : "false"); }
  void Raw(const char* name, const std::string& json);
  // The object, its closing brace indented by closeIndent.
  std::string Close(const std::string& closeIndent = "") const;

 private:
  std::string indent_;
  std::vector<std::string> members_;
};

}  // namespace cli
