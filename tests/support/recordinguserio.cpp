#include "tests/support/recordinguserio.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <thread>

std::function<void(int)> RecordingUserIO::RealSleep(int divisor) {
  return
      [divisor](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms / divisor)); };
}

bool RecordingUserIO::PanelShowed(const std::string& text) const {
  return std::find(panel1History.begin(), panel1History.end(), text) != panel1History.end();
}

std::vector<std::string> RecordingUserIO::MessageTexts() const {
  std::vector<std::string> out;
  for (const auto& box : ui.boxes)
    if (!box.confirm) out.push_back(box.text);
  return out;
}

int RecordingUserIO::TotalSleepMs() const {
  return std::accumulate(sleeps.begin(), sleeps.end(), 0);
}

void RecordingUserIO::SetStatusColor(uint32_t c) {
  color = c;
  colors.push_back(c);
}

void RecordingUserIO::SetStatusText(int p, const std::string& text) {
  panel[p & 1] = text;
  if (p == 1) panel1History.push_back(text);
}

void RecordingUserIO::ShowMessage(BoxKind kind, const std::string& text) {
  if (whileBoxUp) whileBoxUp(kind, text);
  ui.Message(kind, text);
}

bool RecordingUserIO::Confirm(const std::string& text) {
  if (whileBoxUp) whileBoxUp(BoxKind::Confirmation, text);
  return ui.Confirm(text);
}

void RecordingUserIO::SleepMs(int ms) {
  sleeps.push_back(ms);
  if (onSleep) onSleep(ms);
}
