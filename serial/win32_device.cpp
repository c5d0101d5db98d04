// The Windows side of the port: one communications device opened by CreateFileW on
// "\\.\" + Port for overlapped use, not shared. Line settings go to the driver as a DCB,
// the time-outs as COMMTIMEOUTS, the queue sizes through SetupComm; queue counts and
// line errors come from ClearCommError. Every transfer has its own overlapped block and
// event and is awaited within a bound before the call returns. Error codes are the
// GetLastError codes of the failing calls.
//
// Wine (8.0 on Debian 12) maps COMn to what $WINEPREFIX/dosdevices/comN links to, and
// the tests use a pseudo-terminal there. What Wine does differently from Windows on a
// pseudo-terminal is handled here where it would matter:
//  - GetCommModemStatus and EscapeCommFunction fail (there are no modem lines);
//  - WaitCommEvent fails with ERROR_NOT_SUPPORTED when the mask asks for modem-line,
//    break or line-error events, and leaves the handle unusable afterwards;
//  - a WaitCommEvent that would have to wait completes at once, with no events (without
//    an overlapped block) or aborted (with one);
//  - a read whose time-out ends with no byte reports ERROR_TIMEOUT instead of success
//    with 0 bytes;
//  - a second CreateFileW of the same port succeeds (Windows refuses it).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "serial/serial_device.h"
#include "formats/win32_text.h"

namespace {

DWORD AllOnes(int32_t v) { return v == -1 ? MAXDWORD : static_cast<DWORD>(v < 0 ? 0 : v); }

COMMTIMEOUTS ToCommTimeouts(const SerialTimeouts& t) {
  COMMTIMEOUTS c{};
  c.ReadIntervalTimeout = AllOnes(t.readInterval);
  c.ReadTotalTimeoutMultiplier = AllOnes(t.readTotalMultiplier);
  c.ReadTotalTimeoutConstant = AllOnes(t.readTotalConstant);
  c.WriteTotalTimeoutMultiplier = AllOnes(t.writeTotalMultiplier);
  c.WriteTotalTimeoutConstant = AllOnes(t.writeTotalConstant);
  return c;
}

bool SameTimeouts(const SerialTimeouts& a, const SerialTimeouts& b) {
  return a.readInterval == b.readInterval && a.readTotalMultiplier == b.readTotalMultiplier &&
         a.readTotalConstant == b.readTotalConstant &&
         a.writeTotalMultiplier == b.writeTotalMultiplier &&
         a.writeTotalConstant == b.writeTotalConstant;
}

// How long a transfer may take at most: what the time-outs allow, plus slack for a busy
// machine; a transfer the time-outs leave unbounded gets the seam's upper bound.
DWORD TransferBoundMs(int32_t multiplier, int32_t constant, int32_t count) {
  const int64_t mult = multiplier > 0 ? multiplier : 0;
  const int64_t cons = constant > 0 ? constant : 0;
  int64_t total = mult * count + cons;
  if (total == 0) total = SerialDevice::kUnboundedWaitMs;
  return static_cast<DWORD>(std::min<int64_t>(total + 5000, 0x7FFFFFFF));
}

constexpr DWORD kModemLineEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD | EV_BREAK | EV_ERR;
// Between two looks at the input queue where WaitCommEvent cannot wait (Wine).
constexpr DWORD kQueueLookMs = 10;

class Win32SerialDevice : public SerialDevice {
 public:
  explicit Win32SerialDevice(std::string path) : path_(std::move(path)) {}
  ~Win32SerialDevice() override { Close(); }

  const std::string& Path() const override { return path_; }

