// Profile-file layer: parsing, in-place update and the atomic rewrite.
#include "serial/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "serial/settingspath.h"

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
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? LoadResult::kMissing : LoadResult::kFailed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<unsigned long long>(st.st_size) > ProfileFileMax) {
    ::close(fd);
    return LoadResult::kFailed;
  }
  std::string data;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return LoadResult::kFailed;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
    if (data.size() > ProfileFileMax) {
      ::close(fd);
      return LoadResult::kFailed;
    }
  }
  ::close(fd);
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

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates the folder and its missing parents (mode 0700 for new ones, as a
// configuration folder should be).
bool MakeDirectories(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = DirectoryOf(dir);
  if (parent != dir && !MakeDirectories(parent)) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// Replaces the file at path by data: temporary file beside it, fsync, rename, fsync of
// the folder. On failure the old file stays and the temporary file is removed.
bool ReplaceFile(const std::string& path, const std::string& data, mode_t mode) {
  std::string dir = DirectoryOf(path);
  std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  std::string tmpl = (dir == "/" ? "" : dir) + "/." + base + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(name.data(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(name.data());
    return false;
  }
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
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
  if (IsBareSettingsName(file) && !MakeDirectories(SettingsDirectory())) return false;
  // A settings file reached through a symbolic link stays a link: write its target.
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    path = real;
    std::free(real);
  }

  std::vector<Line> lines;
  mode_t mode = 0644;
  LoadResult loaded = Load(path, lines);
  if (loaded == LoadResult::kFailed) return false;  // never overwrite what we cannot read
  if (loaded == LoadResult::kOk) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

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
  return ReplaceFile(path, data, mode);
}
