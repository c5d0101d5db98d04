// What the line carries besides the messages: garbage before and inside every message,
// a logger that never stops sending, and a port that another program holds.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <QElapsedTimer>

#include "fault_support.h"

namespace {

std::string ReceivedText(const loggersim::SimConfig& c, size_t bytes) {
  std::string s = "Konfiguration empfangen : " + std::to_string(c.leadByte) + " ";
  const auto all = c.Bytes();
  for (size_t i = 0; i < bytes && i < all.size(); ++i) s += std::to_string(all[i]) + " ";
  return s;
}

}  // namespace

TEST_F(FaultTest, GarbageBeforeEveryMessageIsSkipped) {
  const loggersim::SimFlight flight = ShortFlight(200);
  loggersim::SimOptions o = AnnouncingOptions();
  o.faults.garbageBefore = 7;
  ReadAnnouncingLogger(o, flight);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  const loggersim::SimConfig c = Sim().CurrentConfig();
  EXPECT_EQ(Panel(1), ReceivedText(c, c.Bytes().size()));

  Click(form->LoggerButton);
  EXPECT_EQ(form->Flight.LastSampleIndex, static_cast<int>(flight.records.size()) - 1)
      << Panel(1) << " flags " << int(form->Flight.RecordFlags1) << "/"
      << int(form->Flight.RecordFlags2) << " rate " << int(form->Flight.SampleRateCode)
      << " downloads " << Sim().Downloads() << " sent " << Sim().BytesSent() << " w9 "
      << form->Flight.HeaderWord9 << " b6 " << int(form->Flight.HeaderByte6);
  const std::string csv = TempPath("g.csv");
  ASSERT_TRUE(Save(csv)) << LastBoxText();
  const auto lines = Lines(ReadFile(csv));
  ASSERT_EQ(lines.size(), flight.records.size() + 2);
  for (size_t i = 0; i < flight.records.size(); ++i)
    ASSERT_EQ(FirstValue(lines[2 + i]), flight.records[i].adc16) << "record " << i;
  EXPECT_TRUE(ui.boxes.empty()) << LastBoxText();
}

TEST_F(FaultTest, GarbageInsideTheConfigurationKeepsWhatCameBeforeIt) {
  loggersim::SimOptions o = AnnouncingOptions();
  o.faults.garbageInsideAt = 3 + 2 + 4;  // after the fourth configuration byte
  o.faults.garbageInsideCount = 5;
  StartSim(o, DefaultFlight());
  CreateWindow();
  QElapsedTimer t;
  t.start();
  Click(form->Startbutton);
  EXPECT_LT(t.elapsed(), 30000);
  // The logger's bytes up to the garbage arrive as sent; what follows cannot be told
  // from good data, and the read ends like any other.
  const loggersim::SimConfig c = Sim().CurrentConfig();
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_EQ(Panel(1).substr(0, ReceivedText(c, 4).size()), ReceivedText(c, 4));
  EXPECT_TRUE(ui.boxes.empty()) << LastBoxText();
  ExpectACleanReadWorks();
}

TEST_F(FaultTest, GarbageInsideTheDownloadKeepsTheRecordsBeforeIt) {
  const loggersim::SimFlight flight = ShortFlight(200);
  const int intact = 50;
  loggersim::SimOptions o = AnnouncingOptions();
  o.faults.garbageInsideAt = o.downloadSyncCount + 1 + 23 + intact * flight.RecordSize();
  o.faults.garbageInsideCount = 11;
  ReadAnnouncingLogger(o, flight);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  QElapsedTimer t;
  t.start();
  Click(form->LoggerButton);
  EXPECT_LT(t.elapsed(), 60000);
  const int last = form->Flight.LastSampleIndex;
  // The byte budget ends the loop: the garbage pushes the last records out of it.
  EXPECT_GE(last, intact);
  EXPECT_LE(last, static_cast<int>(flight.records.size()) - 1);
  EXPECT_EQ(Panel(1), std::to_string(last) + " Datenblöcke gelesen - Datei nun speichern");
  const std::string csv = TempPath("gi.csv");
  ASSERT_TRUE(Save(csv)) << LastBoxText();
  const auto lines = Lines(ReadFile(csv));
  ASSERT_EQ(lines.size(), static_cast<size_t>(last + 3));
  for (int i = 0; i < intact; ++i)
    ASSERT_EQ(FirstValue(lines[2 + i]), flight.records[i].adc16) << i;
  ExpectACleanReadWorks();
}

