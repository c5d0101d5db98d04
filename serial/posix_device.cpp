#include "serial/posix_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "serial/comport.h"
#include "serial/terminal_settings.h"

namespace {

using Clock = std::chrono::steady_clock;

static_assert(sizeof(struct termios) <= 256, "termios does not fit the saved area");

speed_t StandardSpeed(int32_t rate) {
  switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
  }
}

// A rate read back from the device counts as the one asked for within 3 %, the
// tolerance of an asynchronous line; a driver that falls back to another rate is off by
// far more.
bool RateMatches(int64_t got, int64_t asked) { return std::llabs(got - asked) * 100 <= asked * 3; }

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  return static_cast<int>(std::min<int64_t>(left.count(), 1 << 30));
}

// Failures of the modem-line and exclusive-use calls that only mean "this kind of
// terminal has no such thing" (a pseudo-terminal has no modem lines).
bool IsNotSupported(int err) {
  return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

}  // namespace

PosixSerialDevice::PosixSerialDevice(std::string path)
    : PosixSerialDevice(std::move(path), SystemTerminalSettings()) {}

PosixSerialDevice::PosixSerialDevice(std::string path, TerminalSettingsIo& terminal)
    : path_(std::move(path)), terminal_(terminal) {}

PosixSerialDevice::~PosixSerialDevice() { Close(); }

void PosixSerialDevice::Open(const SerialOpenOptions& options) {
  if (fd_ >= 0) return;
  int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw EComPort(ceOpen, errno, path_);
  // Exclusive use: the advisory lock first (it also holds against root), then TIOCEXCL.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    throw EComPort(ceOpen, err, path_);
  }
  struct termios tio;
  if (const int err = terminal_.Get(fd, tio); err != 0) {
    ::flock(fd, LOCK_UN);
    ::close(fd);
    throw EComPort(ceOpen, err, path_);
  }
  ::ioctl(fd, TIOCEXCL);  // fails harmlessly where the terminal does not know it

  // Linux raises DTR and RTS at every open; take them down before anything is sent.
  int lines = (options.dropDtr ? TIOCM_DTR : 0) | (options.dropRts ? TIOCM_RTS : 0);
  if (lines) terminal_.DropModemLines(fd, lines);

  std::memcpy(original_, &tio, sizeof tio);
  haveOriginal_ = true;

  // Raw mode at once, so that nothing is echoed or translated before the line settings.
  struct termios raw = tio;
  ::cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  raw.c_cc[VMIN] = 1;  // a read of 0 bytes then means end of file (device gone)
  raw.c_cc[VTIME] = 0;
  terminal_.Set(fd, raw);
  isPty_ = terminal_.IsPseudoTerminal(fd);

  rxEventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  hangupEventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  stopEventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  roomEventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (rxEventFd_ < 0 || hangupEventFd_ < 0 || stopEventFd_ < 0 || roomEventFd_ < 0) {
    int err = errno;
    for (int* e : {&rxEventFd_, &hangupEventFd_, &stopEventFd_, &roomEventFd_})
      if (*e >= 0) ::close(*e), *e = -1;
    terminal_.Set(fd, tio);
    haveOriginal_ = false;
    ::flock(fd, LOCK_UN);
    ::close(fd);
    throw EComPort(ceOpen, err, path_);
  }

  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    inputSize_ = options.inputSize;
    timeouts_ = options.timeouts;
    rx80Armed_ = true;
    rx80Pending_ = rxFlagPending_ = false;
    readerWaitsForRoom_ = false;
  }
  gone_ = false;
  goneError_ = 0;
  fd_ = fd;
  reader_ = std::thread([this] { ReaderLoop(); });
}

void PosixSerialDevice::Close() {
  if (fd_ < 0) return;
  SignalEventFd(stopEventFd_);
  if (reader_.joinable()) reader_.join();
  // Discard what is still queued either way, so that close() does not wait for output
  // to drain (the kernel may wait up to half a minute for that).
  ::tcflush(fd_, TCIOFLUSH);
  if (haveOriginal_) {
    struct termios tio;
    std::memcpy(&tio, original_, sizeof tio);
    terminal_.Set(fd_, tio);
    haveOriginal_ = false;
  }
  ::ioctl(fd_, TIOCNXCL);
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
  for (int* e : {&rxEventFd_, &hangupEventFd_, &stopEventFd_, &roomEventFd_})
    if (*e >= 0) ::close(*e), *e = -1;
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
}

