// The firmware update over a scripted line: the bootloader is played on the line's own
// clock, so its one-second answer time-out and the drain bound cost no real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "firmware/bootloader.h"
#include "firmware/hexfile.h"
#include "serial/scriptedline.h"
#include "tempfiles.h"

using namespace firmware;

namespace {

class LogView : public FirmwareView {
 public:
  void SetProgressMax(int) override {}
  void SetProgressPosition(int v) override { position = v; }
  int ProgressPosition() const override { return position; }
  void SetProgressVisible(bool) override {}
  void ClearLog() override { log.clear(); }
  void AddLogLine(const std::string& s) override { log.push_back(s); }
  void SetLogVisible(bool) override {}
  int Count(const std::string& line) const {
    return static_cast<int>(std::count(log.begin(), log.end(), line));
  }
  int position = 0;
  std::vector<std::string> log;
};

// Chooses the file, confirms, and lets its pauses pass on the line's clock.
class LineIO : public UserIO {
 public:
  explicit LineIO(ScriptedLine& line) : line_(line) {}
  void SetStatusColor(uint32_t) override {}
  void SetStatusText(int, const std::string&) override {}
  std::string StatusText(int) const override { return {}; }
  void RepaintStatus() override {}
  void RepaintWindow() override {}
  void ShowMessage(BoxKind, const std::string& text) override { boxes.push_back(text); }
  bool Confirm(const std::string&) override { return true; }
  std::optional<std::string> OpenFileName(const std::string&, const std::string&) override {
    return file;
  }
  std::optional<std::string> SaveFileName(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void Beep() override {}
  void SleepMs(int ms) override { line_.Advance(ms); }
  std::string file;
  std::vector<std::string> boxes;

 private:
  ScriptedLine& line_;
};

class ScriptedUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    hexPath = dir.Write("neu.hex", ReadAll(std::string(MORVALA_SOURCE_DIR) +
                                           "/data/sample_firmware_crlf.hex"));
    HexLineReader r(hexPath);
    std::string l;
    while (r.NextLine(l)) lines.push_back(l);
    ASSERT_FALSE(lines.empty());
    io.file = hexPath;
  }
  void Run(int drainLimitMs = kDrainLimitMs) {
    RunFirmwareUpdate(line, io, view, exportFileName, drainLimitMs);
  }
  std::string Written() const {
    return std::string(line.Written().begin(), line.Written().end());
  }

  TempDir dir;
  std::string hexPath;
  std::vector<std::string> lines;
  ScriptedLine line;
  LineIO io{line};
  LogView view;
  std::string exportFileName;
};

TEST_F(ScriptedUpdate, BootloaderThatAnswersEveryLineGetsTheWholeFile) {
  size_t answered = 0;
  // Each answer comes 900 ms after the line: late, but within the answer time-out.
  line.onWrite = [&](const std::vector<uint8_t>& w) {
    if (w.size() == 1 && w[0] == '!') return line.SendAfter(900, {'r'});
    ++answered;
    line.SendAfter(900, {static_cast<uint8_t>(answered == lines.size() ? 'S' : '.')});
  };
  Run();
  std::string all = "!";
  for (const auto& l : lines) all += l;
  EXPECT_EQ(Written(), all);
  EXPECT_EQ(view.Count("Antwort:r"), 1);
  EXPECT_EQ(view.position, static_cast<int>(lines.size()));
  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0], "neue Firmware erfolgreich gebrannt");
}

TEST_F(ScriptedUpdate, AnswerAfterTheTimeOutIsLeftForTheNextRead) {
  // Every answer comes exactly one answer time-out after what it answers: too late.
  line.onWrite = [&](const std::vector<uint8_t>&) { line.SendAfter(1000, {'r'}); };
  Run();
  // The first trigger goes unanswered; the second finds the late "r" of the first, and
  // the first line finds the second's "r", which is no acceptance.
  EXPECT_EQ(view.Count("Antwort:"), 1);
  EXPECT_EQ(view.Count("Antwort:r"), 1);
  EXPECT_EQ(Written(), "!!" + lines[0]);
  ASSERT_EQ(io.boxes.size(), 1u);
  EXPECT_EQ(io.boxes[0], "BRENNFEHLER");
}

TEST_F(ScriptedUpdate, LoggerThatNeverFallsSilentIsGivenUpBeforeTheTrigger) {
  for (int i = 0; i < 100; ++i) line.SendAfter(500, {'U'});
  Run(3000);
  EXPECT_EQ(view.Count(kDrainBoundLogLine), 1);
  // The trigger still goes out once the bound is reached; what answers is the babble.
  EXPECT_EQ(Written(), "!!!");
  EXPECT_EQ(view.Count("Antwort:U"), 3);
}

}  // namespace
