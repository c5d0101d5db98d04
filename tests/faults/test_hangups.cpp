// The logger's line goes dead in the middle of each exchange: the configuration, the
// download and the firmware transfer. The window reports it, keeps what arrived, and
// the next action works.
#include <QElapsedTimer>

#include "fault_support.h"

TEST_F(FaultTest, HangUpInTheConfigurationIsReportedAndTheNextReadWorks) {
  loggersim::SimOptions o = AnnouncingOptions();
  o.faults.hangupAt = 3 + 2 + 5;  // sync, lead byte, count and five configuration bytes
  ReadAnnouncingLogger(o, DefaultFlight());
  EXPECT_FALSE(form->Flags.ConfigRead);
  ExpectGermanReport();
  EXPECT_EQ(Sim().Acks(), 0);  // a message cut short is not acknowledged
  EXPECT_FALSE(form->GroupBox1->isVisible());
  EXPECT_TRUE(Sim().HungUp());
  ExpectACleanReadWorks();
}

TEST_F(FaultTest, HangUpInTheDownloadKeepsTheRecordsAndTheyCanBeSaved) {
  const loggersim::SimFlight flight = ShortFlight(400);
  const int recordSize = flight.RecordSize();
  const int fullRecords = 100;
  loggersim::SimOptions o = AnnouncingOptions();
  o.faults.hangupInDownloadAt = o.downloadSyncCount + 1 + 23 + fullRecords * recordSize + 3;
  ReadAnnouncingLogger(o, flight);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  Click(form->LoggerButton);
  ASSERT_TRUE(Sim().HungUp());

  // The full records and the one cut short are kept; the window says how many.
  const int last = form->Flight.LastSampleIndex;
  EXPECT_GE(last, fullRecords - 1);
  EXPECT_LE(last, fullRecords);
  EXPECT_EQ(Panel(1), std::to_string(last) + " Datenblöcke gelesen - Datei nun speichern");
  EXPECT_TRUE(form->SaveButton->isEnabled());
  ExpectGermanReport();

  const std::string csv = TempPath("cut.csv");
  ASSERT_TRUE(Save(csv)) << LastBoxText();
  const auto lines = Lines(ReadFile(csv));
  ASSERT_EQ(lines.size(), static_cast<size_t>(last + 1 + 2));
  for (int i = 0; i < fullRecords; ++i)
    EXPECT_EQ(FirstValue(lines[2 + i]), flight.records[i].adc16) << "record " << i;
  ExpectACleanReadWorks();
}

TEST_F(FaultTest, HangUpInTheFirmwareTransferEndsWithBurnErrorAndASecondUpdateWorks) {
  const std::string hex = std::string(MORVALA_SOURCE_DIR) + "/data/sample_firmware_crlf.hex";
  loggersim::SimOptions o = AnnouncingOptions();
  o.mode = loggersim::SimMode::Bootloader;
  o.faults.hangupAt = 1 + 20;  // "r" and twenty "."
  StartSim(o, DefaultFlight());
  CreateWindow();
  form->PageControl1->setCurrentIndex(1);
  ui.fileAnswers.push_back(hex);
  ui.confirmAnswers.push_back(true);
  QElapsedTimer t;
  t.start();
  Click(form->Button1);
  EXPECT_LT(t.elapsed(), 60000);
  EXPECT_TRUE(Sim().HungUp());
  // The 21st record reached the bootloader; its answer was lost with the line.
  EXPECT_EQ(Sim().ProgrammedRecords().size(), 21u);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().kind, BoxKind::Error);
  ExpectGermanReport();
  EXPECT_FALSE(form->Memo1->isVisible());
  EXPECT_FALSE(form->ProgressBar1->isVisible());

  // A bootloader on a new line: the same file goes through.
  loggersim::SimOptions good = AnnouncingOptions();
  good.mode = loggersim::SimMode::Bootloader;
  StartSim(good, DefaultFlight());
  form->PageControl1->setCurrentIndex(0);
  form->ResetButton1Click();
  form->PageControl1->setCurrentIndex(1);
  ui.boxes.clear();
  ui.fileAnswers.push_back(hex);
  ui.confirmAnswers.push_back(true);
  Click(form->Button1);
  ASSERT_EQ(ui.boxes.size(), 2u);  // the confirmation and the success
  EXPECT_EQ(ui.boxes.back().text, "neue Firmware erfolgreich gebrannt");
  EXPECT_TRUE(Sim().Finished());
}