void PosixSerialDevice::SignalEventFd(int fd) {
  if (fd < 0) return;
  uint64_t one = 1;
  ssize_t r = ::write(fd, &one, sizeof one);
  (void)r;
}

void PosixSerialDevice::MarkGone(int err) {
  goneError_ = err ? err : EIO;
  gone_ = true;
  SignalEventFd(hangupEventFd_);
  std::lock_guard<std::mutex> lock(mutex_);
  dataCv_.notify_all();
}

// Called with intake_ held and never with more bytes than the queue has room for: the
// reader and the last look take only that much from the device.
void PosixSerialDevice::StoreBytes(const uint8_t* bytes, size_t n) {
  bool stored = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t cap = static_cast<size_t>(CapacityLocked());
    for (size_t i = 0; i < n; ++i) {
      uint8_t b = bytes[i];
      if (b == 0 && discardNull_) continue;
      queue_.push_back(b);
      stored = true;
      if (b == eventChar_) rxFlagPending_ = true;
    }
    const size_t threshold = cap * 8 / 10;
    if (rx80Armed_ && queue_.size() >= threshold && !queue_.empty()) {
      rx80Armed_ = false;
      rx80Pending_ = true;
    }
    if (stored) dataCv_.notify_all();
  }
  if (stored) SignalEventFd(rxEventFd_);
}

size_t PosixSerialDevice::RoomLocked() const {
  const size_t cap = static_cast<size_t>(CapacityLocked());
  return queue_.size() >= cap ? 0 : cap - queue_.size();
}

void PosixSerialDevice::WakeReaderIfRoomLocked() {
  if (readerWaitsForRoom_ && RoomLocked() > 0) {
    readerWaitsForRoom_ = false;
    SignalEventFd(roomEventFd_);
  }
}

ssize_t PosixSerialDevice::TakeFromDevice(uint8_t* buf, size_t size, bool reader) {
  size_t room;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    room = RoomLocked();
  }
  if (room == 0) {
    errno = ENOBUFS;
    return -1;
  }
  const ssize_t n = ::read(fd_, buf, std::min(size, room));
  if (n > 0) {
    const int err = errno;
    if (reader && readerHookForTest_) readerHookForTest_();
    StoreBytes(buf, static_cast<size_t>(n));
    errno = err;
  }
  return n;
}

void PosixSerialDevice::TakeWhatTheDeviceHolds() {
  std::lock_guard<std::mutex> intake(intake_);
  if (fd_ < 0 || gone_) return;
  uint8_t buf[4096];
  // Non-blocking: only what has arrived. A failure here is the reader's to report.
  (void)TakeFromDevice(buf, sizeof buf, false);
}

void PosixSerialDevice::SetReaderHookForTest(std::function<void()> hook) {
  std::lock_guard<std::mutex> intake(intake_);
  readerHookForTest_ = std::move(hook);
}

bool PosixSerialDevice::WaitForRoom(bool& hangupSeen) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (RoomLocked() > 0) {
        readerWaitsForRoom_ = false;
        return true;
      }
      readerWaitsForRoom_ = true;
    }
    // Blocked in poll, not spinning: stop, room, or the device going away (POLLHUP and
    // POLLERR are reported without being asked for). After a hang-up the device is left
    // out, since it would report it again and again; what it still holds is read once
    // there is room, and its end of file then marks it gone.
    struct pollfd fds[3] = {
        {stopEventFd_, POLLIN, 0}, {roomEventFd_, POLLIN, 0}, {hangupSeen ? -1 : fd_, 0, 0}};
    int r = ::poll(fds, 3, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      MarkGone(errno);
      return false;
    }
    if (fds[0].revents) return false;
    if (fds[1].revents) {
      uint64_t counter = 0;
      ssize_t n = ::read(roomEventFd_, &counter, sizeof counter);
      (void)n;
    }
    if (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      hangupSeen = true;
      SignalEventFd(hangupEventFd_);  // the event thread hears of it now
    }
  }
}

