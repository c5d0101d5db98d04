// Reading, editing and writing the logger's configuration through the window, against
// the simulated logger.
#include <QElapsedTimer>

#include "tests/support/window_fixture.h"

namespace {

std::string ReceivedText(const loggersim::SimConfig& c) {
  std::string s = "Konfiguration empfangen : " + std::to_string(c.leadByte) + " ";
  for (uint8_t b : c.Bytes()) s += std::to_string(b) + " ";
  return s;
}

int CountByte(const std::vector<uint8_t>& bytes, uint8_t value) {
  return static_cast<int>(std::count(bytes.begin(), bytes.end(), value));
}

}  // namespace

TEST_F(WindowTest, ReadShowsEveryFieldInItsControl) {
  loggersim::SimConfig c;
  c.leadByte = 7;
  c.recordFlags1 = 0x4B;  // 16-Bit-ADC, ADC 0, ADC 2, Frequenz
  c.recordFlags2 = 0xD1;  // RC 1, Temp. int., GPS, Telemetrie
  c.sampleRateCode = 12;  // "0,26 s"
  c.dataCount = 300;
  c.teleFlags1 = 0x03;  // 16-Bit-ADC, ADC 0
  c.teleFlags2 = 0x08;  // Manchester; bit 7 clear: "4800 BPS"
  c.adc3Offset = 7;
  c.serialSensor = 0x80 | 5;
  c.flightNumber = 12345;
  c.eepromSize = 8;
  c.extraBytes = {9};
  ReadNewLogger(QuickOptions(), c);

  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorSuccess);
  EXPECT_EQ(Panel(1), ReceivedText(c));
  EXPECT_EQ(Panel(0), "verbunden");
  EXPECT_TRUE(WaitFor([&] { return Sim().Acks() == 1; })) << Sim().Acks();
  EXPECT_EQ(form->Label1->text().toStdString(), "Daten: 300");
  EXPECT_EQ(form->FNLabel->text().toStdString(), "Flugnummer: 12345");
  EXPECT_EQ(form->EEPROMLabel->text().toStdString(), "EEPROM: 256kByte");

  const auto rec = form->RecordBoxes();
  const auto tele = form->TeleBoxes();
  for (int bit = 0; bit < 8; ++bit) {
    EXPECT_EQ(rec[bit]->isChecked(), bool(c.recordFlags1 & (1 << bit))) << "record bit " << bit;
    EXPECT_EQ(rec[8 + bit]->isChecked(), bool(c.recordFlags2 & (1 << bit)))
        << "record2 bit " << bit;
    EXPECT_EQ(tele[bit]->isChecked(), bool(c.teleFlags1 & (1 << bit))) << "tele bit " << bit;
  }
  for (int bit = 0; bit < 7; ++bit)
    EXPECT_EQ(tele[8 + bit]->isChecked(), bool(c.teleFlags2 & (1 << bit))) << "tele2 bit " << bit;
  EXPECT_TRUE(form->t4800bpsCheckBox->isChecked());
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 2);
  EXPECT_EQ(form->SnMaskEdit->text().toStdString(), "005");
  EXPECT_EQ(form->OffsetMaskEdit->text().toStdString(), "007");
  EXPECT_EQ(form->DRadioGroup->ItemIndex(), 1);
  EXPECT_TRUE(form->E1CheckBox->isEnabled());
  EXPECT_EQ(form->LRadioGroup->ItemIndex(), 0);
  // B = 2 + 1 + 1 + 1 + 2 + 1 + 1 + 6 = 15 at 3.85 per second from 256 kByte: 4539 s.
  EXPECT_TRUE(form->ZeitLabel->isVisible());
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), "max. 1h 15m 39s");

  for (QWidget* w : std::initializer_list<QWidget*>{
           form->GroupBox1, form->GroupBox2, form->RadioGroup1, form->LRadioGroup,
           form->NummernGroupBox, form->DRadioGroup, form->ResetButton1, form->LoggerButton})
    EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
  EXPECT_FALSE(form->SchreibButton1->isVisible());
  EXPECT_FALSE(form->PaintBox1->isVisible());
  EXPECT_FALSE(form->Startbutton->isEnabled());
  EXPECT_TRUE(form->LoggerButton->hasFocus());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(WindowTest, ByteCountZeroClearsEveryControl) {
  loggersim::SimConfig c;
  c.countOverride = 0;
  ReadNewLogger(QuickOptions(), c);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_EQ(Panel(1), "Konfiguration empfangen : 0 ");
  for (QCheckBox* b : form->RecordBoxes())
    EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
  for (QCheckBox* b : form->TeleBoxes())
    EXPECT_EQ(b->isChecked(), b == form->t4800bpsCheckBox) << b->objectName().toStdString();
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0);
  EXPECT_EQ(form->DRadioGroup->ItemIndex(), 0);
  EXPECT_FALSE(form->E1CheckBox->isEnabled());
  EXPECT_FALSE(form->tE1CheckBox->isEnabled());
  EXPECT_EQ(form->SnMaskEdit->text().toStdString(), "000");
  EXPECT_EQ(form->OffsetMaskEdit->text().toStdString(), "000");
  EXPECT_EQ(form->Label1->text().toStdString(), "Daten: 0");
  EXPECT_EQ(form->FNLabel->text().toStdString(), "Flugnummer: 00000");
  EXPECT_EQ(form->EEPROMLabel->text().toStdString(), "EEPROM: 32kByte");
  EXPECT_FALSE(form->GroupBox2->isVisible());
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), " ");
}