  void Open(const SerialOpenOptions& options) override {
    if (IsOpen()) return;
    HANDLE h = ::CreateFileW(Widen(path_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      throw EComPort(ceOpen, static_cast<int>(::GetLastError()), path_);
    // DTR and RTS down before anything is sent, when the settings hold them off. A line
    // without modem lines refuses this, which is no failure.
    if (options.dropDtr) ::EscapeCommFunction(h, CLRDTR);
    if (options.dropRts) ::EscapeCommFunction(h, CLRRTS);
    DWORD status = 0;
    modemLines_ = ::GetCommModemStatus(h, &status) != 0;
    COMMTIMEOUTS c = ToCommTimeouts(options.timeouts);
    ::SetCommTimeouts(h, &c);
    std::lock_guard<std::mutex> lock(mutex_);
    handle_ = h;
    timeouts_ = options.timeouts;
    inputSize_ = options.inputSize;
  }

  void Close() override {
    HANDLE h;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      h = handle_;
      handle_ = INVALID_HANDLE_VALUE;
    }
    if (h == INVALID_HANDLE_VALUE) return;
    ::PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    ::CloseHandle(h);
  }

  bool IsOpen() const override { return Handle() != INVALID_HANDLE_VALUE; }

  void ApplyLineSettings(const SerialLineSettings& s) override {
    HANDLE h = Handle();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) Fail(ceLineSettings);
    dcb.BaudRate = static_cast<DWORD>(s.baudRate);
    dcb.ByteSize = static_cast<BYTE>(s.dataBits);
    dcb.Parity = static_cast<BYTE>(s.parity);
    dcb.StopBits = static_cast<BYTE>(s.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = s.parityCheck ? TRUE : FALSE;
    dcb.fErrorChar = s.parityReplace ? TRUE : FALSE;
    dcb.ErrorChar = static_cast<char>(s.parityReplace ? s.replaceChar : 0);
    dcb.fNull = s.discardNull ? TRUE : FALSE;
    dcb.fOutxCtsFlow = s.outCtsFlow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = s.outDsrFlow ? TRUE : FALSE;
    dcb.fDtrControl = static_cast<DWORD>(s.dtrControl);  // 0, 1, 2 as DTR_CONTROL_*
    dcb.fRtsControl = static_cast<DWORD>(s.rtsControl);  // 0..3 as RTS_CONTROL_*
    dcb.fOutX = s.xonXoffOut ? TRUE : FALSE;
    dcb.fInX = s.xonXoffIn ? TRUE : FALSE;
    dcb.fDsrSensitivity = s.dsrSensitivity ? TRUE : FALSE;
    dcb.fTXContinueOnXoff = s.txContinueOnXoff ? TRUE : FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = static_cast<WORD>(s.xonLim);
    dcb.XoffLim = static_cast<WORD>(s.xoffLim);
    dcb.XonChar = static_cast<char>(s.xonChar);
    dcb.XoffChar = static_cast<char>(s.xoffChar);
    dcb.EofChar = 0;
    dcb.EvtChar = static_cast<char>(s.eventChar);
    if (!::SetCommState(h, &dcb)) Fail(ceLineSettings);
  }

  void SetTimeouts(const SerialTimeouts& t) override {
    COMMTIMEOUTS c = ToCommTimeouts(t);
    if (!::SetCommTimeouts(Handle(), &c)) Fail(ceTimeouts);
    std::lock_guard<std::mutex> lock(mutex_);
    timeouts_ = t;
  }

  SerialTimeouts Timeouts() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeouts_;
  }

  // 0 leaves the driver's own size.
  void SetQueueSizes(int32_t inputSize, int32_t outputSize) override {
    if (inputSize > 0 && outputSize > 0 &&
        !::SetupComm(Handle(), static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize)))
      Fail(ceQueueSizes);
    std::lock_guard<std::mutex> lock(mutex_);
    inputSize_ = inputSize;
  }

  int32_t Read(void* buffer, int32_t count) override { return Read(buffer, count, Timeouts()); }

  int32_t Read(void* buffer, int32_t count, const SerialTimeouts& t) override {
    const SerialTimeouts own = Timeouts();
    const bool other = !SameTimeouts(t, own);
    if (other) {
      COMMTIMEOUTS c = ToCommTimeouts(t);
      if (!::SetCommTimeouts(Handle(), &c)) Fail(ceRead);
    }
    int32_t got = 0;
    try {
      got = Transfer(false, buffer, count,
                     TransferBoundMs(t.readTotalMultiplier, t.readTotalConstant, count));
    } catch (...) {
      if (other) RestoreTimeouts(own);
      throw;
    }
    if (other) RestoreTimeouts(own);
    return got;
  }

  int32_t Write(const void* buffer, int32_t count) override {
    const SerialTimeouts t = Timeouts();
    return Transfer(true, const_cast<void*>(buffer), count,
                    TransferBoundMs(t.writeTotalMultiplier, t.writeTotalConstant, count));
  }

  int32_t PendingInput() override { return static_cast<int32_t>(Status().cbInQue); }
  int32_t PendingOutput() override { return static_cast<int32_t>(Status().cbOutQue); }

  void Purge(bool input, bool output) override {
    const DWORD flags = (input ? PURGE_RXCLEAR : 0) | (output ? PURGE_TXCLEAR : 0);
    if (flags != 0 && !::PurgeComm(Handle(), flags)) Fail(cePurge);
  }

