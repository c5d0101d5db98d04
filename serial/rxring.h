// The receive ring and the byte reader. All protocol code that talks to the logger's
// normal firmware takes its input one byte at a time from here: Empfang delivers the next
// byte in RxByte, or sets RxTimedOut after one read time-out of the port when none came.
// Plain C++; runs on the window's thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TCustomComPort;

class ReceiveRing {
 public:
  static constexpr int32_t kSize = 65536;
  static constexpr int32_t kChunk = 256;

  // showMessage shows a modal box with one OK button (the overflow and 80 % warnings).
  ReceiveRing(TCustomComPort& port, std::function<void(const std::string&)> showMessage);

  // Receive notification: one port read of up to 256 bytes into the ring. Count is
  // ignored. On overflow the unread bytes stay; the bytes of this read that do not fit
  // are dropped and "FiFo-Puffer der COM-Schnittstelle übergelaufen!" is shown.
  void ComPort1RxChar(int32_t count = 1);
  // 80 % notification: "Puffer der COM-Schnittstelle 80% übergelaufen!".
  void ComPort1Rx80Full();
  // The byte reader.
  void Empfang();

  uint8_t RxByte = 0;
  bool RxTimedOut = false;
  int32_t RxHead = 0;  // next slot to write
  int32_t RxTail = 0;  // next byte to read

  int32_t Unread() const { return (RxHead - RxTail + kSize) % kSize; }
  // Stores bytes as a port read would have (also used by tests); returns how many fit.
  int32_t Append(const uint8_t* bytes, int32_t count);

 private:
  void ShowOnce(const char* text);

  TCustomComPort& port_;
  std::function<void(const std::string&)> showMessage_;
  bool showing_ = false;
  uint8_t ring_[kSize] = {};
};