TEST_F(WindowTest, PendingBytesAreDroppedAndTheNextAnnounceIsRead) {
  StartSim(QuickOptions());
  // The logger has announced before the user pressed the button.
  for (int i = 0; i < 200 && Sim().Announces() < 1; ++i) QTest::qSleep(10);
  ASSERT_EQ(Sim().Announces(), 1);
  QTest::qSleep(50);
  CreateWindow();
  StatusWatcher w(form->StatusBar1);
  w.At(2, [this] { Sim().PowerOn(); });
  QTest::mouseClick(form->Startbutton, Qt::LeftButton);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  // Had the stale message been taken, the first poll would have ended the wait.
  EXPECT_GE(w.maxMarks, 3);
  EXPECT_EQ(Sim().Announces(), 2);
  EXPECT_TRUE(WaitFor([&] { return Sim().Acks() == 1; })) << Sim().Acks();
}

TEST_F(WindowTest, AnswerInThe41stPollComesTooLate) {
  StartSim(QuickOptions());
  CreateWindow();
  StatusWatcher w(form->StatusBar1);
  // Switched on after the 39th poll: the announce comes while the 40th poll sleeps, so
  // the 41st poll is the first to find it.
  w.At(39, [this] { Sim().PowerOn(); });
  QTest::mouseClick(form->Startbutton, Qt::LeftButton);
  EXPECT_EQ(w.maxMarks, 41);
  EXPECT_EQ(Sim().Announces(), 2);
  EXPECT_EQ(Panel(1), "kein Logger gefunden - bitte alles prüfen und noch mal versuchen");
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorFailure);
  EXPECT_TRUE(form->Flags.NoLoggerFound);
  EXPECT_FALSE(form->Flags.ConfigRead);
  Pump(200);
  EXPECT_EQ(Sim().Acks(), 0);
  EXPECT_FALSE(form->GroupBox1->isVisible());
  EXPECT_TRUE(form->Startbutton->isEnabled());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(WindowTest, AnswerInThe40thPollStillCounts) {
  StartSim(QuickOptions());
  CreateWindow();
  StatusWatcher w(form->StatusBar1);
  w.At(38, [this] { Sim().PowerOn(); });  // found by the 40th poll
  QTest::mouseClick(form->Startbutton, Qt::LeftButton);
  EXPECT_EQ(w.maxMarks, 40);
  EXPECT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorSuccess);
}

TEST_F(WindowTest, SilentLoggerFailsAndASecondTryWorks) {
  StartSim(QuickOptions());
  CreateWindow();
  QTest::mouseClick(form->Startbutton, Qt::LeftButton);
  EXPECT_EQ(Panel(1), "kein Logger gefunden - bitte alles prüfen und noch mal versuchen");
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorFailure);
  EXPECT_FALSE(form->Flags.ConfigRead);
  EXPECT_TRUE(form->Startbutton->isEnabled());
  EXPECT_TRUE(form->ResetButton1->isVisible());
  // Switched on this time.
  ReadConfiguration();
  EXPECT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorSuccess);
  EXPECT_TRUE(WaitFor([&] { return Sim().Acks() == 1; })) << Sim().Acks();
}

