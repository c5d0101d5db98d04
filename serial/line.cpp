#include "serial/line.h"

std::optional<uint8_t> SerialLine::ReceiveWithin(int silenceMs) {
  const int64_t deadline = NowMs() + silenceMs;
  for (;;) {
    const std::optional<uint8_t> byte = Receive();
    if (byte || NowMs() >= deadline) return byte;
  }
}
