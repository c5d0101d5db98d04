// The firmware update against the simulated logger on a pseudo-terminal: the window's
// port, a user who answers the dialogs, and the tab's progress bar and log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "firmware/bootloader.h"
#include "serial/comport.h"
#include "fileerror/fileerror.h"
#include "firmware/hexfile.h"
#include "serial/mainsync.h"
#include "tempfiles.h"
#include "tools/sim/loggersim.h"

using namespace firmware;
using ::testing::ElementsAre;

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class FakeView : public FirmwareView {
 public:
  void SetProgressMax(int v) override { progressMax = v; }
  void SetProgressPosition(int v) override { position = v; }
  int ProgressPosition() const override { return position; }
  void SetProgressVisible(bool v) override {
    progressVisible = v;
    progressEverShown |= v;
  }
  void ClearLog() override { log.clear(); }
  void AddLogLine(const std::string& s) override { log.push_back(s); }
  void SetLogVisible(bool v) override {
    logVisible = v;
    logEverShown |= v;
  }
  int Count(const std::string& line) const {
    return static_cast<int>(std::count(log.begin(), log.end(), line));
  }

  int progressMax = 200, position = 0;
  bool progressVisible = false, logVisible = false;
  bool progressEverShown = false, logEverShown = false;
  std::vector<std::string> log;
};

struct Box {
  BoxKind kind;
  std::string text;
  bool logVisible;
  int readTimeout;
};

class FakeIO : public UserIO {
 public:
  FakeIO(FakeView& view, TCustomComPort& port) : view_(view), port_(port) {}
  void SetStatusColor(uint32_t c) override { color = c; }
  void SetStatusText(int panel, const std::string& t) override { status[panel] = t; }
  std::string StatusText(int panel) const override {
    auto it = status.find(panel);
    return it == status.end() ? "" : it->second;
  }
  void RepaintStatus() override {}
  void RepaintWindow() override { ++windowRepaints; }
  void ShowMessage(BoxKind kind, const std::string& text) override {
    boxes.push_back({kind, text, view_.logVisible, port_.Timeouts().ReadTotalConstant()});
  }
  bool Confirm(const std::string& text) override {
    confirms.push_back(text);
    if (onConfirm) onConfirm();
    return confirmAnswer;
  }
  std::optional<std::string> OpenFileName(const std::string& filter,
                                          const std::string& initial) override {
    dialogs.push_back(filter + "|" + initial);
    return fileAnswer;
  }
  std::optional<std::string> SaveFileName(const std::string&, const std::string&) override {
    ADD_FAILURE() << "save dialog during the firmware update";
    return std::nullopt;
  }
  void Beep() override {}
  void SleepMs(int ms) override {
    sleeps += ms;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  std::optional<std::string> fileAnswer;
  bool confirmAnswer = true;
  std::function<void()> onConfirm;  // while the confirmation box is up
  uint32_t color = 0;
  std::map<int, std::string> status;
  std::vector<Box> boxes;
  std::vector<std::string> confirms, dialogs;
  int windowRepaints = 0, sleeps = 0;

 private:
  FakeView& view_;
  TCustomComPort& port_;
};

std::vector<std::string> FileLines(const std::string& path) {
  HexLineReader r(path);
  std::vector<std::string> out;
  std::string line;
  while (r.NextLine(line)) out.push_back(line);
  return out;
}

std::string Concat(const std::vector<std::string>& lines, size_t n) {
  std::string s;
  for (size_t i = 0; i < n && i < lines.size(); ++i) s += lines[i];
  return s;
}

class BootloaderTest : public ::testing::Test {
 protected:
  BootloaderTest() : io(view, port) {}

  void SetUp() override {
    hexPath = dir.Write("neu.hex", ReadAll(std::string(MORVALA_SOURCE_DIR) + "/data/sample_firmware_crlf.hex"));
    lines = FileLines(hexPath);
    ASSERT_EQ(lines.size(), 58u);
    io.fileAnswer = hexPath;
  }
  void TearDown() override {
    port.Close();
    if (sim) sim->Stop();
  }

  void StartSim(loggersim::SimFaults faults, loggersim::SimMode mode = loggersim::SimMode::Bootloader,
                int baud = 0) {
    loggersim::SimOptions opt;
    opt.mode = mode;
    opt.baud = baud;
    opt.faults = faults;
    sim = std::make_unique<loggersim::LoggerSim>(opt, loggersim::SimConfig{}, loggersim::SimFlight{});
    sim->Start();
    ApplyComPort1Design(port);
    port.SetPort(sim->SlavePath());
    port.SetMainThreadSync(&sync);
  }