  void PurgeQuietly() override {
    if (IsOpen()) ::PurgeComm(Handle(), PURGE_RXCLEAR | PURGE_TXCLEAR);
  }

  int ModemStatus(unsigned& lines) override {
    lines = 0;
    if (!IsOpen()) return ERROR_INVALID_HANDLE;
    if (!modemLines_) return kNoModemLines;
    DWORD status = 0;
    if (!::GetCommModemStatus(Handle(), &status)) {
      const DWORD err = ::GetLastError();
      return err == 0 ? kNoModemLines : static_cast<int>(err);
    }
    if (status & MS_CTS_ON) lines |= kLineCts;
    if (status & MS_DSR_ON) lines |= kLineDsr;
    if (status & MS_RING_ON) lines |= kLineRing;
    if (status & MS_RLSD_ON) lines |= kLineRlsd;
    return 0;
  }

  std::unique_ptr<SerialEventWaiter> NewEventWaiter(TComEvents events) override;

  HANDLE Handle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handle_;
  }
  bool HasModemLines() const { return modemLines_; }
  int32_t InputCapacity() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return inputSize_ > 0 ? inputSize_ : 4096;
  }

 private:
  [[noreturn]] void Fail(TComError number) const {
    throw EComPort(number, static_cast<int>(::GetLastError()), path_);
  }

  void RestoreTimeouts(const SerialTimeouts& t) {
    COMMTIMEOUTS c = ToCommTimeouts(t);
    ::SetCommTimeouts(Handle(), &c);
  }

  COMSTAT Status() {
    DWORD errors = 0;
    COMSTAT cs{};
    if (!::ClearCommError(Handle(), &errors, &cs)) Fail(ceQueueCounts);
    return cs;
  }

  int32_t Transfer(bool write, void* buffer, int32_t count, DWORD boundMs) {
    const TComError number = write ? ceWrite : ceRead;
    HANDLE h = Handle();
    if (h == INVALID_HANDLE_VALUE) throw EComPort(number, ERROR_INVALID_HANDLE, path_);
    if (count <= 0) return 0;
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ov.hEvent == nullptr) Fail(number);
    const BOOL started = write ? ::WriteFile(h, buffer, static_cast<DWORD>(count), nullptr, &ov)
                               : ::ReadFile(h, buffer, static_cast<DWORD>(count), nullptr, &ov);
    if (!started && ::GetLastError() != ERROR_IO_PENDING) {
      const DWORD err = ::GetLastError();
      ::CloseHandle(ov.hEvent);
      throw EComPort(number, static_cast<int>(err), path_);
    }
    // The driver ends the transfer by the time-outs; the bound only guards against a
    // driver that never does.
    if (::WaitForSingleObject(ov.hEvent, boundMs) == WAIT_TIMEOUT) ::CancelIoEx(h, &ov);
    DWORD done = 0;
    const BOOL ok = ::GetOverlappedResult(h, &ov, &done, TRUE);
    const DWORD err = ok ? 0 : ::GetLastError();
    ::CloseHandle(ov.hEvent);
    // A time-out that ends the transfer is no failure: the count tells what was moved.
    // (Windows reports success; Wine reports ERROR_TIMEOUT.)
    if (!ok && err != ERROR_TIMEOUT && err != ERROR_OPERATION_ABORTED)
      throw EComPort(number, static_cast<int>(err), path_);
    return static_cast<int32_t>(done);
  }

  std::string path_;
  mutable std::mutex mutex_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  SerialTimeouts timeouts_;
  int32_t inputSize_ = 1024;
  std::atomic<bool> modemLines_{true};
};

// The event thread's wait: WaitCommEvent on an overlapped block of its own, against a
// stop event; SetEvent on the stop event ends the wait, and the waiter then cancels its
// pending WaitCommEvent (CancelIoEx on its own block only, so that no transfer of the
// window's thread is touched). The 80 % event is derived from the input queue's count,
// since drivers (USB adapters among them) rarely report EV_RX80FULL themselves.
class Win32EventWaiter : public SerialEventWaiter {
 public:
  Win32EventWaiter(Win32SerialDevice& device, TComEvents events)
      : device_(device), events_(events) {
    stop_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    block_ = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    DWORD mask = EventsToMask(events);
    if (events.Has(evRx80Full)) mask |= EV_RXCHAR;  // to see the queue grow
    // A device without modem lines (a pseudo-terminal under Wine) cannot wait for
    // line events, and asking for them fails every wait.
    if (!device.HasModemLines()) mask &= ~kModemLineEvents;
    ::SetCommMask(device.Handle(), mask);
  }
  ~Win32EventWaiter() override {
    if (stop_) ::CloseHandle(stop_);
    if (block_) ::CloseHandle(block_);
  }

