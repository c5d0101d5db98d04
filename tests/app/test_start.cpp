// Start-up, the reset state, "zum Anfang", the tab switch, the About box and an error
// that leaves a handler, all through the window as the user meets it.
#include <QFile>

#include "serial/ui/comsetupfrm.h"
#include "tests/support/modal.h"
#include "tests/support/files.h"
#include "tests/support/text.h"
#include "tests/support/window_fixture.h"

namespace {

void ExpectResetState(TForm1& f) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           f.GroupBox1, f.GroupBox2, f.RadioGroup1, f.LRadioGroup, f.NummernGroupBox, f.DRadioGroup,
           f.SchreibButton1, f.PaintBox1, f.ResetButton1, f.ZeitLabel, f.WarteLabel})
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  EXPECT_TRUE(f.Startbutton->isVisible());
  EXPECT_TRUE(f.Startbutton->isEnabled());
  EXPECT_TRUE(f.LoggerButton->isVisible());
  EXPECT_EQ(f.StatusBar1->Color(), clBtnFace);
  EXPECT_EQ(f.StatusBar1->PanelText(1).toStdString(),
            "Logger ausschalten - danach KONFIGURATION LESEN- oder DATEN-EINLESEN-Taste drücken");
  EXPECT_EQ(f.Label1->text(), QString(12, QChar(' ')));
  EXPECT_EQ(f.FNLabel->text(), QString());
  EXPECT_EQ(f.EEPROMLabel->text(), QString());
  EXPECT_EQ(f.Flight.LastSampleIndex, 0);
  EXPECT_EQ(f.Flight.ExportFirstIndex, 0);
  EXPECT_EQ(f.Flight.ExportLastIndex, 0);
  EXPECT_FALSE(f.Flags.ConfigRead);
}

}  // namespace

TEST_F(WindowTest, FirstStartWithoutSettingsShowsTheSetupDialogOnceAndWritesTheFile) {
  int shown = 0;
  modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
    ++shown;
    frm.Button1->click();  // OK with what the dialog offers
  });
  ASSERT_FALSE(QFile::exists(QString::fromStdString(IniPath())));
  CreateWindow();
  EXPECT_EQ(shown, 1);
  const std::string ini = ReadFile(IniPath());
  ASSERT_FALSE(ini.empty());
  for (const char* key :
       {"Port=", "BaudRate=38400", "StopBits=", "DataBits=", "Parity=", "FlowControl="})
    EXPECT_NE(ini.find(key), std::string::npos) << key << " in\n" << ini;
  EXPECT_NE(ini.find("[ComPort1]"), std::string::npos);
  ExpectResetState(*form);

  // The next start finds the file and asks nothing.
  form.reset();
  CreateWindow();
  EXPECT_EQ(shown, 1);
}

TEST_F(WindowTest, SettingsFileWith110BaudCountsAsMissing) {
  WriteIni("/dev/null");
  std::string ini = ReadFile(IniPath());
  ini.replace(ini.find("38400"), 5, "110");
  ASSERT_TRUE(WriteFile(IniPath(), ini));
  int shown = 0;
  modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
    ++shown;
    frm.Button2->click();  // cancelled: the settings are stored all the same
  });
  CreateWindow();
  EXPECT_EQ(shown, 1);
  EXPECT_NE(ReadFile(IniPath()).find("BaudRate=38400"), std::string::npos);
}

TEST_F(WindowTest, StartShowsTheResetStateAndAboutHasFiveLines) {
  WriteIni("/dev/null");
  modal::DialogAnswerer<TComSetupFrm> setupDialog([](TComSetupFrm& frm) {
    ADD_FAILURE() << "setup dialog with a settings file";
    frm.reject();
  });
  CreateWindow();
  ExpectResetState(*form);
  EXPECT_FALSE(form->SaveButton->isEnabled());
  EXPECT_EQ(form->PageControl1->currentIndex(), 0);

  QTest::mouseClick(form->ToolButton3, Qt::LeftButton);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Information);
  const auto lines = Split(ui.boxes[0].text, "\r");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Morvala  ");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "       Version 3.7      ");
  EXPECT_EQ(ui.boxes[0].text.find('\n'), std::string::npos);
}

