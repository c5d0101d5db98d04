#include "formats/channelprofiles.h"

#include <algorithm>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "formats/atomicfile.h"
#include "formats/filenames.h"
#include "formats/profile.h"
#include "formats/settingsfile_io.h"
#include "formats/settingspath.h"

namespace analysis {

namespace {

constexpr const char* kHead = "Kanalprofil";

const char* MethodName(AltitudeMethod m) {
  switch (m) {
    case AltitudeMethod::Pressure: return "Druck";
    case AltitudeMethod::Metres: return "Meter";
    case AltitudeMethod::None: break;
  }
  return "keine";
}

std::string Number(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string Section(int column) { return "Kanal " + std::to_string(column + 1); }

// A reading that does not fit: the reason, in German.
struct Damage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

double ParseNumber(const std::string& text, const std::string& where) {
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
      !std::isfinite(v))
    throw Damage(where + ": „" + text + "“ ist keine Zahl");
  return v;
}

ChannelProfile Parse(const std::string& path, const std::string& serial) {
  auto get = [&](const std::string& section, const char* key) {
    return GetProfileString(section, key, "", path);
  };
  if (get(kHead, "Format") != "1") throw Damage("der Abschnitt [Kanalprofil] mit Format=1 fehlt");
  ChannelProfile p;
  p.serial = serial;
  const std::string method = get(kHead, "Hoehenverfahren");
  if (method == "Druck")
    p.altitude = AltitudeMethod::Pressure;
  else if (method == "Meter")
    p.altitude = AltitudeMethod::Metres;
  else if (method != "keine" && !method.empty())
    throw Damage("Höhenverfahren „" + method + "“ ist unbekannt");
  for (int c = 0; c < kColumnCount; ++c) {
    ChannelSetting& s = p.channels[static_cast<size_t>(c)];
    const std::string sec = Section(c);
    s.name = get(sec, "Name");
    s.unit = get(sec, "Einheit");
    const std::string cal = get(sec, "Kalibriert");
    if (cal.empty() && s.name.empty() && s.unit.empty()) continue;  // a channel left raw
    if (cal != "0" && cal != "1")
      throw Damage(sec + ": Kalibriert „" + cal + "“ ist weder 0 noch 1");
    s.calibrated = cal == "1";
    const double decimals = ParseNumber(get(sec, "Nachkommastellen"), sec + ", Nachkommastellen");
    if (decimals < 0 || decimals > 6 || decimals != std::floor(decimals))
      throw Damage(sec + ": Nachkommastellen müssen 0 bis 6 sein");
    s.decimals = static_cast<int>(decimals);
    s.linear.factor = ParseNumber(get(sec, "Faktor"), sec + ", Faktor");
    s.linear.offset = ParseNumber(get(sec, "Offset"), sec + ", Offset");
    if (s.calibrated && s.linear.factor == 0) throw Damage(sec + ": der Faktor ist 0");
  }
  return p;
}

// The folder and its parents, as the settings file's first write makes them.
void MakeFolders(const std::string& dir) {
  if (!dir.empty()) MakeSettingsFolders(dir);
}

}  // namespace

std::string ProfileFileName(const std::string& serial) {
  return "kanaele-" + (serial.empty() ? std::string("ohne-seriennummer") : serial) + ".ini";
}

std::string ProfileFilePath(const std::string& serial) {
  return SettingsFilePath(ProfileFileName(serial));
}

std::string ProfileText(const ChannelProfile& p) {
  std::string out = std::string("[") + kHead + "]\r\nFormat=1\r\nLogger=" + ProfileTitle(p) +
                    "\r\nHoehenverfahren=" + MethodName(p.altitude) + "\r\n";
  for (int c = 0; c < kColumnCount; ++c) {
    const ChannelSetting& s = p.channels[static_cast<size_t>(c)];
    out += "\r\n[" + Section(c) + "]\r\nName=" + s.name + "\r\nEinheit=" + s.unit +
           "\r\nNachkommastellen=" + std::to_string(s.decimals) +
           "\r\nKalibriert=" + (s.calibrated ? "1" : "0") +
           "\r\nFaktor=" + Number(s.linear.factor) + "\r\nOffset=" + Number(s.linear.offset) +
           "\r\n";
  }
  return out;
}

LoadedProfile LoadChannelProfile(const std::string& serial) {
  LoadedProfile out;
  out.profile.serial = serial;
  const std::string path = ProfileFilePath(serial);
  if (!PathExists(path)) return out;
  try {
    out.profile = Parse(path, serial);
  } catch (const Damage& d) {
    const std::string aside = path + ".defekt";
    const bool moved = std::rename(path.c_str(), aside.c_str()) == 0;
    out.problem = "Das Kanalprofil „" + ProfileFileName(serial) + "“ ist beschädigt (" + d.what() +
                  ").\r" +
                  (moved ? "Es wurde als „" + ProfileFileName(serial) + ".defekt“ beiseitegelegt. "
                         : std::string()) +
                  "Die Kanäle werden roh gezeigt.";
  }
  return out;
}

std::vector<std::string> SavedProfileSerials() {
  std::vector<std::string> out;
  std::error_code ec;
  const std::string folder = SettingsDirectory();  // UTF-8
  std::filesystem::directory_iterator dir(
      std::filesystem::path(std::u8string(folder.begin(), folder.end())), ec);
  if (ec) return out;
  const std::string head = "kanaele-", tail = ".ini";
  for (const auto& e : dir) {
    const std::u8string utf8 = e.path().filename().u8string();
    const std::string name(utf8.begin(), utf8.end());
    if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
      continue;
    const std::string key = name.substr(head.size(), name.size() - head.size() - tail.size());
    out.push_back(key == "ohne-seriennummer" ? "" : key);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void SaveChannelProfile(const ChannelProfile& p) {
  const std::string path = ProfileFilePath(p.serial);
  MakeFolders(SettingsDirectory());
  AtomicFile::WriteWhole(path, ProfileText(p));
}

}  // namespace analysis
