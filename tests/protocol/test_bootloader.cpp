// The firmware update against the simulated logger on a pseudo-terminal: the window's
// port, a user who answers the dialogs, and the tab's progress bar and log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "protocol/bootloader.h"
#include "serial/comport.h"
#include "formats/fileerror.h"
#include "formats/hexfile.h"
#include "serial/mainsync.h"
#include "firmware_support.h"
#include "tests/support/clock.h"
#include "tests/support/files.h"
#include "serial/portline.h"
#include "tests/support/recordinguserio.h"
#include "tools/sim/loggersim.h"

using namespace firmware;
using ::testing::ElementsAre;

namespace {

struct Box {
  BoxKind kind;
  std::string text;
  bool logVisible;
  int readTimeout;
};

std::string Concat(const std::vector<std::string>& lines, size_t n) {
  std::string s;
  for (size_t i = 0; i < n && i < lines.size(); ++i) s += lines[i];
  return s;
}

class BootloaderTest : public ::testing::Test {
 protected:
  BootloaderTest() {
    io.onSleep = RecordingUserIO::RealSleep();
    io.ui.defaultConfirm = true;
    // The boxes with what was on screen behind them; the confirmations apart.
    io.whileBoxUp = [this](BoxKind kind, const std::string& text) {
      if (kind == BoxKind::Confirmation) {
        confirms.push_back(text);
        if (onConfirm) onConfirm();
      } else {
        boxes.push_back({kind, text, view.logVisible, port.Timeouts().ReadTotalConstant()});
      }
    };
  }

  void SetUp() override {
    hexPath = dir.Write("neu.hex", ReadFile(SampleHexPath()));
    lines = FileLines(hexPath);
    ASSERT_EQ(lines.size(), 58u);
    io.ui.defaultFileAnswer = hexPath;
  }
  void TearDown() override {
    port.Close();
    if (sim) sim->Stop();
    for (const auto& request : io.ui.fileRequests)
      EXPECT_FALSE(request.save) << "save dialog during the firmware update";
  }

  void StartSim(loggersim::SimFaults faults,
                loggersim::SimMode mode = loggersim::SimMode::Bootloader, int baud = 0) {
    loggersim::SimOptions opt;
    opt.mode = mode;
    opt.baud = baud;
    opt.faults = faults;
    sim =
        std::make_unique<loggersim::LoggerSim>(opt, loggersim::SimConfig{}, loggersim::SimFlight{});
    sim->Start();
    ApplyComPort1Design(port);
    port.SetPort(sim->SlavePath());
    port.SetMainThreadSync(&sync);
  }

  // Runs the click and returns its duration in ms.
  int64_t Run(int drainLimitMs = kDrainLimitMs) {
    const int64_t t0 = NowMs();
    PortLine line(port);
    ChooseAndBurnFirmware(io, line, view, exportFileName, drainLimitMs);
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
  RecordingUserIO io;
  RecordingFirmwareView view{io};
  std::vector<Box> boxes;             // every box shown, with the screen behind it
  std::vector<std::string> confirms;  // every confirmation asked
  std::function<void()> onConfirm;    // while the confirmation is up
  std::string exportFileName = "vorher.csv";
  std::unique_ptr<loggersim::LoggerSim> sim;
};

TEST_F(BootloaderTest, ReadyOnSecondTriggerBurnsTheWholeFile) {
  loggersim::SimFaults f;
  f.bootReadyOnTrigger = 2;
  StartSim(f);
  io.panel[1] = "alter Text";
  const int64_t ms = Run();

  ASSERT_EQ(io.ui.fileRequests.size(), 1u);
  EXPECT_FALSE(io.ui.fileRequests[0].save);
  EXPECT_EQ(io.ui.fileRequests[0].filter, "*.hex");
  EXPECT_EQ(io.ui.fileRequests[0].initialName, "*.hex");
  EXPECT_EQ(io.windowRepaints, 1);
  EXPECT_EQ(exportFileName, hexPath);
  EXPECT_THAT(confirms, ElementsAre("soll neu.hex wirklich in den Logger gebrannt werden?"));
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

  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Information);
  EXPECT_EQ(boxes[0].text, "neue Firmware erfolgreich gebrannt");
  EXPECT_TRUE(boxes[0].logVisible);
  // The answers are read with their own time-out: the port's stays at its usual value.
  EXPECT_EQ(boxes[0].readTimeout, 20);
  EXPECT_EQ(io.TotalSleepMs(), 58 * 10);
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
  ASSERT_EQ(boxes.size(), 1u);  // no BRENNFEHLER
  EXPECT_EQ(boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(boxes[0].text, "Bootloader meldet sich nicht\rFirmwareupdate nicht möglich");
  EXPECT_TRUE(boxes[0].logVisible);
  EXPECT_EQ(Received(), "!!!");
  EXPECT_EQ(view.position, 0);
  ExpectRestored();
  EXPECT_GE(ms, 3600);  // drain and three read time-outs of 1000 ms
  EXPECT_LT(ms, 20000);
}

TEST_F(BootloaderTest, BadOrMissingAnswerStopsTheTransfer) {
  struct Case {
    int badAt;
    int silentAt;
    std::string lastLog;
  };
  for (const Case& c : {Case{7, -1, "E"}, Case{12, -1, "?"}, Case{-1, 5, ""}}) {
    SCOPED_TRACE(c.lastLog);
    loggersim::SimFaults f;
    f.bootBadAnswerAtLine = c.badAt;
    if (!c.lastLog.empty()) f.bootBadAnswer = c.lastLog[0];
    f.bootNoAnswerAtLine = c.silentAt;
    StartSim(f);
    boxes.clear();
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
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(boxes[0].text, "BRENNFEHLER");
    EXPECT_TRUE(boxes[0].logVisible);
    EXPECT_EQ(boxes[0].readTimeout, 20);
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
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "BRENNFEHLER");
  ExpectRestored();
}

TEST_F(BootloaderTest, EndBeforeTheLastLineLeavesTheRestUnsent) {
  // Blank lines after the end record pass the check but are never sent.
  hexPath = dir.Write("rest.hex", ReadFile(hexPath) + "\r\n\r\n");
  io.ui.defaultFileAnswer = hexPath;
  StartSim({});
  Run();
  EXPECT_EQ(view.progressMax, 60);
  EXPECT_EQ(view.Count("Filelänge: 60 Zeilen"), 1);
  EXPECT_EQ(view.position, 58);
  EXPECT_EQ(Received(), "!" + Concat(lines, lines.size()));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Information);
  ExpectRestored();
}

TEST_F(BootloaderTest, LinesGoOutWithoutTrailingBlanksAndAsChecked) {
  // An editor's leftovers: a byte-order mark, blanks and tabs after the checksums.
  std::string text = "\xEF\xBB\xBF";
  for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i % 3 == 0 ? " \t " : "") + "\r\n";
  hexPath = dir.Write("editor.hex", text);
  io.ui.defaultFileAnswer = hexPath;
  // The file is saved again, broken, while the user reads the confirmation.
  onConfirm = [&] { dir.Write("editor.hex", ":0000000100\r\n"); };
  StartSim({});
  Run();