  // Runs the click and returns its duration in ms.
  int64_t Run(int drainLimitMs = kDrainLimitMs) {
    const int64_t t0 = NowMs();
    RunFirmwareUpdate(port, io, view, exportFileName, drainLimitMs);
    return NowMs() - t0;
  }

  // The log lines after "sende HEX-File zum Logger": HEX line, answer, HEX line, ...
  std::vector<std::string> TransferLog() const {
    auto it = std::find(view.log.begin(), view.log.end(), "sende HEX-File zum Logger");
    if (it == view.log.end()) return {};
    return std::vector<std::string>(it + 1, view.log.end());
  }

  // Everything is put back whatever the end.
  void ExpectRestored() {
    EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 20);
    EXPECT_FALSE(view.logVisible);
    EXPECT_FALSE(view.progressVisible);
  }
  // An error of the file or the port leaves log and progress bar up for the caller's
  // error box; the port's read time-out is untouched all the same.
  void ExpectRestoredBehindErrorBox() {
    EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 20);
    EXPECT_TRUE(view.logVisible);
    EXPECT_TRUE(view.progressVisible);
  }

  std::string Received() const {
    auto bytes = sim->Received();
    return std::string(bytes.begin(), bytes.end());
  }

  TempDir dir;
  std::string hexPath;
  std::vector<std::string> lines;
  MainThreadSync sync;
  TComPort port;
  FakeView view;
  FakeIO io;
  std::string exportFileName = "vorher.csv";
  std::unique_ptr<loggersim::LoggerSim> sim;
};

TEST(TabSheet2, ShowsTheHint) {
  FakeView view;
  TComPort port;
  FakeIO io(view, port);
  io.color = StatusColorFailure;
  TabSheet2Show(io);
  EXPECT_EQ(io.color, clBtnFace);
  EXPECT_EQ(io.StatusText(1), "Bootloader Brücke im Logger setzen, danach Logger einschalten");
}

TEST_F(BootloaderTest, ReadyOnSecondTriggerBurnsTheWholeFile) {
  loggersim::SimFaults f;
  f.bootReadyOnTrigger = 2;
  StartSim(f);
  io.status[1] = "alter Text";
  const int64_t ms = Run();

  EXPECT_THAT(io.dialogs, ElementsAre("*.hex|*.hex"));
  EXPECT_EQ(io.windowRepaints, 1);
  EXPECT_EQ(exportFileName, hexPath);
  EXPECT_THAT(io.confirms, ElementsAre("soll neu.hex wirklich in den Logger gebrannt werden?"));
  EXPECT_EQ(io.color, clBtnFace);
  EXPECT_EQ(io.StatusText(1), "");

  ASSERT_GE(view.log.size(), 9u);
  EXPECT_THAT(std::vector<std::string>(view.log.begin(), view.log.begin() + 9),
              ElementsAre("Firmwareupdate für Logger mit Bootloader", "neues HEX-File: neu.hex",
                          "Filelänge: 58 Zeilen", " ", "triggere Bootloader", "Antwort:",
                          "triggere Bootloader", "Antwort:r", "sende HEX-File zum Logger"));
  EXPECT_EQ(view.Count("triggere Bootloader"), 2);

  const auto transfer = TransferLog();
  ASSERT_EQ(transfer.size(), 2 * lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(transfer[2 * i], lines[i]);
    EXPECT_EQ(transfer[2 * i + 1], i + 1 == lines.size() ? "S" : ".");
  }
  EXPECT_EQ(view.progressMax, 58);
  EXPECT_EQ(view.position, 58);

  // The bootloader got two triggers and the lines exactly as stored, no line ends.
  EXPECT_EQ(Received(), "!!" + Concat(lines, lines.size()));
  EXPECT_EQ(sim->ProgrammedRecords(), lines);
  EXPECT_TRUE(sim->Finished());

  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0].kind, BoxKind::Information);
  EXPECT_EQ(io.boxes[0].text, "neue Firmware erfolgreich gebrannt");
  EXPECT_TRUE(io.boxes[0].logVisible);
  // The answers are read with their own time-out: the port's stays at its usual value.
  EXPECT_EQ(io.boxes[0].readTimeout, 20);
  EXPECT_EQ(io.sleeps, 58 * 10);
  ExpectRestored();
  EXPECT_TRUE(port.Connected());  // the port stays open
  // Drain (1 s) and one unanswered trigger (1 s) at least.
  EXPECT_GE(ms, 1800);
  EXPECT_LT(ms, 20000);
}