TEST_F(WindowTest, CutShortMessageIsNotAConfiguration) {
  loggersim::SimOptions o = QuickOptions();
  o.faults.configStopAfter = 3 + 2 + 5;  // sync, lead byte, count and five of twelve bytes
  ReadNewLogger(o);
  EXPECT_EQ(Panel(1), "Konfiguration unvollständig empfangen - bitte noch mal versuchen");
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorFailure);
  EXPECT_FALSE(form->Flags.ConfigRead);
  EXPECT_TRUE(form->Flags.NoLoggerFound);
  Pump(200);
  EXPECT_EQ(CountByte(Sim().Received(), 0x0F), 0);
  EXPECT_FALSE(form->GroupBox1->isVisible());
  EXPECT_TRUE(form->Startbutton->isEnabled());
}

TEST_F(WindowTest, NeverEndingStreamIsGivenUpAndTheWindowAnswersAfterwards) {
  loggersim::SimOptions o = QuickOptions();
  o.faults.babble = true;
  StartSim(o);
  CreateWindow();
  QElapsedTimer t;
  t.start();
  QTest::mouseClick(form->Startbutton, Qt::LeftButton);
  EXPECT_LT(t.elapsed(), 30000);
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorFailure);
  EXPECT_EQ(Panel(1), "kein Logger gefunden - bitte alles prüfen und noch mal versuchen");
  EXPECT_FALSE(form->Flags.ConfigRead);
  Pump(200);
  EXPECT_EQ(Sim().Acks(), 0);
  Pump(100);
  ASSERT_TRUE(ui.boxes.empty());
  QTest::mouseClick(form->ToolButton3, Qt::LeftButton);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Information);
  QTest::mouseClick(form->ResetButton1, Qt::LeftButton);
  EXPECT_FALSE(form->ComPort1.Connected());
}

// The controls are loaded one at a time, boxes, telemetry, rate, telemetry boxes, numbers,
// sensor, and each one that changes runs its handler: what the handlers do to other
// controls stays, and a control that keeps its value runs none.
TEST_F(WindowTest, LoadingRunsTheChangeHandlersInReadOrder) {
  loggersim::SimConfig c;
  c.recordFlags1 = 0x01;  // 16-Bit-ADC
  c.recordFlags2 = 0x10;  // Temp. int., telemetry off
  c.sampleRateCode = 0;   // "0,02 s"
  c.teleFlags1 = 0x01;    // telemetry 16-Bit-ADC
  c.teleFlags2 = 0x90;    // telemetry Temp. int.; bit 7 set: not "4800 BPS"
  c.serialSensor = 3;     // MPX4100
  c.eepromSize = 1;       // 32 kByte
  StartSim(QuickOptions(), c);
  CreateWindow();
  ASSERT_EQ(form->DRadioGroup->ItemIndex(), 1);  // MS5534A at start
  ReadConfiguration();
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);

  // The sensor came last and changed: it unticked both internal temperatures after they
  // were loaded, and disabled them.
  EXPECT_EQ(form->DRadioGroup->ItemIndex(), 0);
  EXPECT_FALSE(form->E1CheckBox->isChecked());
  EXPECT_FALSE(form->tE1CheckBox->isChecked());
  EXPECT_FALSE(form->E1CheckBox->isEnabled());
  // The telemetry boxes came after "Telemetrie" was switched off, so they keep their bits.
  EXPECT_TRUE(form->tAD16CheckBox->isChecked());
  EXPECT_FALSE(form->t4800bpsCheckBox->isChecked());
  EXPECT_FALSE(form->GroupBox2->isVisible());
  // "0,02 s" came while Temp. int. was ticked, so the estimate moved it to "0,06 s".
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 1);
  // 16-Bit-ADC only at 16.67 per second: 32768 / 2 / 16.67 = 982.8 s.
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), "max. 16m 23s");
  EXPECT_FALSE(form->SchreibButton1->isVisible());

  // The same configuration again: the sensor does not change, so nothing unticks the
  // loaded internal temperatures this time (they stay disabled).
  QTest::mouseClick(form->ResetButton1, Qt::LeftButton);
  ASSERT_TRUE(form->Startbutton->isEnabled());
  ReadConfiguration();
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_TRUE(form->E1CheckBox->isChecked());
  EXPECT_TRUE(form->tE1CheckBox->isChecked());
  EXPECT_TRUE(form->tAD16CheckBox->isChecked());
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 1);
  // 16-Bit-ADC and Temp. int.: 32768 / 3 / 16.67 = 655.2 s.
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), "max. 10m 55s");
  EXPECT_FALSE(form->SchreibButton1->isVisible());
}

