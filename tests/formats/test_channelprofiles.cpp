// Channel profiles in the settings folder: a round trip, and a damaged file put aside with
// a German message and the raw view kept.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "formats/channelprofiles.h"
#include "formats/fileerror.h"
#include "formats/filenames.h"

using namespace analysis;

namespace {
struct ConfigHome {
  ConfigHome() {
    char t[] = "/tmp/morvala-profiles-XXXXXX";
    dir = ::mkdtemp(t);
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  ~ConfigHome() {
    ::unsetenv("XDG_CONFIG_HOME");
    std::system(("rm -rf '" + dir + "'").c_str());
  }
  std::string dir;
};

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

TEST(ChannelProfiles, RoundTripThroughTheSettingsFolder) {
  ConfigHome home;
  ChannelProfile p;
  p.serial = "012";
  p.altitude = AltitudeMethod::Pressure;
  p.channels[kAdc16] = {"Druck", "hPa", 2, true, {0.0123456789, 512.5}};
  p.channels[kTempExt] = {"Außen", "°C", 1, true, {-0.5, 60}};
  p.channels[kRc2] = {"Gas", "", 0, false, {1, 0}};
  SaveChannelProfile(p);
  const std::string path = home.dir + "/morvala/kanaele-012.ini";
  EXPECT_EQ(ProfileFilePath("012"), path);
  EXPECT_NE(Read(path).find("[Kanal 1]\r\nName=Druck\r\nEinheit=hPa\r\n"), std::string::npos);
  const LoadedProfile back = LoadChannelProfile("012");
  EXPECT_EQ(back.problem, "");
  EXPECT_EQ(back.profile.altitude, AltitudeMethod::Pressure);
  for (int c = 0; c < kColumnCount; ++c) {
    const ChannelSetting &want = p.channels[c], &got = back.profile.channels[c];
    EXPECT_EQ(got.name, want.name) << c;
    EXPECT_EQ(got.unit, want.unit) << c;
    EXPECT_EQ(got.decimals, want.decimals) << c;
    EXPECT_EQ(got.calibrated, want.calibrated) << c;
    EXPECT_EQ(got.linear.factor, want.linear.factor) << c;  // exact: shortest round trip
    EXPECT_EQ(got.linear.offset, want.linear.offset) << c;
  }
  // A logger without a serial number has its own file; a missing file is the raw profile.
  EXPECT_EQ(ProfileFileName(""), "kanaele-ohne-seriennummer.ini");
  const LoadedProfile none = LoadChannelProfile("");
  EXPECT_EQ(none.problem, "");
  EXPECT_FALSE(none.profile.channels[kAdc16].calibrated);
  EXPECT_EQ(none.profile.altitude, AltitudeMethod::None);
}

TEST(ChannelProfiles, ADamagedFileIsPutAsideAndTheChannelsStayRaw) {
  ConfigHome home;
  ChannelProfile p;
  p.serial = "034";
  p.channels[kAdc2] = {"Strom", "A", 1, true, {0.1, 0}};
  SaveChannelProfile(p);
  const std::string path = ProfileFilePath("034");
  std::string text = Read(path);
  text.replace(text.find("Faktor=0.1"), 10, "Faktor=0,1");  // a decimal comma
  std::ofstream(path, std::ios::binary) << text;
  const LoadedProfile damaged = LoadChannelProfile("034");
  EXPECT_EQ(damaged.problem,
            "Das Kanalprofil „kanaele-034.ini“ ist beschädigt (Kanal 4, Faktor: „0,1“ ist keine "
            "Zahl).\rEs wurde als „kanaele-034.ini.defekt“ beiseitegelegt. Die Kanäle werden "
            "roh gezeigt.");
  EXPECT_FALSE(damaged.profile.channels[kAdc2].calibrated);
  EXPECT_EQ(damaged.profile.serial, "034");
  EXPECT_FALSE(PathExists(path));
  EXPECT_EQ(Read(path + ".defekt"), text);  // kept as it was
  // Afterwards the logger starts afresh without a complaint.
  EXPECT_EQ(LoadChannelProfile("034").problem, "");
  // A file of another kind, and a factor of 0 on a calibrated channel, are damaged too.
  std::ofstream(path, std::ios::binary) << "[ComPort1]\r\nPort=COM2\r\n";
  EXPECT_NE(LoadChannelProfile("034").problem.find("Format=1 fehlt"), std::string::npos);
  p.channels[kAdc2].linear.factor = 0;
  SaveChannelProfile(p);
  EXPECT_NE(LoadChannelProfile("034").problem.find("Kanal 4: der Faktor ist 0"), std::string::npos);
}
