#include "cli/report.h"

#include <cstdio>
#include <iostream>

#include "cli/console.h"
#include "cli/interrupt.h"

namespace cli {

Reporter::Reporter(std::FILE* err, bool quiet)
    : err_(err), quiet_(quiet), terminal_(IsTerminal(err)) {}

void Reporter::EndProgressLine() {
  if (progressOpen_ && terminal_) std::fputc('\n', err_);
  progressOpen_ = false;
}

void Reporter::Status(const std::string& text) {
  if (quiet_ || text == lastStatus_) return;
  lastStatus_ = text;
  EndProgressLine();
  std::fprintf(err_, "%s\n", text.c_str());
  std::fflush(err_);
}

bool Reporter::ProgressDue() const {
  if (quiet_) return false;
  const auto since = std::chrono::steady_clock::now() - lastProgress_;
  if (terminal_) return !progressOpen_ || since >= std::chrono::milliseconds(100);
  return since >= std::chrono::seconds(1);
}

void Reporter::Progress(const std::string& text, bool final) {
  if (quiet_) return;
  const auto now = std::chrono::steady_clock::now();
  if (terminal_) {
    // In place, at most ten times a second, and always the last state.
    if (!final && progressOpen_ && now - lastProgress_ < std::chrono::milliseconds(100)) return;
    std::fprintf(err_, "\r\033[K%s", text.c_str());
    progressOpen_ = true;
    if (final) EndProgressLine();
  } else {
    if (!final && now - lastProgress_ < std::chrono::seconds(1)) return;
    std::fprintf(err_, "%s\n", text.c_str());
  }
  lastProgress_ = now;
  std::fflush(err_);
}

void Reporter::Message(const std::string& text) {
  EndProgressLine();
  std::fprintf(err_, "morvala-cli: %s\n", text.c_str());
  std::fflush(err_);
}

template <class Observer>
void ReportingObserver<Observer>::Pause(int ms) {
  SleepInterruptibly(ms);
}

template class ReportingObserver<ConfigObserver>;
template class ReportingObserver<DownloadObserver>;
template class ReportingObserver<firmware::FirmwareObserver>;

void DownloadReport::HeaderRead(const DownloadHeader& header, int eepromKByte) {
  recordLength_ = RecordLength(header.RecordFlags1, header.RecordFlags2);
  if (recordLength_ > 0 && header.DataLength != 0)
    announced_ = (header.ByteBudget(eepromKByte) + recordLength_ - 1) / recordLength_;
}

std::string DownloadReport::Line() const {
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char buf[160];
  const long bytes = static_cast<long>(count_) * recordLength_;
  int n = std::snprintf(buf, sizeof buf, "%d Datensätze, %ld Bytes, %.0f Datensätze/s, %.1f s",
                        count_, bytes, s > 0 ? count_ / s : 0.0, s);
  if (announced_ > 0 && n > 0 && n < static_cast<int>(sizeof buf))
    std::snprintf(buf + n, sizeof buf - n, " (%d %%)",
                  static_cast<int>(std::min<int64_t>(100, int64_t{count_} * 100 / announced_)));
  return buf;
}

void DownloadReport::RecordsSoFar(int32_t count) {
  count_ = count;
  // Every 64th record asks the clock: the line, not the progress, sets the pace.
  if ((count & 63) == 1 && r_.ProgressDue()) r_.Progress(Line());
}

void DownloadReport::Done() {
  if (count_ > 0) r_.Progress(Line(), true);
}

bool FirmwareReport::ConfirmBurn(const std::string& question) {
  if (yes_) return true;
  return AskOnTerminal(question);
}

void FirmwareReport::LogLine(const std::string& line) {
  // The log's own head and the bootloader's answers; the lines sent show as progress.
  if (line.size() > 1 || line == " ") {
    if (line != " ") r_.Status(line);
  }
}

void FirmwareReport::HexLineSending(int number, const std::string&) {
  sent_ = number;
  r_.Progress(std::to_string(sent_) + " von " + std::to_string(lines_) + " Zeilen gesendet");
}

void FirmwareReport::Done() {
  if (sent_ > 0)
    r_.Progress(std::to_string(sent_) + " von " + std::to_string(lines_) + " Zeilen gesendet",
                true);
}

bool AskOnTerminal(const std::string& question) {
  if (!CanAsk()) return false;
  std::fprintf(stderr, "%s [j/N] ", question.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "j" || answer == "J" || answer == "ja" || answer == "Ja";
}

}  // namespace cli