TEST_F(WindowTest, EditingUpdatesTheRecordingTimeAndEnforcesTheRules) {
  loggersim::SimConfig c;
  c.recordFlags1 = 0x01;
  c.recordFlags2 = 0x80;
  c.sampleRateCode = 49;
  c.teleFlags1 = 0;
  c.teleFlags2 = 0x80;
  c.serialSensor = 0x80 | 12;
  c.eepromSize = 1;  // 32 kByte
  ReadNewLogger(QuickOptions(), c);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  ASSERT_FALSE(form->SchreibButton1->isVisible());

  // Only the 16-bit ADC at 0,02 s: 32768 / 2 / 50 = 327.68 -> 5 m 28 s.
  form->RadioGroup1->button(0)->click();
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0);
  EXPECT_TRUE(form->SchreibButton1->isVisible());
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), "max. 5m 28s");
  // ADC 2 and the telemetry 16-bit ADC keep the fastest rate.
  form->AD2CheckBox->click();
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0);
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), "max. 2m 44s");  // 32768 / 4 / 50
  form->tAD16CheckBox->click();
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0);
  // The telemetry "Manchester" does not.
  form->tFreiCheckBox->click();
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 1);
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), "max. 8m 11s");  // 32768 / 4 / 16.67 = 491.5
  form->tFreiCheckBox->click();
  form->AD2CheckBox->click();
  form->RadioGroup1->button(0)->click();
  ASSERT_EQ(form->RadioGroup1->ItemIndex(), 0);
  form->RC1CheckBox->click();
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 1);

  // 16-bit ADC, ADC 0, RC 1 at 1 s: B = 5, 6553.6 -> 6554 s.
  form->AD0CheckBox->click();
  form->RadioGroup1->button(4)->click();
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), "max. 1h 49m 14s");
  // Changing the delete selection recomputes too; no channel left gives one blank.
  for (QCheckBox* b : form->RecordBoxes())
    if (b != form->TeleCheckBox && b->isChecked()) b->click();
  EXPECT_EQ(form->ZeitLabel->text().toStdString(), " ");
  EXPECT_TRUE(form->ZeitLabel->isVisible());

  // The pressure sensor decides about the internal temperature.
  form->E1CheckBox->click();
  form->tE1CheckBox->click();
  ASSERT_TRUE(form->E1CheckBox->isChecked());
  form->DRadioGroup->button(0)->click();
  EXPECT_FALSE(form->E1CheckBox->isChecked());
  EXPECT_FALSE(form->tE1CheckBox->isChecked());
  EXPECT_FALSE(form->E1CheckBox->isEnabled());
  EXPECT_FALSE(form->tE1CheckBox->isEnabled());
  form->DRadioGroup->button(1)->click();
  EXPECT_TRUE(form->E1CheckBox->isEnabled());
  EXPECT_TRUE(form->tE1CheckBox->isEnabled());
  EXPECT_FALSE(form->E1CheckBox->isChecked());

  // Telemetry off unchecks three of its boxes and hides the group.
  ASSERT_TRUE(form->GroupBox2->isVisible());
  for (QCheckBox* b : {form->tAD16CheckBox, form->tGpsCheckBox, form->tE1CheckBox,
                       form->tAD0CheckBox, form->tFreiCheckBox, form->t4800bpsCheckBox})
    if (!b->isChecked()) b->click();
  form->TeleCheckBox->click();
  EXPECT_FALSE(form->GroupBox2->isVisible());
  EXPECT_FALSE(form->tAD16CheckBox->isChecked());
  EXPECT_FALSE(form->tGpsCheckBox->isChecked());
  EXPECT_FALSE(form->tE1CheckBox->isChecked());
  EXPECT_TRUE(form->tAD0CheckBox->isChecked());
  EXPECT_TRUE(form->tFreiCheckBox->isChecked());
  EXPECT_TRUE(form->t4800bpsCheckBox->isChecked());
  form->TeleCheckBox->click();
  EXPECT_TRUE(form->GroupBox2->isVisible());
}

