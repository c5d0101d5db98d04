// The profile-file layer and where a bare settings file name lies.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "formats/profile.h"
#include "formats/settingspath.h"
#include <filesystem>

#include "tests/support/files.h"
#include "tests/support/pty.h"

namespace {

size_t FilesIn(const std::string& dir) {
  size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    (void)e;
    ++n;
  }
  return n;
}

}  // namespace

TEST(Profile, ReadingMissingFileSectionsKeysAndMatching) {
  TempDir dir;
  std::string f = dir / "a.ini";
  EXPECT_EQ(GetProfileString("ComPort1", "Port", "COM7", f), "COM7");

  WriteFile(f,
            "; comment=not a key\n"
            "Loose=before any section\n"
            "[comport1]\n"
            "  PORT  =   /dev/ttyUSB0  \t\n"
            "Empty=\n"
            "NoEquals line\n"
            "[Other]\r\n"
            "Port=COM9\r\n"
            "[ComPort1]\n"
            "Port=second section is ignored\n"
            "Extra=from the second\n");
  EXPECT_EQ(GetProfileString("ComPort1", "Port", "x", f), "/dev/ttyUSB0");
  EXPECT_EQ(GetProfileString("COMPORT1", "port", "x", f), "/dev/ttyUSB0");
  EXPECT_EQ(GetProfileString("ComPort1", "Empty", "x", f), "");
  EXPECT_EQ(GetProfileString("ComPort1", "Missing", "dflt", f), "dflt");
  EXPECT_EQ(GetProfileString("other", "PORT", "x", f), "COM9");  // CR LF lines
  EXPECT_EQ(GetProfileString("ComPort1", "Extra", "x", f), "x");
  EXPECT_EQ(GetProfileString("", "Loose", "x", f), "x");
  EXPECT_EQ(GetProfileString("ComPort1", "; comment", "x", f), "x");
  EXPECT_EQ(GetProfileString("Nowhere", "Port", "d", f), "d");

  // Long values are cut on reading.
  std::string longValue(5000, 'v');
  WriteFile(f, "[S]\r\nK=" + longValue + "\r\n");
  EXPECT_EQ(GetProfileString("S", "K", "", f), std::string(ProfileValueMax, 'v'));
  EXPECT_EQ(GetProfileString("S", "None", longValue, f).size(), ProfileValueMax);
}

TEST(Profile, WritingKeepsEveryOtherLineAndUsesCrLf) {
  TempDir dir;
  std::string f = dir / "b.ini";
  ASSERT_TRUE(WriteProfileString("ComPort1", "Port", "COM2", f));
  EXPECT_EQ(ReadFile(f), "[ComPort1]\r\nPort=COM2\r\n");

  WriteFile(f,
            "; settings of the logger\n"
            "[ComPort1]\n"
            "port = COM2\n"
            "# inner comment\n"
            "StopBits=2\n"
            "\n"
            "[Window]\n"
            "Left=10\n");
  ASSERT_TRUE(WriteProfileString("comport1", "PORT", "/dev/ttyUSB1", f));
  ASSERT_TRUE(WriteProfileString("ComPort1", "DataBits", "  8 ", f));
  ASSERT_TRUE(WriteProfileString("Window", "Top", "20", f));
  ASSERT_TRUE(WriteProfileString("New", "Key", "v", f));
  EXPECT_EQ(ReadFile(f),
            "; settings of the logger\r\n"
            "[ComPort1]\r\n"
            "PORT=/dev/ttyUSB1\r\n"
            "# inner comment\r\n"
            "StopBits=2\r\n"
            "DataBits=8\r\n"
            "\r\n"
            "[Window]\r\n"
            "Left=10\r\n"
            "Top=20\r\n"
            "\r\n"
            "[New]\r\n"
            "Key=v\r\n");
  // A second write of the same key replaces, it does not add.
  ASSERT_TRUE(WriteProfileString("New", "key", "w", f));
  EXPECT_EQ(GetProfileString("New", "Key", "", f), "w");
  EXPECT_EQ(ReadFile(f).find("Key=v"), std::string::npos);
}

