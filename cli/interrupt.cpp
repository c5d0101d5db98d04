#include "cli/interrupt.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "serial/mainsync.h"
#include "serial/rxring.h"

namespace cli {

namespace {

volatile std::sig_atomic_t noted = 0;

constexpr int kSliceMs = 50;

}  // namespace

void NoteInterrupt(int signal) { noted = signal; }

int InterruptSignal() { return noted; }

void ThrowIfInterrupted() {
  if (noted) throw Interrupted(noted);
}

void SleepInterruptibly(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    ThrowIfInterrupted();
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        end - now, std::chrono::milliseconds(kSliceMs)));
  }
}

void ToolLine::Pump() {
  ThrowIfInterrupted();
  if (sync_) sync_->RunPending();
}

void ToolLine::Open() {
  ThrowIfInterrupted();
  inner_.Open();
}

int32_t ToolLine::Write(const void* bytes, int32_t count) {
  Pump();
  return inner_.Write(bytes, count);
}

std::optional<uint8_t> ToolLine::Receive() {
  // A byte already in the ring is taken at once; the batches are run when it is empty.
  if (ring_ && ring_->Unread() > 0) {
    ThrowIfInterrupted();
    return inner_.Receive();
  }
  Pump();
  const std::optional<uint8_t> b = inner_.Receive();
  if (!b) Pump();  // what arrived during the read time-out is in the ring for the next one
  return b;
}

std::optional<uint8_t> ToolLine::TakeReceived() {
  if (sync_) sync_->RunPending();
  return inner_.TakeReceived();
}

int32_t ToolLine::ReadDirect(void* buffer, int32_t count, int timeoutMs) {
  // The wait for the first byte in slices, so that a signal ends it soon. The answer is
  // read from the port itself: nothing is handed over meanwhile.
  const int64_t end = inner_.NowMs() + timeoutMs;
  for (;;) {
    ThrowIfInterrupted();
    const int64_t left = end - inner_.NowMs();
    const int32_t got =
        inner_.ReadDirect(buffer, count, static_cast<int>(std::clamp<int64_t>(left, 0, kSliceMs)));
    if (got != 0 || left <= kSliceMs) return got;
  }
}

void ToolLine::Purge(bool input, bool output) {
  Pump();
  inner_.Purge(input, output);
}

int32_t ToolLine::PendingInput() {
  Pump();
  return inner_.PendingInput();
}

int32_t ToolLine::PendingOutput() {
  Pump();
  return inner_.PendingOutput();
}

void ToolLine::SleepMs(int ms) {
  SleepInterruptibly(ms);
  if (sync_) sync_->RunPending();
}

}  // namespace cli