TEST_F(BootloaderTest, SilentBootloaderGetsThreeTriggers) {
  loggersim::SimFaults f;
  f.bootSilent = true;
  StartSim(f);
  const int64_t ms = Run();

  EXPECT_EQ(view.Count("triggere Bootloader"), 3);
  EXPECT_EQ(view.Count("Antwort:"), 3);
  EXPECT_EQ(view.log.back(), "## Bootloader meldet sich nicht");
  EXPECT_TRUE(TransferLog().empty());
  ASSERT_EQ(io.boxes.size(), 1u);  // no BRENNFEHLER
  EXPECT_EQ(io.boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(io.boxes[0].text, "Bootloader meldet sich nicht\rFirmwareupdate nicht möglich");
  EXPECT_TRUE(io.boxes[0].logVisible);
  EXPECT_EQ(Received(), "!!!");
  EXPECT_EQ(view.position, 0);
  ExpectRestored();
  EXPECT_GE(ms, 3600);  // drain and three read time-outs of 1000 ms
  EXPECT_LT(ms, 20000);
}

TEST_F(BootloaderTest, BadOrMissingAnswerStopsTheTransfer) {
  struct Case { int badAt; int silentAt; std::string lastLog; };
  for (const Case& c : {Case{7, -1, "E"}, Case{12, -1, "?"}, Case{-1, 5, ""}}) {
    SCOPED_TRACE(c.lastLog);
    loggersim::SimFaults f;
    f.bootBadAnswerAtLine = c.badAt;
    if (!c.lastLog.empty()) f.bootBadAnswer = c.lastLog[0];
    f.bootNoAnswerAtLine = c.silentAt;
    StartSim(f);
    io.boxes.clear();
    Run();
    const int m = c.badAt > 0 ? c.badAt : c.silentAt;

    EXPECT_EQ(view.position, m);
    const auto transfer = TransferLog();
    ASSERT_EQ(transfer.size(), 2u * m);
    EXPECT_EQ(transfer.back(), c.lastLog);
    EXPECT_EQ(transfer[2 * m - 2], lines[m - 1]);
    // Nothing after line m went out.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Received(), "!" + Concat(lines, m));
    ASSERT_EQ(io.boxes.size(), 1u);
    EXPECT_EQ(io.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(io.boxes[0].text, "BRENNFEHLER");
    EXPECT_TRUE(io.boxes[0].logVisible);
    EXPECT_EQ(io.boxes[0].readTimeout, 20);
    ExpectRestored();
    port.Close();
    sim->Stop();
  }
}

TEST_F(BootloaderTest, AllLinesAcceptedButNoEndIsAFailure) {
  loggersim::SimFaults f;
  f.bootNoFinalS = true;
  StartSim(f);
  Run();
  EXPECT_EQ(view.position, 58);
  EXPECT_EQ(TransferLog().back(), ".");
  EXPECT_EQ(Received(), "!" + Concat(lines, lines.size()));
  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0].text, "BRENNFEHLER");
  ExpectRestored();
}

TEST_F(BootloaderTest, EndBeforeTheLastLineLeavesTheRestUnsent) {
  // Blank lines after the end record pass the check but are never sent.
  hexPath = dir.Write("rest.hex", ReadAll(hexPath) + "\r\n\r\n");
  io.fileAnswer = hexPath;
  StartSim({});
  Run();
  EXPECT_EQ(view.progressMax, 60);
  EXPECT_EQ(view.Count("Filelänge: 60 Zeilen"), 1);
  EXPECT_EQ(view.position, 58);
  EXPECT_EQ(Received(), "!" + Concat(lines, lines.size()));
  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0].kind, BoxKind::Information);
  ExpectRestored();
}

TEST_F(BootloaderTest, LinesGoOutWithoutTrailingBlanksAndAsChecked) {
  // An editor's leftovers: a byte-order mark, blanks and tabs after the checksums.
  std::string text = "\xEF\xBB\xBF";
  for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i % 3 == 0 ? " \t " : "") + "\r\n";
  hexPath = dir.Write("editor.hex", text);
  io.fileAnswer = hexPath;
  // The file is saved again, broken, while the user reads the confirmation.
  io.onConfirm = [&] { dir.Write("editor.hex", ":0000000100\r\n"); };
  StartSim({});
  Run();

  EXPECT_EQ(view.Count("Filelänge: 58 Zeilen"), 1);
  const auto transfer = TransferLog();
  ASSERT_EQ(transfer.size(), 2 * lines.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(transfer[2 * i], lines[i]) << i;
  EXPECT_EQ(Received(), "!" + Concat(lines, lines.size()));
  EXPECT_EQ(sim->ProgrammedRecords(), lines);
  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0].text, "neue Firmware erfolgreich gebrannt");
  ExpectRestored();
}

