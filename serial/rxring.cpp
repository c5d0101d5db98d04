#include "serial/rxring.h"

#include <algorithm>
#include <cstring>

#include "serial/comport.h"

namespace {
const char kOverflowText[] = "FiFo-Puffer der COM-Schnittstelle übergelaufen!";
const char k80FullText[] = "Puffer der COM-Schnittstelle 80% übergelaufen!";
}  // namespace

ReceiveRing::ReceiveRing(TCustomComPort& port, std::function<void(const std::string&)> showMessage)
    : port_(port), showMessage_(std::move(showMessage)) {}

int32_t ReceiveRing::Append(const uint8_t* bytes, int32_t count) {
  if (count <= 0) return 0;
  // At most kSize - 1 unread bytes: equal indexes mean empty.
  const int32_t room = kSize - 1 - Unread();
  const int32_t n = std::min(count, room);
  const int32_t first = std::min(n, kSize - RxHead);
  std::memcpy(ring_ + RxHead, bytes, static_cast<size_t>(first));
  std::memcpy(ring_, bytes + first, static_cast<size_t>(n - first));
  RxHead = (RxHead + n) % kSize;
  return n;
}

void ReceiveRing::ComPort1RxChar(int32_t /*count*/) {
  uint8_t chunk[kChunk];
  const int32_t got = port_.Read(chunk, kChunk);
  if (got <= 0) return;
  // The unread bytes are kept; what of this read does not fit is dropped, and the user
  // hears of it once.
  if (Append(chunk, got) < got) ShowOnce(kOverflowText);
}

void ReceiveRing::ComPort1Rx80Full() { ShowOnce(k80FullText); }

// A modal box lets the next receive notifications run; while one warning is on the
// screen, further warnings do not pile up boxes on top of it.
void ReceiveRing::ShowOnce(const char* text) {
  if (!showMessage_ || showing_) return;
  showing_ = true;
  try {
    showMessage_(text);
  } catch (...) {
    showing_ = false;
    throw;
  }
  showing_ = false;
}

void ReceiveRing::Empfang() {
  if (RxTail == RxHead) ComPort1RxChar(1);
  if (RxTail == RxHead) {
    RxByte = 0;
    RxTimedOut = true;
    return;
  }
  RxByte = ring_[RxTail];
  RxTail = (RxTail + 1) % kSize;
  RxTimedOut = false;
}
