// Files the program cannot write: the settings folder, and the CSV target in a folder
// without write permission or on a full file system. The user gets a German message,
// the existing file keeps its content, and the next try at a good place works.
#include <sys/resource.h>

#include <QDir>
#include <fstream>

#include "serial/ui/comsetupfrm.h"
#include "tests/support/modal.h"
#include "fault_support.h"

namespace {

// As root, permissions do not stop a write; a read-only or full tmpfs does.
#define REQUIRE_MOUNT(m) \
  if (!(m).Ok()) GTEST_SKIP() << "this machine does not let the test mount a tmpfs"

}  // namespace

class FileFaultTest : public FaultTest {
 protected:
  // A window with a downloaded flight of n records.
  void Downloaded(size_t n) {
    ReadAnnouncingLogger(AnnouncingOptions(), ShortFlight(n));
    ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
    Click(form->LoggerButton);
    ASSERT_EQ(form->Flight.LastSampleIndex, static_cast<int>(n) - 1) << Panel(1);
  }

  // The save failed with this German text, the old file is unchanged, and a save to a
  // good place works afterwards.
  void ExpectFailedSave(const std::string& target, const std::string& oldContent,
                        const std::string& text) {
    EXPECT_FALSE(Save(target));
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().kind, BoxKind::Error);
    EXPECT_NE(ui.boxes.back().text.find(text), std::string::npos) << ui.boxes.back().text;
    if (!oldContent.empty()) {
      EXPECT_EQ(ReadFile(target), oldContent);
    }
    const std::string good = TempPath("good.csv");
    ASSERT_TRUE(Save(good)) << LastBoxText();
    EXPECT_EQ(Lines(ReadFile(good)).size(), static_cast<size_t>(form->Flight.LastSampleIndex + 3));
  }
};

TEST_F(FileFaultTest, SettingsFolderThatIsAFileGivesAnErrorAndTheWindowGoesOn) {
  WriteFile(TempPath("morvala"), "not a folder\n");
  int shown = 0;
  modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
    ++shown;
    frm.Button1->click();
  });
  // No settings: the setup dialog, then the settings cannot be stored. Both resets of the
  // start-up (creation and the first showing of the page) find no settings, so the
  // dialog comes once or twice, each time followed by its error box.
  CreateWindow();
  EXPECT_GE(shown, 1);
  EXPECT_LE(shown, 2);
  EXPECT_EQ(static_cast<int>(ui.boxes.size()), shown);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().kind, BoxKind::Error);
  EXPECT_TRUE(LooksGerman(ui.boxes.back().text)) << ui.boxes.back().text;
  EXPECT_EQ(ReadFile(TempPath("morvala")), "not a folder\n");
  // The window answers: About, and the setup button once more.
  const size_t before = ui.boxes.size();
  Click(form->ToolButton3);
  ASSERT_EQ(ui.boxes.size(), before + 1);
  EXPECT_EQ(ui.boxes.back().kind, BoxKind::Information);
  const int shownBefore = shown;
  Click(form->SetupButton);
  EXPECT_EQ(shown, shownBefore + 1);
  EXPECT_EQ(ui.boxes.back().kind, BoxKind::Error);
  EXPECT_NE(ui.boxes.back().text.find("nicht gespeichert"), std::string::npos)
      << ui.boxes.back().text;
}

TEST_F(FileFaultTest, ReadOnlySettingsFolderKeepsTheSettingsFile) {
  const std::string folder = TempPath("morvala");
  TmpMount mount(folder, "size=64k");
  REQUIRE_MOUNT(mount);
  StartSim(AnnouncingOptions(), DefaultFlight());
  const std::string before = ReadFile(IniPath());
  ASSERT_FALSE(before.empty());
  ASSERT_TRUE(mount.RemountReadOnly());
  CreateWindow();
  EXPECT_TRUE(ui.boxes.empty()) << LastBoxText();  // reading works
  modal::DialogAnswerer<TComSetupFrm> setupDialog([](TComSetupFrm& frm) { frm.Button1->click(); });
  Click(form->SetupButton);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
  EXPECT_TRUE(LooksGerman(ui.boxes[0].text)) << ui.boxes[0].text;
  EXPECT_EQ(ReadFile(IniPath()), before);
  // The port settings still hold: the logger is read.
  Click(form->Startbutton);
  EXPECT_TRUE(form->Flags.ConfigRead) << Panel(1);
}

TEST_F(FileFaultTest, CsvInAFolderThatCannotBeWrittenKeepsTheOldFile) {
  Downloaded(120);
  const std::string folder = TempPath("ro");
  TmpMount mount(folder, "size=256k");
  REQUIRE_MOUNT(mount);
  const std::string target = folder + "/flight.csv";
  const std::string old = "old;content;\r\n";
  WriteFile(target, old);
  ASSERT_TRUE(mount.RemountReadOnly());
  ExpectFailedSave(target, old, "Dateizugriff verweigert");
}

TEST_F(FileFaultTest, CsvBelowAFileIsAnInvalidName) {
  Downloaded(60);
  WriteFile(TempPath("plain"), "x");
  ExpectFailedSave(TempPath("plain") + "/flight.csv", "", "Ungültiger Dateiname");
  EXPECT_EQ(ReadFile(TempPath("plain")), "x");
}

TEST_F(FileFaultTest, CsvOnAFullFileSystemKeepsTheOldFile) {
  Downloaded(400);  // about 28 kByte of CSV
  const std::string folder = TempPath("small");
  TmpMount mount(folder, "size=64k");
  REQUIRE_MOUNT(mount);
  const std::string target = folder + "/flight.csv";
  const std::string old(20000, 'o');
  WriteFile(target, old);
  // Fill up the rest but a few kByte.
  {
    std::ofstream fill(folder + "/fill", std::ios::binary);
    const std::string block(4096, 'f');
    for (int i = 0; i < 64 && fill; ++i) fill << block << std::flush;
  }
  ExpectFailedSave(target, old, "Zu wenig Speicherplatz");
  // No half-written file is left beside it.
  EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(FileFaultTest, CsvBeyondTheFileSizeLimitKeepsTheOldFile) {
  // Where no tmpfs can be mounted, a file size limit plays the full disk.
  Downloaded(400);
  const std::string target = TempPath("limited.csv");
  const std::string old = "old;\r\n";
  WriteFile(target, old);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 8192;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saveOk = Save(target);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(saveOk);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_NE(ui.boxes.back().text.find("Zu wenig Speicherplatz"), std::string::npos)
      << ui.boxes.back().text;
  EXPECT_EQ(ReadFile(target), old);
  ASSERT_TRUE(Save(target)) << LastBoxText();
  EXPECT_EQ(Lines(ReadFile(target)).size(), 402u);  // two header lines, 400 records
}