  void Stop() override {
    if (stop_) ::SetEvent(stop_);
  }

  Outcome Wait(TComEvents& batch) override {
    if (!stop_ || !block_) return Outcome::kStopped;
    HANDLE h = device_.Handle();
    for (;;) {
      if (::WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return Leave(h);
      DWORD mask = 0;
      if (!looking_) {
        OVERLAPPED ov{};
        ov.hEvent = block_;
        ::ResetEvent(block_);
        BOOL ok = ::WaitCommEvent(h, &mask, &ov);
        DWORD err = ok ? 0 : ::GetLastError();
        if (!ok && err == ERROR_IO_PENDING) {
          HANDLE both[2] = {stop_, block_};
          const DWORD w = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
          if (w != WAIT_OBJECT_0 + 1) {
            ::CancelIoEx(h, &ov);
            DWORD n = 0;
            ::GetOverlappedResult(h, &ov, &n, TRUE);
            return Leave(h);
          }
          DWORD n = 0;
          ok = ::GetOverlappedResult(h, &ov, &n, FALSE);
          err = ok ? 0 : ::GetLastError();
        }
        if (ok && mask == 0) {
          looking_ = true;  // completed without waiting: Wine
        } else if (!ok) {
          // Aborted though nobody cancelled it (Wine), or not supported here: look at
          // the queue instead. Any other failure means the device is gone.
          if (err != ERROR_OPERATION_ABORTED && err != ERROR_NOT_SUPPORTED) return Outcome::kGone;
          looking_ = true;
        }
      }
      if (looking_ && ::WaitForSingleObject(stop_, kQueueLookMs) == WAIT_OBJECT_0) return Leave(h);

      DWORD errors = 0;
      COMSTAT cs{};
      if (!::ClearCommError(h, &errors, &cs)) return Outcome::kGone;
      batch = MaskToEvents(mask);
      batch.Exclude(evRx80Full);
      if (looking_ && cs.cbInQue > lastCount_) batch.Include(evRxChar);
      if (looking_ && errors != 0) batch.Include(evError);
      lastCount_ = cs.cbInQue;
      const DWORD threshold = static_cast<DWORD>(device_.InputCapacity()) * 8 / 10;
      if (cs.cbInQue >= threshold && cs.cbInQue > 0) {
        if (rx80Armed_) batch.Include(evRx80Full);
        rx80Armed_ = false;
      } else {
        rx80Armed_ = true;
      }
      if (!batch.Empty()) return Outcome::kEvents;
    }
  }

 private:
  // On the way out the device's event mask is cleared.
  Outcome Leave(HANDLE h) {
    ::SetCommMask(h, 0);
    return Outcome::kStopped;
  }

  Win32SerialDevice& device_;
  const TComEvents events_;
  HANDLE stop_ = nullptr;
  HANDLE block_ = nullptr;
  bool looking_ = false;
  bool rx80Armed_ = true;
  DWORD lastCount_ = 0;
};

std::unique_ptr<SerialEventWaiter> Win32SerialDevice::NewEventWaiter(TComEvents events) {
  return std::make_unique<Win32EventWaiter>(*this, events);
}

}  // namespace

std::unique_ptr<SerialDevice> NewSerialDevice(const std::string& port, TerminalSettingsIo*) {
  return std::make_unique<Win32SerialDevice>(SerialDevicePath(port));
}

// "\\.\" + Port, so that COM10 and above open too; a name that already starts with two
// backslashes stands as it is.
std::string SerialDevicePath(const std::string& port) {
  if (port.rfind("\\\\", 0) == 0) return port;
  return "\\\\.\\" + port;
}

int ClosedDeviceErrorCode() { return ERROR_INVALID_HANDLE; }

PortFault ClassifySystemError(int code) {
  switch (static_cast<DWORD>(code)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return PortFault::kNoSuchDevice;
    // A port is opened not shared: another program holding it gives access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return PortFault::kBusy;
    case ERROR_GEN_FAILURE:
    case ERROR_BAD_COMMAND:
    case ERROR_NOT_READY:
    case ERROR_BROKEN_PIPE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_OPERATION_ABORTED: return PortFault::kLineDead;
    default: return PortFault::kOther;
  }
}