void PosixSerialDevice::ReaderLoop() {
  uint8_t buf[4096];
  bool hangupSeen = false;
  for (;;) {
    if (!WaitForRoom(hangupSeen)) return;
    struct pollfd fds[2] = {{fd_, POLLIN, 0}, {stopEventFd_, POLLIN, 0}};
    int r = ::poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      MarkGone(errno);
      return;
    }
    if (fds[1].revents) return;
    if (!fds[0].revents) continue;
    ssize_t n;
    {
      std::lock_guard<std::mutex> intake(intake_);
      n = TakeFromDevice(buf, sizeof buf, true);
    }
    if (n > 0) continue;
    if (n == 0) {  // end of file on a terminal: hung up
      MarkGone(EIO);
      return;
    }
    int err = errno;
    if (err == EINTR || err == ENOBUFS)
      continue;  // ENOBUFS: the last look of a read filled the queue
    if (err == EAGAIN || err == EWOULDBLOCK) {
      // Nothing to read although poll woke us: the last look of a read took it, or the
      // device reports an error or hang-up.
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        MarkGone(EIO);
        return;
      }
      continue;
    }
    MarkGone(err);
    return;
  }
}

int32_t PosixSerialDevice::CapacityLocked() const {
  return inputSize_ > 0 ? inputSize_ : kDefaultInputSize;
}

void PosixSerialDevice::RearmLocked() {
  const size_t threshold = static_cast<size_t>(CapacityLocked()) * 8 / 10;
  if (queue_.size() < threshold) rx80Armed_ = true;
}

