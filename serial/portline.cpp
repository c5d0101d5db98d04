#include "serial/portline.h"

#include <chrono>
#include <thread>

#include "serial/comport.h"
#include "serial/rxring.h"

bool PortLine::Connected() const { return port_.Connected(); }

void PortLine::Open() { port_.Open(); }

int32_t PortLine::Write(const void* bytes, int32_t count) { return port_.Write(bytes, count); }

int64_t PortLine::WriteTimeoutMs(int32_t count) const {
  const TComTimeouts& t = port_.Timeouts();
  // The all-ones value (-1) of a total counts as 0.
  const int64_t mult = t.WriteTotalMultiplier() > 0 ? t.WriteTotalMultiplier() : 0;
  const int64_t cons = t.WriteTotalConstant() > 0 ? t.WriteTotalConstant() : 0;
  return mult * count + cons;
}

std::optional<uint8_t> PortLine::Receive() {
  if (!ring_) {
    uint8_t byte = 0;
    if (port_.Read(&byte, 1) == 1) return byte;
    return std::nullopt;
  }
  ring_->Empfang();
  if (ring_->RxTimedOut) return std::nullopt;
  return ring_->RxByte;
}

std::optional<uint8_t> PortLine::TakeReceived() {
  if (!ring_ || ring_->Unread() == 0) return std::nullopt;
  ring_->Empfang();  // a byte in the ring needs no port
  return ring_->RxByte;
}

int32_t PortLine::ReadDirect(void* buffer, int32_t count, int timeoutMs) {
  return port_.ReadWithin(buffer, count, timeoutMs);
}

void PortLine::Purge(bool input, bool output) { port_.PurgeQueues(input, output); }

int32_t PortLine::PendingInput() { return port_.PendingInput(); }

int32_t PortLine::PendingOutput() { return port_.PendingOutput(); }

int64_t PortLine::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PortLine::SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
