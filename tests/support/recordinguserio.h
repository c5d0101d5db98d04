// The user as the exchanges meet them in tests, fuzz targets and benchmarks: a UserIO that
// records the status bar (colour, both panels, the history of panel 1), the repaints and
// the sleeps, and passes every box and file dialog to UiTestAnswers, which records them
// and gives the answers. Plain C++, without GoogleTest.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/support/answers.h"
#include "frontend/userio.h"

class RecordingUserIO : public UserIO {
 public:
  UiTestAnswers ui;  // boxes, file dialogs, beeps and the answers to give

  uint32_t color = clBtnFace;
  std::vector<uint32_t> colors;  // every colour set, in order
  std::string panel[2];
  std::vector<std::string> panel1History;  // every text set on panel 1, in order
  int statusRepaints = 0;
  int windowRepaints = 0;
  std::vector<int> sleeps;  // every sleep asked for, in ms

  // How a sleep passes, called after it is recorded; unset, it takes no time.
  std::function<void(int ms)> onSleep;
  // Called while a box or the confirmation (kind Confirmation) is up, before it is answered.
  std::function<void(BoxKind kind, const std::string& text)> whileBoxUp;

  // Sleeps for real, a divisor-th of what is asked.
  static std::function<void(int)> RealSleep(int divisor = 1);

  // Panel 1 showed this text at some time.
  bool PanelShowed(const std::string& text) const;
  // The texts of the boxes shown (not the confirmations), in order.
  std::vector<std::string> MessageTexts() const;
  int TotalSleepMs() const;

  void SetStatusColor(uint32_t c) override;
  void SetStatusText(int p, const std::string& text) override;
  std::string StatusText(int p) const override { return panel[p & 1]; }
  void RepaintStatus() override { ++statusRepaints; }
  void RepaintWindow() override { ++windowRepaints; }
  void ShowMessage(BoxKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
  std::optional<std::string> OpenFileName(const std::string& filter,
                                          const std::string& initialName) override {
    return ui.File(false, filter, initialName);
  }
  std::optional<std::string> SaveFileName(const std::string& filter,
                                          const std::string& initialName) override {
    return ui.File(true, filter, initialName);
  }
  void Beep() override { ++ui.beeps; }
  void SleepMs(int ms) override;
};