TEST_F(BootloaderTest, NothingIsSentWithoutAGoodFileAndAYes) {
  StartSim({});
  // Abort in the confirmation.
  io.confirmAnswer = false;
  Run();
  EXPECT_EQ(io.confirms.size(), 1u);
  EXPECT_TRUE(io.boxes.empty());
  EXPECT_FALSE(view.logEverShown);
  EXPECT_FALSE(view.progressEverShown);
  EXPECT_FALSE(port.Connected());

  // A broken file: the box names the line, no confirmation is asked.
  auto broken = lines;
  broken[16].back() = broken[16].back() == '0' ? '1' : '0';
  std::string text;
  for (const auto& l : broken) text += l + "\n";
  io.fileAnswer = dir.Write("kaputt.hex", text);
  io.confirms.clear();
  Run();
  EXPECT_TRUE(io.confirms.empty());
  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(io.boxes[0].text,
            "Zeile 17 ist kein gültiger HEX-Datensatz\rFirmwareupdate nicht möglich");

  // An empty file fails the check too.
  io.fileAnswer = dir.Write("leer.hex", "");
  io.boxes.clear();
  Run();
  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0].text, "Zeile 1 ist kein gültiger HEX-Datensatz\rFirmwareupdate nicht möglich");

  // A file over 4 MiB is refused before it is checked or counted.
  io.fileAnswer = dir.Write("riesig.hex", ReadAll(hexPath) + std::string(4 * 1024 * 1024, '\n'));
  io.boxes.clear();
  Run();
  EXPECT_TRUE(io.confirms.empty());
  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(io.boxes[0].text, "Die Datei ist größer als 4 MiB\rFirmwareupdate nicht möglich");

  // Cancelled dialog, and a dialog that returns the mask.
  io.boxes.clear();
  io.fileAnswer.reset();
  exportFileName = "vorher.csv";
  Run();
  EXPECT_EQ(exportFileName, "vorher.csv");
  io.fileAnswer = "*.hex";
  Run();
  EXPECT_EQ(exportFileName, "*.hex");
  EXPECT_TRUE(io.boxes.empty());

  EXPECT_FALSE(view.logEverShown);
  EXPECT_FALSE(view.progressEverShown);
  EXPECT_FALSE(port.Connected());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Received(), "");
  EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 20);
}

TEST_F(BootloaderTest, FileAndPortErrorsPassThroughAndRestore) {
  StartSim({});
  io.fileAnswer = dir.File("fehlt.hex");
  try {
    Run();
    ADD_FAILURE() << "missing file not reported";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Datei nicht gefunden");
  }
  // Nothing was shown yet.
  EXPECT_FALSE(view.logEverShown);
  ExpectRestored();

  // A port that cannot be opened: the port's own error, with the log still up.
  io.fileAnswer = hexPath;
  port.SetPort(dir.File("kein-geraet"));
  EXPECT_THROW(Run(), EComPort);
  ExpectRestoredBehindErrorBox();
  EXPECT_EQ(view.log.back(), " ");
  EXPECT_TRUE(io.boxes.empty());
  EXPECT_EQ(Received(), "");
}

TEST_F(BootloaderTest, HangUpInTheTransferRestores) {
  loggersim::SimFaults f;
  f.hangupAt = 4;  // "r" and three acknowledgements, then the line is gone
  StartSim(f);
  const int64_t t0 = NowMs();
  bool threw = false;
  try {
    Run();
  } catch (const std::exception&) {
    threw = true;
  }
  EXPECT_LT(NowMs() - t0, 20000);
  // Either the port reports the lost line, or the missing answer fails the burn.
  if (!threw) {
    ASSERT_FALSE(io.boxes.empty());
    EXPECT_EQ(io.boxes.back().text, "BRENNFEHLER");
    EXPECT_TRUE(io.boxes.back().logVisible);
    ExpectRestored();
  } else {
    ExpectRestoredBehindErrorBox();
  }
  EXPECT_GE(view.position, 3);
  EXPECT_LE(view.position, 5);
}

TEST_F(BootloaderTest, NeverSilentLoggerBoundsTheDrain) {
  loggersim::SimFaults f;
  f.babble = true;
  StartSim(f, loggersim::SimMode::Normal, 38400);
  const int64_t ms = Run(1500);
  ASSERT_GE(view.log.size(), 6u);
  EXPECT_EQ(view.log[4], "Logger sendet ununterbrochen - Trigger wird trotzdem gesendet");
  EXPECT_EQ(view.log[5], "triggere Bootloader");
  EXPECT_GE(ms, 1400);
  EXPECT_LT(ms, 15000);
  ASSERT_FALSE(io.boxes.empty());
  EXPECT_EQ(io.boxes.back().kind, BoxKind::Error);
  ExpectRestored();
}

}  // namespace