TEST_F(WindowTest, NumberFieldsKeepTheirRangeWhileTyping) {
  ReadNewLogger(QuickOptions());
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  ASSERT_FALSE(form->SchreibButton1->isVisible());
  auto type = [](MaskEdit3* edit, const char* keys) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, keys);
  };
  type(form->SnMaskEdit, "200");
  EXPECT_EQ(form->SnMaskEdit->text().toStdString(), "127");
  EXPECT_TRUE(form->SchreibButton1->isVisible());
  type(form->OffsetMaskEdit, "999");
  EXPECT_EQ(form->OffsetMaskEdit->text().toStdString(), "255");
  EXPECT_EQ(form->Config.Adc3Offset, 255);
  type(form->OffsetMaskEdit, "7");
  EXPECT_EQ(form->OffsetMaskEdit->text().toStdString(), "007");
  EXPECT_EQ(form->Config.Adc3Offset, 7);
  type(form->SnMaskEdit, "105");
  EXPECT_EQ(form->SnMaskEdit->text().toStdString(), "105");
  form->SnMaskEdit->selectAll();
  QTest::keyClick(form->SnMaskEdit, Qt::Key_Delete);
  EXPECT_EQ(form->SnMaskEdit->text().toStdString(), "000");
}

TEST_F(WindowTest, WriteWithSingleLogDeleteReadsBackTheNewConfiguration) {
  loggersim::SimConfig c;
  c.recordFlags1 = 0x01;
  c.recordFlags2 = 0x80;
  c.sampleRateCode = 49;
  c.teleFlags1 = 0;
  c.teleFlags2 = 0x80;
  c.adc3Offset = 0;
  c.serialSensor = 12;  // MPX4100
  c.dataCount = 500;
  ReadNewLogger(QuickOptions(), c);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  ASSERT_EQ(form->Label1->text().toStdString(), "Daten: 500");

  form->RC1CheckBox->click();
  form->LRadioGroup->button(2)->click();
  ASSERT_TRUE(form->SchreibButton1->isVisible());
  Sim().ClearReceived();
  ui.sleeps.clear();

  StatusWatcher w(form->StatusBar1);
  std::vector<bool> warteShown;
  w.onMark = [&](int) { warteShown.push_back(form->WarteLabel->isVisible()); };
  QTest::mouseClick(form->SchreibButton1, Qt::LeftButton);

  const auto msgs = Sim().WriteMessages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0], (std::vector<uint8_t>{0x63, 0x01, 0x81, 49, 0, 0, 0x00, 0x80, 0, 12, 255}));
  EXPECT_EQ(Sim().Deletes(), 1);
  ASSERT_GE(warteShown.size(), 2u);
  for (bool shown : warteShown) EXPECT_TRUE(shown);
  // Polls of 800 ms while deleting, every one of them (the pauses asked for, not the
  // time a busy machine took).
  ASSERT_GE(ui.sleeps.size(), 2u);
  for (int ms : ui.sleeps) EXPECT_EQ(ms, 800);
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_FALSE(form->WarteLabel->isVisible());

  // The read-back shows what the logger now reports, and the delete is not repeated.
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorSuccess);
  EXPECT_EQ(Panel(1), ReceivedText(Sim().CurrentConfig()));
  EXPECT_EQ(form->Label1->text().toStdString(),
            "Daten: " + std::to_string(Sim().CurrentConfig().dataCount));
  EXPECT_TRUE(form->RC1CheckBox->isChecked());
  EXPECT_EQ(form->LRadioGroup->ItemIndex(), 0);
  EXPECT_FALSE(form->SchreibButton1->isVisible());
  EXPECT_FALSE(form->LoggerButton->isVisible());
  EXPECT_FALSE(form->Startbutton->isVisible());
  EXPECT_TRUE(WaitFor([&] { return Sim().Acks() == 2; }))
      << Sim().Acks()
      << " acks, 0x0F received after the write: " << CountByte(Sim().Received(), 0x0F) << " of "
      << Sim().Received().size();
  EXPECT_TRUE(ui.boxes.empty());
}
