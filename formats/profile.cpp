// Profile-file layer: parsing and in-place update; the disk access is settingsfile_io.h.
#include "formats/profile.h"

#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "formats/settingsfile_io.h"
#include "formats/settingspath.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// One line of the file, as read (without its line end), with what it is.
struct Line {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string text;
  std::string_view name;   // section or key name (into text)
  std::string_view value;  // key value (into text)
};

void Classify(Line& line) {
  std::string_view t = Trim(line.text);
  line.kind = Line::kOther;
  if (t.empty() || t.front() == ';' || t.front() == '#') return;
  if (t.front() == '[') {
    size_t close = t.find(']');
    if (close == std::string_view::npos) return;
    line.kind = Line::kSection;
    line.name = Trim(t.substr(1, close - 1));
    return;
  }
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return;
  line.kind = Line::kKey;
  line.name = Trim(t.substr(0, eq));
  line.value = Trim(t.substr(eq + 1));
}

enum class LoadResult { kOk, kMissing, kFailed };

// Reads the file into lines. A missing file gives no lines and kMissing; a file that
// cannot be read (no permission, a directory, too large) gives kFailed.
LoadResult Load(const std::string& path, std::vector<Line>& lines) {
  lines.clear();
  std::string data;
  switch (LoadSettingsFile(path, ProfileFileMax, data)) {
    case SettingsLoad::kMissing: return LoadResult::kMissing;
    case SettingsLoad::kFailed: return LoadResult::kFailed;
    case SettingsLoad::kOk: break;
  }
  // A byte-order mark written by some editor is not part of the first line.
  if (data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    Line line;
    line.text = data.substr(start, end - start);
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  // Views point into each line's own text; classify only once the vector stands still.
  for (Line& line : lines) Classify(line);
  return LoadResult::kOk;
}

}  // namespace

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, const std::string& file) {
  std::string result = def;
  std::vector<Line> lines;
  if (!key.empty() && Load(SettingsFilePath(file), lines) == LoadResult::kOk) {
    bool inSection = false, seenSection = false;
    for (const Line& line : lines) {
      if (line.kind == Line::kSection) {
        if (seenSection && inSection) break;  // only the first matching section counts
        inSection = SameName(line.name, Trim(section));
        seenSection = seenSection || inSection;
      } else if (inSection && line.kind == Line::kKey && SameName(line.name, Trim(key))) {
        result.assign(line.value);
        break;
      }
    }
  }
  if (result.size() > ProfileValueMax) result.resize(ProfileValueMax);
  return result;
}

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file) {
  std::string_view sec = Trim(section), k = Trim(key), v = Trim(value);
  if (HasLineBreak(sec) || sec.find(']') != std::string_view::npos) return false;
  if (k.empty() || HasLineBreak(k) || k.find('=') != std::string_view::npos) return false;
  if (k.front() == ';' || k.front() == '#' || k.front() == '[') return false;
  if (HasLineBreak(v)) return false;

  std::string path = SettingsFilePath(file);
  if (IsBareSettingsName(file) && !MakeSettingsFolders(SettingsDirectory())) return false;

  std::vector<Line> lines;
  LoadResult loaded = Load(path, lines);
  if (loaded == LoadResult::kFailed) return false;  // never overwrite what we cannot read

  std::string newLine = std::string(k) + "=" + std::string(v);
  // Find the section (first match), the key in it, and the section's last non-blank line.
  long sectionAt = -1, keyAt = -1, lastContent = -1;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (line.kind == Line::kSection) {
      if (sectionAt >= 0) break;
      if (SameName(line.name, sec)) sectionAt = lastContent = static_cast<long>(i);
      continue;
    }
    if (sectionAt < 0) continue;
    if (!Trim(line.text).empty()) lastContent = static_cast<long>(i);
    if (line.kind == Line::kKey && SameName(line.name, k)) {
      keyAt = static_cast<long>(i);
      break;
    }
  }

  std::vector<std::string> out;
  out.reserve(lines.size() + 3);
  for (Line& line : lines) out.push_back(std::move(line.text));
  if (keyAt >= 0) {
    out[static_cast<size_t>(keyAt)] = newLine;
  } else if (sectionAt >= 0) {
    out.insert(out.begin() + lastContent + 1, newLine);
  } else {
    if (!out.empty() && !Trim(out.back()).empty()) out.emplace_back();
    out.push_back("[" + std::string(sec) + "]");
    out.push_back(newLine);
  }

  std::string data;
  for (const std::string& line : out) {
    data += line;
    data += "\r\n";
  }
  if (data.size() > ProfileFileMax) return false;
  return ReplaceSettingsFile(path, data);
}