  EXPECT_EQ(view.Count("Filelänge: 58 Zeilen"), 1);
  const auto transfer = TransferLog();
  ASSERT_EQ(transfer.size(), 2 * lines.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(transfer[2 * i], lines[i]) << i;
  EXPECT_EQ(Received(), "!" + Concat(lines, lines.size()));
  EXPECT_EQ(sim->ProgrammedRecords(), lines);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "neue Firmware erfolgreich gebrannt");
  ExpectRestored();
}

TEST_F(BootloaderTest, NothingIsSentWithoutAGoodFileAndAYes) {
  StartSim({});
  // Abort in the confirmation.
  io.ui.defaultConfirm = false;
  Run();
  EXPECT_EQ(confirms.size(), 1u);
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(view.logEverShown);
  EXPECT_FALSE(view.progressEverShown);
  EXPECT_FALSE(port.Connected());

  // A broken file: the box names the line, no confirmation is asked.
  auto broken = lines;
  broken[16].back() = broken[16].back() == '0' ? '1' : '0';
  std::string text;
  for (const auto& l : broken) text += l + "\n";
  io.ui.defaultFileAnswer = dir.Write("kaputt.hex", text);
  confirms.clear();
  Run();
  EXPECT_TRUE(confirms.empty());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(boxes[0].text,
            "Zeile 17 ist kein gültiger HEX-Datensatz\rFirmwareupdate nicht möglich");

  // An empty file fails the check too.
  io.ui.defaultFileAnswer = dir.Write("leer.hex", "");
  boxes.clear();
  Run();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Zeile 1 ist kein gültiger HEX-Datensatz\rFirmwareupdate nicht möglich");

  // A file over 4 MiB is refused before it is checked or counted.
  io.ui.defaultFileAnswer =
      dir.Write("riesig.hex", ReadFile(hexPath) + std::string(4 * 1024 * 1024, '\n'));
  boxes.clear();
  Run();
  EXPECT_TRUE(confirms.empty());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(boxes[0].text, "Die Datei ist größer als 4 MiB\rFirmwareupdate nicht möglich");

  // Cancelled dialog, and a dialog that returns the mask.
  boxes.clear();
  io.ui.defaultFileAnswer.reset();
  exportFileName = "vorher.csv";
  Run();
  EXPECT_EQ(exportFileName, "vorher.csv");
  io.ui.defaultFileAnswer = "*.hex";
  Run();
  EXPECT_EQ(exportFileName, "*.hex");
  EXPECT_TRUE(boxes.empty());

  EXPECT_FALSE(view.logEverShown);
  EXPECT_FALSE(view.progressEverShown);
  EXPECT_FALSE(port.Connected());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Received(), "");
  EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 20);
}

TEST_F(BootloaderTest, FileAndPortErrorsPassThroughAndRestore) {
  StartSim({});
  io.ui.defaultFileAnswer = (dir / "fehlt.hex");
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
  io.ui.defaultFileAnswer = hexPath;
  port.SetPort((dir / "kein-geraet"));
  EXPECT_THROW(Run(), EComPort);
  ExpectRestoredBehindErrorBox();
  EXPECT_EQ(view.log.back(), " ");
  EXPECT_TRUE(boxes.empty());
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
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, "BRENNFEHLER");
    EXPECT_TRUE(boxes.back().logVisible);
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
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().kind, BoxKind::Error);
  ExpectRestored();
}

}  // namespace
