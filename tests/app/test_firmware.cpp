// Burning a HEX file through the "Firmwareupdate" tab into the simulated bootloader.
#include "tests/support/files.h"
#include "tests/support/text.h"
#include "tests/support/window_fixture.h"

namespace {

const std::string kSample = std::string(MORVALA_SOURCE_DIR) + "/data/sample_firmware.hex";

int LineCount(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

class FirmwareTest : public WindowTest {
 protected:
  void StartBootloader(loggersim::SimFaults faults = {}) {
    loggersim::SimOptions o = QuickOptions();
    o.mode = loggersim::SimMode::Bootloader;
    o.faults = faults;
    StartSim(o);
    CreateWindow();
    form->PageControl1->setCurrentIndex(1);
  }
  void Burn(const std::string& file, bool confirm = true) {
    ui.fileAnswers.push_back(file);
    ui.confirmAnswers.push_back(confirm);
    QTest::mouseClick(form->Button1, Qt::LeftButton);
  }
  std::vector<std::string> Log() const {
    return Split(form->Memo1->toPlainText().toStdString(), "\n");
  }
  int LogCount(const std::string& line) const {
    const auto log = Log();
    return static_cast<int>(std::count(log.begin(), log.end(), line));
  }
};

}  // namespace

TEST_F(FirmwareTest, SampleFileIsBurnedLineByLine) {
  StartBootloader();
  EXPECT_EQ(Panel(1), "Bootloader Brücke im Logger setzen, danach Logger einschalten");
  EXPECT_EQ(form->StatusBar1->Color(), clBtnFace);
  Burn(kSample);

  const std::string text = ReadFile(kSample);
  const int lines = LineCount(text);
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_FALSE(ui.fileRequests[0].save);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Confirmation);
  EXPECT_EQ(ui.boxes[0].text, "soll sample_firmware.hex wirklich in den Logger gebrannt werden?");
  EXPECT_EQ(ui.boxes[1].kind, BoxKind::Information);
  EXPECT_EQ(ui.boxes[1].text, "neue Firmware erfolgreich gebrannt");

  const auto log = Log();
  ASSERT_GE(log.size(), 7u);
  EXPECT_EQ(log[0], "Firmwareupdate für Logger mit Bootloader");
  EXPECT_EQ(log[1], "neues HEX-File: sample_firmware.hex");
  EXPECT_EQ(log[2], "Filelänge: " + std::to_string(lines) + " Zeilen");
  EXPECT_EQ(log[3], " ");
  EXPECT_EQ(log[4], "triggere Bootloader");
  EXPECT_EQ(log[5], "Antwort:r");
  EXPECT_EQ(log[6], "sende HEX-File zum Logger");
  const auto fileLines = Split(text, "\n");
  ASSERT_EQ(log.size(), 7u + 2u * lines);
  for (int i = 0; i < lines; ++i) {
    EXPECT_EQ(log[7 + 2 * i], fileLines[i]) << "line " << i;
    EXPECT_EQ(log[8 + 2 * i], i + 1 == lines ? "S" : ".") << "line " << i;
  }
  EXPECT_EQ(form->ProgressBar1->maximum(), lines);
  EXPECT_EQ(form->ProgressBar1->value(), lines);
  EXPECT_FALSE(form->ProgressBar1->isVisible());
  EXPECT_FALSE(form->Memo1->isVisible());
  EXPECT_EQ(form->ComPort1.Timeouts().ReadTotalConstant(), 20);
  EXPECT_EQ(Panel(1), "");

  loggersim::HexImage image;
  std::string error;
  ASSERT_TRUE(loggersim::ParseHexFile(kSample, image, &error)) << error;
  EXPECT_TRUE(Sim().Finished());
  EXPECT_EQ(Sim().ProgrammedImage(), image);
  EXPECT_EQ(Sim().Triggers(), 1);
  EXPECT_TRUE(Sim().BadRecords().empty());
}

