// The program's line: the port component and the receive ring the window's receive
// notifications fill. Bytes come from the ring first; only an empty ring reads the port.
// Without a ring every byte is read straight from the port.
#pragma once

#include "serial/line.h"

class TCustomComPort;
class ReceiveRing;

class PortLine : public SerialLine {
 public:
  explicit PortLine(TCustomComPort& port) : port_(port) {}
  PortLine(TCustomComPort& port, ReceiveRing& ring) : port_(port), ring_(&ring) {}

  bool Connected() const override;
  void Open() override;
  int32_t Write(const void* bytes, int32_t count) override;
  int64_t WriteTimeoutMs(int32_t count) const override;
  std::optional<uint8_t> Receive() override;
  std::optional<uint8_t> TakeReceived() override;
  int32_t ReadDirect(void* buffer, int32_t count, int timeoutMs) override;
  void Purge(bool input, bool output) override;
  int32_t PendingInput() override;
  int32_t PendingOutput() override;
  int64_t NowMs() override;
  void SleepMs(int ms) override;

 private:
  TCustomComPort& port_;
  ReceiveRing* ring_ = nullptr;
};
