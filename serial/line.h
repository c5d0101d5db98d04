// The line to the logger as the exchanges see it (configuration read and write, the
// download, the firmware update): bytes out, the next byte in or word that the line is
// silent, the driver's queues, and the line's clock. The program runs the exchanges over
// the port and its receive ring (PortLine); protocol tests and fuzz targets run them
// over a scripted line whose clock only moves when the exchange waits.
#pragma once

#include <cstdint>
#include <optional>

// How long the line must stay without a byte before the download and the configuration
// message take it as the logger's end. A USB serial adapter delivers in packets and a
// busy computer can hold a thread for tens of milliseconds; a quarter of a second is
// still not perceptible when the user switches the logger off.
inline constexpr int kLineSilenceMs = 250;

class SerialLine {
 public:
  virtual ~SerialLine() = default;

  // The port is opened by the exchanges that find it closed. Open raises EComPort.
  virtual bool Connected() const = 0;
  virtual void Open() = 0;

  // Writes count bytes; returns how many went out within the write time-out.
  virtual int32_t Write(const void* bytes, int32_t count) = 0;
  // How long the port may take to send count bytes (its write time-out).
  virtual int64_t WriteTimeoutMs(int32_t count) const = 0;

  // The next received byte, or nothing when none came within one read time-out of the
  // port (the byte reader of the normal firmware's exchanges).
  virtual std::optional<uint8_t> Receive() = 0;
  // A byte that has already been received, without waiting and without reading the
  // port; nothing when there is none.
  virtual std::optional<uint8_t> TakeReceived() = 0;
  // Receive that waits out pauses: nothing only after silenceMs without a byte, by the
  // line's clock (0: one plain Receive).
  std::optional<uint8_t> ReceiveWithin(int silenceMs);

  // Reads straight from the port, past the receive ring, waiting up to timeoutMs for the
  // first byte (the bootloader's answers).
  virtual int32_t ReadDirect(void* buffer, int32_t count, int timeoutMs) = 0;

  // Drops what the driver holds in its queues. Bytes already taken into the receive
  // ring stay there: the ring keeps running across exchanges.
  virtual void Purge(bool input, bool output) = 0;
  virtual int32_t PendingInput() = 0;
  virtual int32_t PendingOutput() = 0;

  // The line's clock in milliseconds and a pause of the exchange on it. Every deadline
  // of an exchange reads this clock.
  virtual int64_t NowMs() = 0;
  virtual void SleepMs(int ms) = 0;
};