TEST_F(FirmwareTest, ReadyOnlyOnTheSecondTrigger) {
  loggersim::SimFaults f;
  f.bootReadyOnTrigger = 2;
  StartBootloader(f);
  Burn(kSample);
  EXPECT_EQ(LogCount("triggere Bootloader"), 2);
  const auto log = Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("Antwort:", 0) == 0; }),
            2);
  EXPECT_EQ(LogCount("Antwort:r"), 1);
  EXPECT_EQ(Sim().Triggers(), 2);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "neue Firmware erfolgreich gebrannt");
  EXPECT_TRUE(Sim().Finished());
}

TEST_F(FirmwareTest, SilentBootloaderIsReportedWithoutBurnError) {
  loggersim::SimFaults f;
  f.bootSilent = true;
  StartBootloader(f);
  Burn(kSample);
  EXPECT_EQ(LogCount("triggere Bootloader"), 3);
  EXPECT_EQ(LogCount("Antwort:"), 3);
  EXPECT_EQ(LogCount("## Bootloader meldet sich nicht"), 1);
  EXPECT_EQ(LogCount("sende HEX-File zum Logger"), 0);
  EXPECT_EQ(
      CountBoxes(BoxKind::Error, "Bootloader meldet sich nicht\rFirmwareupdate nicht möglich"), 1);
  EXPECT_EQ(CountBoxes(BoxKind::Error, "BRENNFEHLER"), 0);
  EXPECT_EQ(Sim().Triggers(), 3);
  EXPECT_TRUE(Sim().ProgrammedRecords().empty());
  EXPECT_EQ(form->ComPort1.Timeouts().ReadTotalConstant(), 20);
  EXPECT_FALSE(form->Memo1->isVisible());
}

TEST_F(FirmwareTest, BrokenFileIsRefusedBeforeAnythingIsSent) {
  StartBootloader();
  std::string text = ReadFile(kSample);
  auto lines = Split(text, "\n");
  ASSERT_GT(lines.size(), 5u);
  lines[3][lines[3].size() - 1] = lines[3].back() == '0' ? '1' : '0';  // checksum off
  std::string broken;
  for (size_t i = 0; i + 1 < lines.size(); ++i) broken += lines[i] + "\n";
  const std::string path = TempPath("broken.hex");
  ASSERT_TRUE(WriteFile(path, broken));
  Burn(path);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(ui.boxes[0].text,
            "Zeile 4 ist kein gültiger HEX-Datensatz\rFirmwareupdate nicht möglich");
  EXPECT_EQ(Sim().Triggers(), 0);
  EXPECT_TRUE(Sim().Received().empty());
  EXPECT_FALSE(form->Memo1->isVisible());
  EXPECT_FALSE(form->ProgressBar1->isVisible());
  EXPECT_EQ(form->ComPort1.Timeouts().ReadTotalConstant(), 20);
}

TEST_F(FirmwareTest, EditorLeftoversAreNotSentAndHugeFilesAreRefused) {
  StartBootloader();
  // A file over 4 MiB: a German box, nothing else.
  const std::string huge = TempPath("riesig.hex");
  ASSERT_TRUE(WriteFile(huge, std::string(4 * 1024 * 1024 + 1, '\n')));
  Burn(huge);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(ui.boxes[0].text, "Die Datei ist größer als 4 MiB\rFirmwareupdate nicht möglich");
  EXPECT_EQ(Sim().Triggers(), 0);
  EXPECT_FALSE(form->Memo1->isVisible());
  ui.boxes.clear();

  // A byte-order mark and blanks after the checksums: the log shows the lines as sent.
  const auto fileLines = Split(ReadFile(kSample), "\n");
  std::string text = "\xEF\xBB\xBF";
  for (size_t i = 0; i + 1 < fileLines.size(); ++i) text += fileLines[i] + "\t \r\n";
  const std::string edited = TempPath("editor.hex");
  ASSERT_TRUE(WriteFile(edited, text));
  Burn(edited);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "neue Firmware erfolgreich gebrannt");
  const auto log = Log();
  ASSERT_GT(log.size(), 8u);
  EXPECT_EQ(log[7], fileLines[0]);
  EXPECT_EQ(log[9], fileLines[1]);
  EXPECT_TRUE(Sim().Finished());
  EXPECT_TRUE(Sim().BadRecords().empty());
}
