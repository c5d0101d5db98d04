// The firmware update over a scripted line: the bootloader is played on the line's own
// clock, so its one-second answer time-out and the drain bound cost no real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/bootloader.h"
#include "formats/hexfile.h"
#include "serial/scriptedline.h"
#include "firmware_support.h"
#include "tests/support/files.h"
#include "tests/support/recordinguserio.h"

using namespace firmware;

namespace {

class ScriptedUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    hexPath = dir.Write("neu.hex", ReadFile(SampleHexPath()));
    lines = FileLines(hexPath);
    ASSERT_FALSE(lines.empty());
    // The user chooses the file, confirms, and the pauses pass on the line's clock.
    io.ui.defaultFileAnswer = hexPath;
    io.ui.defaultConfirm = true;
    io.onSleep = [this](int ms) { line.Advance(ms); };
  }
  void Run(int drainLimitMs = kDrainLimitMs) {
    ChooseAndBurnFirmware(io, line, view, exportFileName, drainLimitMs);
  }
  std::string Written() const { return std::string(line.Written().begin(), line.Written().end()); }

  TempDir dir;
  std::string hexPath;
  std::vector<std::string> lines;
  ScriptedLine line;
  RecordingUserIO io;
  RecordingFirmwareView view{io};
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
  ASSERT_EQ(io.MessageTexts().size(), 1u);
  EXPECT_EQ(io.MessageTexts()[0], "neue Firmware erfolgreich gebrannt");
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
  ASSERT_EQ(io.MessageTexts().size(), 1u);
  EXPECT_EQ(io.MessageTexts()[0], "BRENNFEHLER");
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