void PosixSerialDevice::ApplyLineSettings(const SerialLineSettings& s) {
  if (fd_ < 0) throw EComPort(ceLineSettings, EBADF, path_);
  struct termios previous;
  if (const int err = terminal_.Get(fd_, previous); err != 0)
    throw EComPort(ceLineSettings, err, path_);
  // The whole state before the push, a rate set as a number included, and the modem
  // lines: a push that fails half way puts them back, so that nothing of it stays.
  KernelTermios2 previous2;
  const bool havePrevious2 = terminal_.GetKernel(fd_, previous2) == 0;
  int previousLines = 0;
  const bool havePreviousLines = terminal_.ModemLines(fd_, previousLines) == 0;
  try {
    WriteLineSettings(s, previous);
  } catch (const EComPort&) {
    if (!havePrevious2 || terminal_.SetKernel(fd_, previous2) != 0) terminal_.Set(fd_, previous);
    if (havePreviousLines) {
      const int on = previousLines & (TIOCM_DTR | TIOCM_RTS);
      const int off = ~previousLines & (TIOCM_DTR | TIOCM_RTS);
      if (on) terminal_.RaiseModemLines(fd_, on);
      if (off) terminal_.DropModemLines(fd_, off);
    }
    throw;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  discardNull_ = s.discardNull;
  eventChar_ = s.eventChar;
}

void PosixSerialDevice::WriteLineSettings(const SerialLineSettings& s,
                                          const struct termios& previous) {
  struct termios tio = previous;
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;

  tio.c_cflag &= ~CSIZE;
  switch (s.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  // 1.5 stop bits do not exist on Linux; two come nearest.
  if (s.stopBits != 0)
    tio.c_cflag |= CSTOPB;
  else
    tio.c_cflag &= ~CSTOPB;

  tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  switch (s.parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  tio.c_iflag &= ~(INPCK | IGNPAR | PARMRK | ISTRIP);
  if (s.parityCheck) tio.c_iflag |= INPCK;  // a byte with an error reads as 0

  if (s.outCtsFlow || s.rtsControl == 2)
    tio.c_cflag |= CRTSCTS;
  else
    tio.c_cflag &= ~CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (s.xonXoffOut) tio.c_iflag |= IXON;
  if (s.xonXoffIn) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = s.xonChar;
  tio.c_cc[VSTOP] = s.xoffChar;

  const speed_t speed = StandardSpeed(s.baudRate);
  const bool standard = speed != B0;
  if (standard) {
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
  }
  // On a pseudo-terminal the C library reports EINVAL when the kernel kept 8 data bits
  // without parity instead of what was asked; the rest was applied, which is all a
  // pseudo-terminal can do.
  if (const int err = terminal_.Set(fd_, tio); err != 0 && !(isPty_ && err == EINVAL))
    throw EComPort(ceLineSettings, err, path_);

  if (!standard && s.baudRate > 0) {
    KernelTermios2 t2;
    int err = terminal_.GetKernel(fd_, t2);
    if (err == 0) {
      t2.c_cflag &= ~(CBAUD | (CBAUD << kIbShift));
      t2.c_cflag |= kBother | (kBother << kIbShift);
      t2.c_ispeed = static_cast<speed_t>(s.baudRate);
      t2.c_ospeed = static_cast<speed_t>(s.baudRate);
      err = terminal_.SetKernel(fd_, t2);
    }
    // A pseudo-terminal has no rate; never fail because of one.
    if (err != 0 && !isPty_) throw EComPort(ceLineSettings, err, path_);
  }

  // Read the settings back: the kernel accepts a request when any part of it worked.
  struct termios back;
  if (const int err = terminal_.Get(fd_, back); err != 0)
    throw EComPort(ceLineSettings, err, path_);
  const tcflag_t mask = CSIZE | CSTOPB | PARENB | PARODD;
  // A pseudo-terminal keeps 8 data bits without parity whatever it is asked for.
  if (!isPty_ && (back.c_cflag & mask) != (tio.c_cflag & mask))
    throw EComPort(ceLineSettings, EINVAL, path_);
  // The rate too: a driver may take another rate than the one asked for (one it can do,
  // or its default) and still report success. The kernel keeps the number of a standard
  // rate as well, so termios2 tells either kind.
  if (!isPty_ && s.baudRate > 0) {
    KernelTermios2 back2;
    bool ok;
    if (terminal_.GetKernel(fd_, back2) == 0)
      ok = RateMatches(back2.c_ospeed, s.baudRate);
    else
      ok = !standard || ::cfgetospeed(&back) == speed;
    if (!ok) throw EComPort(ceLineSettings, EINVAL, path_);
  }

  // The modem lines as DTR and RTS control ask; a terminal without them is fine.
  int set = 0, clear = 0;
  (s.dtrControl == 0 ? clear : set) |= TIOCM_DTR;
  if (s.rtsControl == 0)
    clear |= TIOCM_RTS;
  else if (s.rtsControl == 1)
    set |= TIOCM_RTS;
  if (set) {
    const int err = terminal_.RaiseModemLines(fd_, set);
    if (err != 0 && !IsNotSupported(err) && !isPty_) throw EComPort(ceLineSettings, err, path_);
  }
  if (clear) {
    const int err = terminal_.DropModemLines(fd_, clear);
    if (err != 0 && !IsNotSupported(err) && !isPty_) throw EComPort(ceLineSettings, err, path_);
  }
}

void PosixSerialDevice::SetTimeouts(const SerialTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = timeouts;
}

SerialTimeouts PosixSerialDevice::Timeouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeouts_;
}

void PosixSerialDevice::SetQueueSizes(int32_t inputSize, int32_t /*outputSize*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  inputSize_ = inputSize;
  RearmLocked();
  WakeReaderIfRoomLocked();
}

int32_t PosixSerialDevice::InputCapacity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return CapacityLocked();
}

int32_t PosixSerialDevice::Read(void* buffer, int32_t count) {
  if (fd_ < 0) throw EComPort(ceRead, EBADF, path_);
  return Read(buffer, count, Timeouts());
}

int32_t PosixSerialDevice::Read(void* buffer, int32_t count, const SerialTimeouts& t) {
  if (fd_ < 0) throw EComPort(ceRead, EBADF, path_);
  // A device that is gone still hands out what it had received; the error comes when
  // nothing is left.
  if (count <= 0) return 0;

  std::unique_lock<std::mutex> lock(mutex_);
  const auto start = Clock::now();
  // The all-ones value (-1) of a total counts as 0 here; a multiplier of all ones with
  // an interval of all ones is the "return at once when something is there" case.
  const int64_t mult = t.readTotalMultiplier > 0 ? t.readTotalMultiplier : 0;
  const int64_t cons = t.readTotalConstant > 0 ? t.readTotalConstant : 0;
  int64_t totalMs = mult * count + cons;
  const bool intervalOff = t.readInterval == -1;
  const bool immediate = intervalOff && totalMs == 0;
  const bool unbounded = !intervalOff && totalMs == 0;
  if (unbounded) totalMs = kUnboundedWaitMs;
  const auto deadline = start + std::chrono::milliseconds(std::min<int64_t>(totalMs, 1LL << 40));

  uint8_t* out = static_cast<uint8_t*>(buffer);
  int32_t got = 0;
  auto take = [&] {
    while (got < count && !queue_.empty()) {
      out[got++] = queue_.front();
      queue_.pop_front();
    }
  };

  take();
  if (!immediate) {
    // With the interval switched off the read returns as soon as it has anything; with
    // an interval it collects until count, the total deadline or a gap between bytes.
    auto lastByte = Clock::now();
    while (got < count && !(intervalOff && got > 0)) {
      if (gone_) break;
      auto until = deadline;
      if (!intervalOff && got > 0 && t.readInterval > 0)
        until = std::min(until, lastByte + std::chrono::milliseconds(t.readInterval));
      if (Clock::now() >= until) break;
      dataCv_.wait_until(lock, until);
      const int32_t before = got;
      take();
      if (got > before) lastByte = Clock::now();
    }
  }
  // The time-out is judged here, not on the line: before reporting one, take what the
  // device already holds, so that a reader thread that was not scheduled in time does
  // not look like a silent line.
  if (got == 0 && !gone_) {
    lock.unlock();
    TakeWhatTheDeviceHolds();
    lock.lock();
    take();
  }
  RearmLocked();
  WakeReaderIfRoomLocked();
  if (got == 0 && gone_) throw EComPort(ceRead, goneError_.load(), path_);
  return got;
}

int32_t PosixSerialDevice::Write(const void* buffer, int32_t count) {
  if (fd_ < 0) throw EComPort(ceWrite, EBADF, path_);
  if (gone_) throw EComPort(ceWrite, goneError_.load(), path_);
  if (count <= 0) return 0;
  const SerialTimeouts t = Timeouts();
  const int64_t mult = t.writeTotalMultiplier > 0 ? t.writeTotalMultiplier : 0;
  const int64_t cons = t.writeTotalConstant > 0 ? t.writeTotalConstant : 0;
  int64_t totalMs = mult * count + cons;
  if (totalMs == 0) totalMs = kUnboundedWaitMs;
  const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);

  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw EComPort(ceWrite, errno, path_);
    int left = RemainingMs(deadline);
    if (left <= 0) break;
    struct pollfd pfd = {fd_, POLLOUT, 0};
    int r = ::poll(&pfd, 1, left);
    if (r < 0 && errno != EINTR) throw EComPort(ceWrite, errno, path_);
    if (r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(pfd.revents & POLLOUT))
      throw EComPort(ceWrite, EIO, path_);
    if (gone_) throw EComPort(ceWrite, goneError_.load(), path_);
  }
  return done;
}

int32_t PosixSerialDevice::PendingInput() {
  if (fd_ < 0) throw EComPort(ceQueueCounts, EBADF, path_);
  std::lock_guard<std::mutex> lock(mutex_);
  if (gone_ && queue_.empty()) throw EComPort(ceQueueCounts, goneError_.load(), path_);
  return static_cast<int32_t>(queue_.size());
}

int32_t PosixSerialDevice::PendingOutput() {
  if (fd_ < 0) throw EComPort(ceQueueCounts, EBADF, path_);
  if (gone_) throw EComPort(ceQueueCounts, goneError_.load(), path_);
  int n = 0;
  if (::ioctl(fd_, TIOCOUTQ, &n) != 0) throw EComPort(ceQueueCounts, errno, path_);
  return n;
}

void PosixSerialDevice::Purge(bool input, bool output) {
  if (fd_ < 0) throw EComPort(cePurge, EBADF, path_);
  if (gone_) throw EComPort(cePurge, goneError_.load(), path_);
  if (input) {
    // With the intake held, no byte is between the kernel and the queue: the reader
    // cannot store a chunk from before the purge after it.
    std::lock_guard<std::mutex> intake(intake_);
    if (::tcflush(fd_, TCIFLUSH) != 0) throw EComPort(cePurge, errno, path_);
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    rx80Armed_ = true;
    rx80Pending_ = false;
    WakeReaderIfRoomLocked();
  }
  if (output && ::tcflush(fd_, TCOFLUSH) != 0) throw EComPort(cePurge, errno, path_);
}

void PosixSerialDevice::PurgeQuietly() {
  std::lock_guard<std::mutex> intake(intake_);
  if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
  rx80Armed_ = true;
  rx80Pending_ = false;
  WakeReaderIfRoomLocked();
}

int PosixSerialDevice::ModemStatus(unsigned& lines) {
  lines = 0;
  if (fd_ < 0) return EBADF;
  if (gone_) return goneError_.load();
  int bits = 0;
  if (::ioctl(fd_, TIOCMGET, &bits) != 0) {
    const int err = errno;
    // A pseudo-terminal has no modem lines and answers ENOTTY or EINVAL.
    return (err == ENOTTY || err == EINVAL || err == ENOSYS) ? kNoModemLines : err;
  }
  if (bits & TIOCM_CTS) lines |= kLineCts;
  if (bits & TIOCM_DSR) lines |= kLineDsr;
  if (bits & TIOCM_RNG) lines |= kLineRing;
  if (bits & TIOCM_CAR) lines |= kLineRlsd;
  return 0;
}

namespace {

// The event thread's wait: poll, without time limit, on the stop eventfd, the hang-up
// eventfd and the eventfd that the reader signals for every chunk it stores.
class PosixEventWaiter : public SerialEventWaiter {
 public:
  PosixEventWaiter(PosixSerialDevice& device, TComEvents events)
      : device_(device), events_(events), stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~PosixEventWaiter() override {
    if (stopFd_ >= 0) ::close(stopFd_);
  }

  Outcome Wait(TComEvents& batch) override {
    if (stopFd_ < 0) return Outcome::kStopped;
    for (;;) {
      struct pollfd fds[3] = {{stopFd_, POLLIN, 0},
                              {device_.HangupEventFd(), POLLIN, 0},
                              {device_.RxEventFd(), POLLIN, 0}};
      const int r = ::poll(fds, 3, -1);
      if (fds[0].revents) return Outcome::kStopped;
      if (r < 0) {
        if (errno == EINTR) continue;
        return Outcome::kGone;
      }
      if (fds[1].revents) return Outcome::kGone;  // the device has disappeared
      if (!(fds[2].revents & POLLIN)) continue;
      uint64_t counter = 0;
      ssize_t n = ::read(fds[2].fd, &counter, sizeof counter);
      (void)n;
      batch = TComEvents();
      if (events_.Has(evRxChar)) batch.Include(evRxChar);
      if (device_.TakeRx80Full() && events_.Has(evRx80Full)) batch.Include(evRx80Full);
      if (device_.TakeRxFlag() && events_.Has(evRxFlag)) batch.Include(evRxFlag);
      if (!batch.Empty()) return Outcome::kEvents;
    }
  }

  void Stop() override {
    if (stopFd_ < 0) return;
    uint64_t one = 1;
    ssize_t r = ::write(stopFd_, &one, sizeof one);
    (void)r;
  }

 private:
  PosixSerialDevice& device_;
  const TComEvents events_;
  int stopFd_;
};

}  // namespace

std::unique_ptr<SerialEventWaiter> PosixSerialDevice::NewEventWaiter(TComEvents events) {
  return std::make_unique<PosixEventWaiter>(*this, events);
}

std::unique_ptr<SerialDevice> NewSerialDevice(const std::string& port,
                                              TerminalSettingsIo* terminal) {
  return std::make_unique<PosixSerialDevice>(SerialDevicePath(port),
                                             terminal ? *terminal : SystemTerminalSettings());
}

// Absolute paths as they stand (a pseudo-terminal, a by-id link), "COMn" is
// /dev/ttyS<n-1>, any other bare NAME is /dev/NAME.
std::string SerialDevicePath(const std::string& port) {
  if (!port.empty() && port[0] == '/') return port;
  if (port.size() > 3 && (port[0] == 'C' || port[0] == 'c') && (port[1] == 'O' || port[1] == 'o') &&
      (port[2] == 'M' || port[2] == 'm')) {
    bool digits = true;
    for (size_t i = 3; i < port.size(); ++i)
      if (!std::isdigit(static_cast<unsigned char>(port[i]))) digits = false;
    if (digits && port.size() <= 9) {
      long n = std::stol(port.substr(3));
      if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    }
  }
  return "/dev/" + port;
}

int ClosedDeviceErrorCode() { return EBADF; }

PortFault ClassifySystemError(int code) {
  switch (code) {
    case EACCES:
    case EPERM: return PortFault::kNoPermission;
    case ENOENT: return PortFault::kNoSuchDevice;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EBUSY: return PortFault::kBusy;  // the lock or TIOCEXCL of another program
    case EIO:
    case ENXIO:
    case ENODEV:
    case EPIPE: return PortFault::kLineDead;
    default: return PortFault::kOther;
  }
}

bool PosixSerialDevice::TakeRx80Full() {
  std::lock_guard<std::mutex> lock(mutex_);
  bool r = rx80Pending_;
  rx80Pending_ = false;
  return r;
}

bool PosixSerialDevice::TakeRxFlag() {
  std::lock_guard<std::mutex> lock(mutex_);
  bool r = rxFlagPending_;
  rxFlagPending_ = false;
  return r;
}
