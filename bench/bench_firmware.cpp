// The firmware transfer against the simulated bootloader sending as fast as the
// pseudo-terminal takes it: the time per HEX line beyond the bootloader's own answer,
// from the simulator's log of what it received and when.
#include <QApplication>
#include <algorithm>
#include <cstdio>

#include "bench/bench.h"

namespace bench {

int RunFirmware(const Args& args) {
  const int dataLines = static_cast<int>(args.Int("lines", 400));
  Session session;
  loggersim::SimOptions o;
  o.mode = loggersim::SimMode::Bootloader;
  o.baud = 0;
  loggersim::LoggerSim& sim = session.StartSim(o);
  const auto simStart = Clock::now();  // its Start() and the settings file's write before

  loggersim::HexImage image;
  for (int i = 0; i < dataLines * 16; ++i)
    image[static_cast<uint32_t>(i)] = static_cast<uint8_t>(i * 37);
  const std::string hex = session.TempPath("bench.hex");
  if (!loggersim::WriteHexFile(image, hex)) {
    std::printf("firmware: cannot write %s\n", hex.c_str());
    return 1;
  }
  const int lines = dataLines + 1;  // and the end record

  TForm1& form = ShowWindow(session);
  form.PageControl1->setCurrentIndex(1);
  Pump(100);
  session.ui.fileAnswers.push_back(hex);
  session.ui.confirmAnswers.push_back(true);

  const auto t0 = Clock::now();
  form.Button1Click();
  const auto t1 = Clock::now();
  Pump(20);

  const bool ok = sim.Finished() && !session.ui.boxes.empty() &&
                  session.ui.boxes.back().text == "neue Firmware erfolgreich gebrannt";
  // The simulator's clock starts at its Start(); the click came this much later.
  const double clickSim = MsSince(simStart, t0);
  const auto events = sim.ReceivedEvents();
  double triggerAt = -1;
  std::vector<double> lineStarts;
  double lastByteAt = -1;
  for (const auto& e : events) {
    if (e.byte == 0x21 && lineStarts.empty()) triggerAt = e.ms;
    if (e.byte == ':') lineStarts.push_back(e.ms);
    lastByteAt = e.ms;
  }
  const double total = MsSince(t0, t1);
  if (!ok || triggerAt < 0 || static_cast<int>(lineStarts.size()) != lines) {
    std::printf("firmware: transfer did not finish (%zu of %d lines seen, %zu boxes)\n",
                lineStarts.size(), lines, session.ui.boxes.size());
    return 1;
  }
  // Fixed parts: from the click to the first line (file check, confirmation, the drain
  // of one 1000 ms read time-out, the trigger and its answer).
  const double fixed = lineStarts.front() - clickSim;
  const double perLine = (total - fixed) / lines;
  const double spacing = (lineStarts.back() - lineStarts.front()) / (lines - 1);
  const int tenth = std::max(1, lines / 10);
  const double firstTenth = (lineStarts[tenth] - lineStarts[0]) / tenth;
  const double lastTenth = (lineStarts[lines - 1] - lineStarts[lines - 1 - tenth]) / tenth;
  std::printf("  HEX file of %d lines (%d data lines + end record), bootloader answers at once\n",
              lines, dataLines);
  std::printf("  total from click to the last box            %9.1f ms\n", total);
  std::printf(
      "  fixed part: click to the first line         %9.1f ms  (drain + trigger: trigger sent at "
      "%.1f ms, "
      "after the 1000 ms silent read)\n",
      fixed, triggerAt - clickSim);
  std::printf(
      "  per line: (total - fixed) / lines           %9.3f ms  -> %6.3f ms beyond the 10 ms "
      "pause\n",
      perLine, perLine - 10.0);
  std::printf(
      "  per line: spacing of line starts at the sim %9.3f ms  -> %6.3f ms beyond the 10 ms "
      "pause\n",
      spacing, spacing - 10.0);
  std::printf(
      "  spacing in the first / last tenth of lines  %9.3f / %.3f ms (growth with the log)\n",
      firstTenth, lastTenth);
  std::printf("  after the last line's start to the end      %9.1f ms\n",
              clickSim + total - lastByteAt);
  std::printf("DATA firmware lines=%d total=%.1f fixed=%.1f perline=%.3f spacing=%.3f\n", lines,
              total, fixed, perLine, spacing);
  return 0;
}

}  // namespace bench