TEST_F(WindowTest, PortThatDoesNotExistGivesOneErrorBoxAndTheWindowGoesOn) {
  const std::string missing = TempPath("no-such-tty");
  WriteIni(missing);
  CreateWindow();
  QTest::mouseClick(form->Startbutton, Qt::LeftButton);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
  const auto lines = Split(ui.boxes[0].text, "\r");
  ASSERT_EQ(lines.size(), 2u) << ui.boxes[0].text;
  EXPECT_EQ(lines[0], "Unable to open com port (win error code: 2)");
  EXPECT_NE(lines[1].find(missing), std::string::npos) << lines[1];
  EXPECT_EQ(Panel(1), "Serielle Schnittstelle konte nicht geöffnet werden");
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorFailure);
  EXPECT_FALSE(form->ComPort1.Connected());

  // The download button ends the same way and does not go on to the download.
  QTest::mouseClick(form->LoggerButton, Qt::LeftButton);
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_TRUE(form->LoggerButton->isVisible());
  // Still usable.
  QTest::mouseClick(form->ToolButton3, Qt::LeftButton);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[2].kind, BoxKind::Information);
  EXPECT_TRUE(form->Startbutton->isEnabled());
}

TEST_F(WindowTest, ResetAfterAReadClosesThePortAndTabSwitchResetsWithoutClosing) {
  ReadNewLogger(QuickOptions());
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_TRUE(form->ResetButton1->isVisible());
  EXPECT_FALSE(form->Startbutton->isEnabled());

  // Away to the firmware tab and back: reset, the port stays open.
  form->PageControl1->setCurrentIndex(1);
  EXPECT_EQ(Panel(1), "Bootloader Brücke im Logger setzen, danach Logger einschalten");
  EXPECT_EQ(form->StatusBar1->Color(), clBtnFace);
  form->PageControl1->setCurrentIndex(0);
  ExpectResetState(*form);
  EXPECT_TRUE(form->ComPort1.Connected());
  EXPECT_EQ(Panel(0), "verbunden");

  // "zum Anfang" closes it.
  ReadConfiguration();
  ASSERT_TRUE(form->ResetButton1->isVisible());
  QTest::mouseClick(form->ResetButton1, Qt::LeftButton);
  ExpectResetState(*form);
  EXPECT_FALSE(form->ComPort1.Connected());
  EXPECT_TRUE(ui.boxes.empty());
}

// While the window is idle, what the logger sends reaches the receive ring through the
// event thread and ComPort1RxChar on the window's thread; Empfang then hands it out in
// order, and times out once the ring and the line are empty.
TEST_F(WindowTest, BytesArrivingWhileIdleLandInTheRingInOrder) {
  ReadNewLogger(QuickOptions());
  ASSERT_TRUE(form->ComPort1.Connected());
  const int32_t before = form->Ring.Unread();
  const std::vector<uint8_t> announce = loggersim::BuildAnnounce(Sim().CurrentConfig());
  Sim().PowerOn();
  ASSERT_TRUE(WaitFor([&] {
    return form->Ring.Unread() - before >= static_cast<int32_t>(announce.size());
  })) << "ring holds "
      << form->Ring.Unread() - before;
  EXPECT_EQ(form->ComPort1.PendingInput(), 0);  // taken by the notification, not by polling
  for (int32_t i = 0; i < before; ++i) form->Empfang();
  std::vector<uint8_t> got;
  for (size_t i = 0; i < announce.size(); ++i) {
    form->Empfang();
    ASSERT_FALSE(form->Ring.RxTimedOut);
    got.push_back(form->Ring.RxByte);
  }
  // The announce may start with more sync bytes than BuildAnnounce writes; compare from
  // the lead byte on.
  auto tail = [](const std::vector<uint8_t>& v) {
    size_t k = 0;
    while (k < v.size() && v[k] == 0x55) ++k;
    return std::vector<uint8_t>(v.begin() + static_cast<long>(k), v.end());
  };
  const std::vector<uint8_t> body = tail(announce);
  std::vector<uint8_t> gotBody = tail(got);
  while (gotBody.size() < body.size()) {
    form->Empfang();
    ASSERT_FALSE(form->Ring.RxTimedOut);
    gotBody.push_back(form->Ring.RxByte);
  }
  EXPECT_EQ(gotBody, body);
  form->Empfang();
  EXPECT_TRUE(form->Ring.RxTimedOut);
  EXPECT_EQ(form->Ring.RxByte, 0);
}