TEST_F(FaultTest, LoggerThatNeverStopsSendingEndsAtTheFullTable) {
  // Two bytes a record: the table's 65536 records are 128 KiB of stream. The header
  // announces no length, so the budget is the EEPROM's 256 kByte, more than the table.
  loggersim::SimFlight flight = ShortFlight(50);
  flight.recordFlags1 = 0x01;
  flight.recordFlags2 = 0x00;
  flight.dataLength = 0;
  loggersim::SimOptions o = AnnouncingOptions();
  o.faults.endless = true;
  loggersim::SimConfig c = loggersim::ConfigForFlight(flight);
  c.eepromSize = 8;  // 256 kByte
  ReadAnnouncingLogger(o, c, flight);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  QElapsedTimer t;
  t.start();
  Click(form->LoggerButton);
  EXPECT_LT(t.elapsed(), 180000);
  EXPECT_EQ(form->Flight.LastSampleIndex, 65535);
  EXPECT_EQ(Panel(1), "65535 Datenblöcke gelesen - Datei nun speichern");
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorSuccess);
  for (int i = 0; i < 50; ++i)
    ASSERT_EQ(form->Flight.SampleTable[i].b[0] * 256 + form->Flight.SampleTable[i].b[1],
              flight.records[i].adc16)
        << i;

  // The logger still sends: the next read gives up within its bounds and says so.
  form->Flight.ExportFirstIndex = 0;
  const std::string csv = TempPath("endless.csv");
  ASSERT_TRUE(Save(csv)) << LastBoxText();
  EXPECT_EQ(Lines(ReadFile(csv)).size(), 65536u + 2);
  Click(form->ResetButton1);
  t.restart();
  Click(form->Startbutton);
  EXPECT_LT(t.elapsed(), 60000);
  EXPECT_FALSE(form->Flags.ConfigRead);
  ExpectGermanReport();
  // And a logger that behaves is read afterwards.
  Sim().Stop();
  ExpectACleanReadWorks();
}

TEST_F(FaultTest, NeverSilentLineBeforeTheFirmwareUpdateIsGivenUp) {
  loggersim::SimOptions o = AnnouncingOptions();
  o.faults.babble = true;
  StartSim(o, DefaultFlight());
  CreateWindow();
  form->PageControl1->setCurrentIndex(1);
  ui.fileAnswers.push_back(std::string(MORVALA_SOURCE_DIR) + "/data/sample_firmware_crlf.hex");
  ui.confirmAnswers.push_back(true);
  QElapsedTimer t;
  t.start();
  Click(form->Button1);
  EXPECT_LT(t.elapsed(), 60000);
  ExpectGermanReport();
  EXPECT_FALSE(form->Memo1->isVisible());
  EXPECT_EQ(form->ComPort1.Timeouts().ReadTotalConstant(), 20);
  ExpectACleanReadWorks();
}

TEST_F(FaultTest, PortHeldByAnotherProgramIsReportedAndWorksOnceFreed) {
  StartSim(AnnouncingOptions(), DefaultFlight());
  const std::string slave = Sim().SlavePath();
  // The other program: opened, locked the way serial programs lock, and exclusive.
  const int other = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ::ioctl(other, TIOCEXCL);
  CreateWindow();
  Click(form->Startbutton);
  EXPECT_FALSE(form->ComPort1.Connected());
  EXPECT_EQ(Panel(1), "Serielle Schnittstelle konte nicht geöffnet werden");
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorFailure);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
  EXPECT_TRUE(LooksGerman(ui.boxes[0].text)) << ui.boxes[0].text;
  EXPECT_TRUE(form->Startbutton->isEnabled());

  // Freed: the same button now works.
  ::ioctl(other, TIOCNXCL);
  ::close(other);
  ui.boxes.clear();
  Click(form->Startbutton);
  EXPECT_TRUE(form->Flags.ConfigRead) << Panel(1) << " " << LastBoxText();
  EXPECT_EQ(Sim().Acks(), 1);
}
