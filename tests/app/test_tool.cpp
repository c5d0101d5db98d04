// The window and morvala-cli on the same logger: the tool's CSV is the window's export, its
// `config --set` sends the message the window sends for the same clicks, and its view of a
// first read is the window's.
#include <QCheckBox>
#include <QTest>

#include "frontend/configcontrols.h"
#include "tests/support/process.h"
#include "tests/support/window_fixture.h"

namespace {

const std::string kCli = std::string(MORVALA_BINARY_DIR) + "/morvala-cli";

class ToolBesideWindow : public WindowTest {
 protected:
  // A second logger for the tool, with the same configuration and flight.
  ProcessResult Tool(const loggersim::SimConfig& c, const loggersim::SimFlight& f,
                     std::vector<std::string> args) {
    loggersim::SimOptions o = AnnouncingOptions();
    tool = std::make_unique<loggersim::LoggerSim>(o, c, f);
    tool->Start();
    std::vector<std::string> argv = {kCli, args[0], "--port", tool->SlavePath()};
    argv.insert(argv.end(), args.begin() + 1, args.end());
    return RunProcess(argv, {"XDG_DATA_HOME=" + TempPath("data"), "LC_ALL=C"}, 120000);
  }
  void ClickTo(QCheckBox* box, bool checked) {
    if (box->isChecked() != checked) QTest::mouseClick(box, Qt::LeftButton);
  }
  std::unique_ptr<loggersim::LoggerSim> tool;
};

}  // namespace

TEST_F(ToolBesideWindow, DownloadCsvIsTheWindowsExport) {
  loggersim::SimFlight f = loggersim::SampleFlight();
  f.records.resize(300);
  StartFullSpeed(f);
  DownloadData();
  ASSERT_EQ(form->Flight.LastSampleIndex, 299) << Panel(1);
  ASSERT_TRUE(Save(TempPath("fenster.csv")));
  const ProcessResult r =
      Tool(loggersim::ConfigForFlight(f), f, {"download", "-q", "-o", TempPath("werkzeug.csv")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string window = ReadFile(TempPath("fenster.csv"));
  EXPECT_FALSE(window.empty());
  EXPECT_TRUE(ReadFile(TempPath("werkzeug.csv")) == window) << "the two CSV files differ";
}

// The clicks in the documented order of `config --set`, and the tool's changes: the same
// write message.
TEST_F(ToolBesideWindow, SetSendsTheWindowsWriteMessage) {
  loggersim::SimConfig c;
  c.recordFlags1 = 0x01;  // 16-bit ADC
  c.recordFlags2 = 0x80;  // telemetry
  c.teleFlags1 = 0x01;
  c.teleFlags2 = 0x80;
  c.serialSensor = 12;  // MPX4100
  ReadNewLogger(QuickOptions(), c);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  // 1. sensor, 2. recorded channels, 4. telemetry channels and 4800 baud, 5. interval,
  // 6. numbers; the delete choice stays at "kein".
  form->DRadioGroup->SetItemIndex(1);
  const auto rec = form->RecordBoxes();
  for (int ch = 0; ch < chCount; ++ch)
    if (ch != chTele) ClickTo(rec[ch], ch == chAD16 || ch == chGps || ch == chE1);
  const auto tele = form->TeleBoxes();
  for (int ch = 0; ch < chCount; ++ch)
    if (ch != chT4800) ClickTo(tele[ch], ch == chAD16 || ch == chGps);
  ClickTo(form->t4800bpsCheckBox, true);
  form->RadioGroup1->SetItemIndex(0);
  form->SnMaskEdit->setText("042");
  form->OffsetMaskEdit->setText("007");
  Click(form->SchreibButton1);
  ASSERT_TRUE(WaitFor([&] { return Sim().WriteMessages().size() == 1; }));
  const ProcessResult r =
      Tool(c, {},
           {"config", "-q", "--set", "sensor=MS5534A", "--set",
            "recordedChannels=16-Bit-ADC,GPS,Temp. int.", "--set",
            "telemetryChannels=16-Bit-ADC,GPS", "--set", "telemetry4800=true", "--set",
            "sampleInterval=0,02", "--set", "serialNumber=42", "--set", "offset=7"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(tool->WriteMessages().size(), 1u);
  EXPECT_EQ(tool->WriteMessages()[0], Sim().WriteMessages()[0]);
  EXPECT_EQ(Sim().WriteMessages()[0][3], 2);  // "0,06 s": GPS does not allow "0,02 s"
}

TEST_F(ToolBesideWindow, FirstReadLeavesTheControlsAsTheToolSeesThem) {
  loggersim::SimConfig mpx;  // MPX4100 with the internal temperature, "0,02 s" with GPS
  mpx.recordFlags1 = 0x01;
  mpx.recordFlags2 = 0x10 | 0x40 | 0x80;
  mpx.sampleRateCode = 0;
  mpx.teleFlags1 = 0x03;
  mpx.teleFlags2 = 0x10;
  mpx.serialSensor = 3;
  loggersim::SimConfig ms = mpx;  // the same with MS5534A and a slow interval
  ms.serialSensor = 0x80 | 3;
  ms.sampleRateCode = 249;
  for (const loggersim::SimConfig& c : {mpx, ms}) {
    ReadNewLogger(QuickOptions(), c);
    ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
    EXPECT_EQ(form->ControlsState(), ControlsAfterFirstRead(form->Config))
        << "serial/sensor byte " << int(c.serialSensor);
    form.reset();
  }
  CreateWindow();
  for (int ch = 0; ch < chCount; ++ch) {
    EXPECT_EQ(form->RecordBoxes()[ch]->text().toStdString(), RecordedCaption(ch));
    EXPECT_EQ(form->TeleBoxes()[ch]->text().toStdString(), TelemetryCaption(ch));
  }
}
