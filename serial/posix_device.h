// The POSIX side of the port: one terminal device opened for exclusive use, raw mode,
// line settings through termios (termios2 for the rates termios has no constant for),
// and a reader thread that keeps the device drained into the port's own input queue of
// Buffer.InputSize bytes. When that queue is full the reader takes nothing more from the
// device until there is room: the kernel, the adapter or a pseudo-terminal's writer holds
// the rest, and no received byte is ever dropped here. Reads and writes wait with bounded
// waits only; a device that disappears is noticed once, and every later transfer fails
// with the errno it gave.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "serial/serial_device.h"

class TerminalSettingsIo;  // serial/terminal_settings.h

class PosixSerialDevice : public SerialDevice {
 public:
  // Input queue size used for Buffer.InputSize 0 (the driver's own choice).
  static constexpr int32_t kDefaultInputSize = 4096;

  explicit PosixSerialDevice(std::string path);
  // With other terminal-settings calls than the system's (tests).
  PosixSerialDevice(std::string path, TerminalSettingsIo& terminal);
  ~PosixSerialDevice() override;  // runs Close
  PosixSerialDevice(const PosixSerialDevice&) = delete;
  PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

  const std::string& Path() const override { return path_; }

  // Opens, locks, drops DTR/RTS as asked, sets raw mode and starts the reader.
  // Raises EComPort ceOpen with errno.
  void Open(const SerialOpenOptions& options) override;
  // Stops the reader, discards both queues, restores the original terminal settings and
  // closes. Never blocks on output that does not drain; never fails.
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  int Fd() const { return fd_; }
  bool IsPseudoTerminal() const { return isPty_; }

  // Raises EComPort ceLineSettings with errno when the device refuses them. The settings
  // are read back (the rate too); a refused push leaves the previous settings in force.
  void ApplyLineSettings(const SerialLineSettings& settings) override;
  void SetTimeouts(const SerialTimeouts& timeouts) override;
  SerialTimeouts Timeouts() const override;
  // Input size 0 means kDefaultInputSize; the output queue is the kernel's.
  void SetQueueSizes(int32_t inputSize, int32_t outputSize) override;
  int32_t InputCapacity() const;

  // Transfers. Read raises ceRead, Write ceWrite (with errno; EBADF when closed).
  int32_t Read(void* buffer, int32_t count) override;
  // Read with the given time-outs in place of the device's own (which stay as they are).
  int32_t Read(void* buffer, int32_t count, const SerialTimeouts& timeouts) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Queue counts raise ceQueueCounts, Purge cePurge.
  int32_t PendingInput() override;
  int32_t PendingOutput() override;
  void Purge(bool input, bool output) override;
  // Purge that ignores every failure (used on the way out).
  void PurgeQuietly() override;

  // TIOCMGET; 0 and the lines, kNoModemLines on a terminal without them, or the errno.
  int ModemStatus(unsigned& lines) override;
  // Waits on the input queue's and the hang-up's eventfd and a stop eventfd of its own.
  std::unique_ptr<SerialEventWaiter> NewEventWaiter(TComEvents events) override;

  // ---- for the event thread ----
  // Readable (eventfd) whenever new bytes were put into the input queue.
  int RxEventFd() const { return rxEventFd_; }
  // Readable (eventfd) once the device has disappeared.
  int HangupEventFd() const { return hangupEventFd_; }
  // True once after the input queue reached 80 % of its size (re-armed when it drops
  // below again).
  bool TakeRx80Full();
  // True once after EventChar was received.
  bool TakeRxFlag();

  bool Gone() const { return gone_.load(); }
  int GoneError() const { return goneError_.load(); }

  // For tests: runs on the reader thread after it has taken bytes from the device and
  // before it stores them, the moment at which a late look or a purge could slip in.
  // Set it while the port is open; an empty function removes it.
  void SetReaderHookForTest(std::function<void()> hook);

 private:
  void WriteLineSettings(const SerialLineSettings& s, const struct termios& previous);
  void ReaderLoop();
  // Waits until the input queue has room again (or stop); false when the reader ends.
  bool WaitForRoom(bool& hangupSeen);
  // One read of what the device holds, at most the queue's room, stored in order; with
  // intake_ held. Returns what read() returned (errno kept); -1 with ENOBUFS when the
  // queue has no room.
  ssize_t TakeFromDevice(uint8_t* buf, size_t size, bool reader);
  // The last look of a read whose deadline passed.
  void TakeWhatTheDeviceHolds();
  void MarkGone(int err);
  void StoreBytes(const uint8_t* bytes, size_t n);
  void RearmLocked();
  void WakeReaderIfRoomLocked();
  size_t RoomLocked() const;
  int32_t CapacityLocked() const;
  void SignalEventFd(int fd);

  std::string path_;
  TerminalSettingsIo& terminal_;
  int fd_ = -1;
  bool isPty_ = false;
  bool haveOriginal_ = false;
  unsigned char original_[256] = {};  // struct termios of the terminal before Open

  int rxEventFd_ = -1;
  int hangupEventFd_ = -1;
  int stopEventFd_ = -1;
  int roomEventFd_ = -1;  // readable when a full input queue got room again
  std::thread reader_;

  // Taking bytes from the device and storing them is one step: the reader, the last look
  // of a read and a purge of the input exclude each other through this, so bytes keep
  // their order and none received before a purge shows up after it. Taken before mutex_.
  std::mutex intake_;
  std::function<void()> readerHookForTest_;  // guarded by intake_

  mutable std::mutex mutex_;
  std::condition_variable dataCv_;
  std::deque<uint8_t> queue_;
  int32_t inputSize_ = 1024;
  SerialTimeouts timeouts_;
  bool discardNull_ = false;
  uint8_t eventChar_ = 0;
  bool rx80Armed_ = true;
  bool rx80Pending_ = false;
  bool rxFlagPending_ = false;
  bool readerWaitsForRoom_ = false;
  std::atomic<bool> gone_{false};
  std::atomic<int> goneError_{0};
};
