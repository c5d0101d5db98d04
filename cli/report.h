// What morvala-cli says while an exchange runs, on standard error: the exchange's status
// texts as lines; the download's and the update's progress, on a terminal as one line
// that updates in place, otherwise one line per second at most; nothing with -q.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "protocol/bootloader.h"
#include "protocol/configread.h"
#include "protocol/download.h"

namespace cli {

// The lines and the progress line of one run.
class Reporter {
 public:
  Reporter(std::FILE* err, bool quiet);
  // A status text of the exchange, once per new text.
  void Status(const std::string& text);
  // The progress line: replaced in place on a terminal, else printed once per second.
  void Progress(const std::string& text, bool final = false);
  // Whether a progress line now would be shown (so that it is only made then).
  bool ProgressDue() const;
  // A warning or an error: always printed (also with -q), on a line of its own.
  void Message(const std::string& text);
  bool Quiet() const { return quiet_; }

 private:
  void EndProgressLine();
  std::FILE* err_;
  bool quiet_;
  bool terminal_;
  bool progressOpen_ = false;
  std::string lastStatus_;
  std::chrono::steady_clock::time_point lastProgress_{};
};

// The status of any exchange, as lines.
template <class Observer>
class ReportingObserver : public Observer {
 public:
  explicit ReportingObserver(Reporter& r) : r_(r) {}
  // Panel 1 as the window shows it, and the opened port's "verbunden" of panel 0.
  void StatusText(int panel, const std::string& text) override {
    if (panel == 1 || text == kTextConnected) text_ = text;
  }
  void StatusShown() override {
    // The window's request to press its read button means nothing here.
    if (!text_.empty() && text_ != kTextPressRead) r_.Status(text_);
  }
  void Pause(int ms) override;

 protected:
  Reporter& r_;
  std::string text_;
};

using ConfigReport = ReportingObserver<ConfigObserver>;

// The download's progress: records, bytes, rate, elapsed; percent when the header
// announces the amount.
class DownloadReport : public ReportingObserver<DownloadObserver> {
 public:
  using ReportingObserver::ReportingObserver;
  void HeaderRead(const DownloadHeader& header, int eepromKByte) override;
  void RecordsSoFar(int32_t count) override;
  // The last progress line, once the download has ended.
  void Done();

 private:
  std::string Line() const;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  int32_t count_ = 0;
  int recordLength_ = 0;
  int32_t announced_ = 0;  // records the header announces, 0 for "the whole EEPROM"
};

// The update's progress and its question.
class FirmwareReport : public ReportingObserver<firmware::FirmwareObserver> {
 public:
  FirmwareReport(Reporter& r, bool yes) : ReportingObserver(r), yes_(yes) {}
  bool ConfirmBurn(const std::string& question) override;
  void UpdateStarted(int lineCount) override { lines_ = lineCount; }
  void LogLine(const std::string& line) override;
  void HexLineSending(int number, const std::string& line) override;
  void Done();

 private:
  bool yes_;
  int lines_ = 0;
  int sent_ = 0;
};

// A yes/no question on the terminal (standard error and standard input); false when
// there is no terminal to ask.
bool AskOnTerminal(const std::string& question);

}  // namespace cli