TEST(Profile, RefusesWritesThatWouldBreakTheFile) {
  TempDir dir;
  std::string f = dir / "c.ini";
  WriteFile(f, "[S]\r\nK=1\r\n");
  EXPECT_FALSE(WriteProfileString("S", "K", "two\r\nlines", f));
  EXPECT_FALSE(WriteProfileString("S", "A=B", "1", f));
  EXPECT_FALSE(WriteProfileString("S", "", "1", f));
  EXPECT_FALSE(WriteProfileString("S]x", "K", "1", f));
  EXPECT_FALSE(WriteProfileString("S", "K", "1", dir.Path()));  // a folder, not a file
  EXPECT_EQ(ReadFile(f), "[S]\r\nK=1\r\n");
}

TEST(Profile, FailedWriteLeavesTheOldFile) {
  TempDir dir;
  std::string f = dir / "d.ini";
  std::string old = "[ComPort1]\r\nPort=COM2\r\nBaudRate=38400\r\n";
  WriteFile(f, old);

  // A full disk: the file size limit stops the temporary file half-way.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct sigaction ignore {
  }, before{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &before);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool wrote = WriteProfileString("ComPort1", "Port", "/dev/ttyUSB0", f);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &before, nullptr);
  EXPECT_FALSE(wrote);
  EXPECT_EQ(ReadFile(f), old);
  EXPECT_EQ(FilesIn(dir.Path()), 1u) << "temporary file left behind";

  // A folder the user may not write to (root writes anyway, so only as a user).
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    EXPECT_FALSE(WriteProfileString("ComPort1", "Port", "COM3", f));
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(ReadFile(f), old);
  }

  // The rewrite keeps the file's mode and a link stays a link.
  ASSERT_EQ(::chmod(f.c_str(), 0600), 0);
  std::string link = dir / "link.ini";
  ASSERT_EQ(::symlink(f.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WriteProfileString("ComPort1", "Port", "COM4", link));
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(GetProfileString("ComPort1", "Port", "", f), "COM4");
}

TEST(SettingsPath, BareNamesLieInTheConfigurationFolder) {
  TempDir dir;
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir / "xdg").c_str());
    EXPECT_EQ(SettingsFilePath("logger3.ini"), dir / "xdg/morvala/logger3.ini");
    EXPECT_EQ(GetProfileString("ComPort1", "Port", "none", "logger3.ini"), "none");
    EXPECT_FALSE(std::filesystem::exists(dir / "xdg")) << "reading must not create the folder";
    ASSERT_TRUE(WriteProfileString("ComPort1", "Port", "COM2", "logger3.ini"));
    EXPECT_EQ(ReadFile(dir / "xdg/morvala/logger3.ini"), "[ComPort1]\r\nPort=COM2\r\n");
    EXPECT_EQ(GetProfileString("ComPort1", "Port", "", "logger3.ini"), "COM2");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", dir.Path().c_str());
    EXPECT_EQ(SettingsFilePath("logger3.ini"), dir / ".config/morvala/logger3.ini");
    ASSERT_TRUE(WriteProfileString("S", "K", "V", "logger3.ini"));
    EXPECT_TRUE(std::filesystem::exists(dir / ".config/morvala/logger3.ini"));
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", dir.Path().c_str());
    EXPECT_EQ(SettingsDirectory(), dir / ".config/morvala");
  }
  // A name with a directory stands as it is, relative ones too.
  EXPECT_EQ(SettingsFilePath(dir / "here.ini"), dir / "here.ini");
  EXPECT_EQ(SettingsFilePath("./logger3.ini"), "./logger3.ini");
}

TEST(SettingsPath, DataFolderFollowsXdgDataHome) {
  TempDir dir;
  ScopedEnv home("HOME", dir.Path().c_str());
  {
    ScopedEnv xdg("XDG_DATA_HOME", (dir / "data/").c_str());
    EXPECT_EQ(DataDirectory(), dir / "data/morvala");
  }
  for (const char* unusable : {"", "relative/data", static_cast<const char*>(nullptr)}) {
    ScopedEnv xdg("XDG_DATA_HOME", unusable);
    EXPECT_EQ(DataDirectory(), dir / ".local/share/morvala");
  }
}
