// The Windows files: the settings file in %APPDATA%\Morvala, the data folder, UTF-8 paths
// that reach the system as UTF-16, the all-or-nothing file while another program holds
// the target open, the German texts of Win32 file errors, and the port list's order.
#include <windows.h>
// The settings layer's own functions, not the Windows profile calls of the same names.
#undef GetProfileString
#undef WriteProfileString

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/atomicfile.h"
#include "formats/fileerror.h"
#include "formats/hexfile.h"
#include "serial/comport.h"
#include "serial/portlist.h"
#include "formats/profile.h"
#include "formats/settingspath.h"
#include "tests/support/files.h"
#include "formats/win32_text.h"

namespace {

// The names in a folder.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(Widen(folder))))
    names.push_back(e.path().filename().string());
  return names;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EInOutError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(SettingsOnWindows, BareNameLivesInAppDataMorvala) {
  TempDir appData;
  ASSERT_TRUE(appData.Ok());
  ScopedEnv env("APPDATA", appData.Path().c_str());
  EXPECT_EQ(SettingsFilePath("logger3.ini"), appData.Path() + "\\Morvala\\logger3.ini");
  EXPECT_EQ(SettingsFilePath("C:\\elsewhere\\logger3.ini"), "C:\\elsewhere\\logger3.ini");
  EXPECT_EQ(SettingsFilePath("sub/logger3.ini"), "sub/logger3.ini");

  TComPort port;
  ApplyComPort1Design(port);
  port.WriteSettings(true, "logger3.ini");  // creates the folder
  EXPECT_EQ(ReadFile(appData.Path() + "\\Morvala\\logger3.ini"),
            "[ComPort1]\r\nPort=COM2\r\nBaudRate=38400\r\nStopBits=2\r\nDataBits=8\r\n"
            "Parity=None\r\nFlowControl=None\r\n");

  TComPort back;
  back.SetBaudRate(br110);
  back.ReadSettings(true, "logger3.ini");
  EXPECT_EQ(back.Port(), "COM2");
  EXPECT_EQ(back.BaudRate(), br38400);
  EXPECT_EQ(back.StopBits(), sbTwoStopBits);
}

TEST(SettingsOnWindows, DataFolderIsInLocalAppData) {
  TempDir local;
  ScopedEnv env("LOCALAPPDATA", local.Path().c_str());
  EXPECT_EQ(DataDirectory(), local.Path() + "\\Morvala");
}

TEST(SettingsOnWindows, Utf8FolderNamesReachTheSystem) {
  TempDir base;
  const std::string folder = base.Path() + "\\M\xC3\xBCller \xE2\x9C\x88";  // "Müller ✈"
  ScopedEnv env("APPDATA", folder.c_str());
  ASSERT_TRUE(WriteProfileString("ComPort1", "Port", "COM12", "logger3.ini"));
  EXPECT_EQ(GetProfileString("ComPort1", "Port", "-", "logger3.ini"), "COM12");
  EXPECT_NE(::GetFileAttributesW(Widen(folder + "\\Morvala\\logger3.ini").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

class AtomicFileOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.Ok());
    target = dir.Path() + "\\flight.csv";
    ASSERT_TRUE(WriteFile(target, "old\r\n"));
  }
  TempDir dir;
  std::string target;
};

TEST_F(AtomicFileOnWindows, ReplacesTheTargetAndLeavesNothingElse) {
  AtomicFile::WriteWhole(target, "new;\r\n");
  EXPECT_EQ(ReadFile(target), "new;\r\n");  // bytes as written, no text-mode translation
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"flight.csv"});
  AtomicFile::WriteWhole(dir.Path() + "\\fresh.gpx", "x");
  EXPECT_EQ(ReadFile(dir.Path() + "\\fresh.gpx"), "x");
}

TEST_F(AtomicFileOnWindows, TargetHeldOpenByAnotherProgramStaysWhole) {
  // Another program (a spreadsheet) holds the file open without sharing it.
  HANDLE held = ::CreateFileW(Widen(target).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ErrorOf([&] { AtomicFile::WriteWhole(target, "half a flight"); }),
            "Dateizugriff verweigert");
  ::CloseHandle(held);
  EXPECT_EQ(ReadFile(target), "old\r\n");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"flight.csv"});
  // Once it lets go, the file is replaced.
  AtomicFile::WriteWhole(target, "new");
  EXPECT_EQ(ReadFile(target), "new");
}

TEST_F(AtomicFileOnWindows, Win32ErrorsSpeakTheGermanFileTexts) {
  EXPECT_EQ(ErrorOf([&] { ReadPlainFile(dir.Path() + "\\missing.hex", 100); }),
            "Datei nicht gefunden");
  EXPECT_EQ(ErrorOf([&] { AtomicFile::WriteWhole(dir.Path() + "\\no\\such\\x.csv", "x"); }),
            "Ungültiger Dateiname");
  EXPECT_EQ(ErrorOf([&] { ReadPlainFile(dir.Path(), 100); }), "Dateizugriff verweigert");
  EXPECT_EQ(ErrorOf([&] { AtomicFile::WriteWhole(dir.Path(), "x"); }), "Dateizugriff verweigert");
  firmware::HexLineReader reader;
  EXPECT_EQ(ErrorOf([&] { reader.Open(dir.Path() + "\\missing.hex"); }), "Datei nicht gefunden");
}

TEST(PortNamesOnWindows, ComPortsSortByTheirNumber) {
  std::vector<std::string> names = {"COM10", "com2", "USB-Logger", "COM1", "COM2", "COM9"};
  SortPortNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"COM1", "com2", "COM9", "COM10", "USB-Logger"}));
}

}  // namespace
