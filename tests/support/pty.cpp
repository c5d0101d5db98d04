#include "tests/support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "tests/support/clock.h"

LineEnd::LineEnd(int fd) : fd_(fd) {
  if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

LineEnd::LineEnd(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
  if (fd_ < 0) return;
  struct termios t {};
  ::tcgetattr(fd_, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd_, TCSANOW, &t);
}

LineEnd::LineEnd(LineEnd&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), hungUp_(other.hungUp_) {}

LineEnd& LineEnd::operator=(LineEnd&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    hungUp_ = other.hungUp_;
  }
  return *this;
}

void LineEnd::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LineEnd::WaitFor(short events, int ms) const {
  struct pollfd p = {fd_, events, 0};
  return ::poll(&p, 1, ms) > 0;
}

bool LineEnd::Write(const void* data, size_t size, int timeoutMs) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  const int64_t end = NowMs() + timeoutMs;
  while (fd_ >= 0 && done < size && NowMs() < end) {
    const ssize_t n = ::write(fd_, bytes + done, size - done);
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      return false;
    else
      WaitFor(POLLOUT, 10);
  }
  return done == size;
}

void LineEnd::ReadSome(std::vector<uint8_t>& got, size_t max, int waitMs) {
  if (!WaitFor(POLLIN, waitMs)) return;
  uint8_t buf[4096];
  const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, max));
  if (n > 0)
    got.insert(got.end(), buf, buf + n);
  else if (n == 0 || (errno != EAGAIN && errno != EINTR))
    hungUp_ = true;
}

std::vector<uint8_t> LineEnd::Read(size_t n, int timeoutMs) {
  std::vector<uint8_t> got;
  const int64_t end = NowMs() + timeoutMs;
  while (fd_ >= 0 && got.size() < n && !hungUp_) {
    const int64_t left = end - NowMs();
    if (left <= 0) break;
    ReadSome(got, n - got.size(), static_cast<int>(left));
  }
  return got;
}

std::vector<uint8_t> LineEnd::ReadUntilSilent(int silenceMs, int maxMs) {
  std::vector<uint8_t> got;
  const int64_t end = NowMs() + maxMs;
  while (fd_ >= 0 && !hungUp_ && NowMs() < end) {
    const size_t before = got.size();
    ReadSome(got, SIZE_MAX, silenceMs);
    if (got.size() == before) break;
  }
  return got;
}

PtyPair::PtyPair() {
  int m = -1;
  if (::openpty(&m, &slave, nullptr, nullptr, nullptr) != 0) return;
  master = LineEnd(m);
  if (const char* name = ::ttyname(slave)) path = name;
}

PtyPair::~PtyPair() {
  master.Close();
  if (slave >= 0) ::close(slave);
}

std::string PtyPair::ReceivedText(int quietMs) {
  const std::vector<uint8_t> bytes = Received(quietMs);
  return std::string(bytes.begin(), bytes.end());
}

speed_t PtyPair::SlaveSpeed() const {
  struct termios t {};
  ::tcgetattr(slave, &t);
  return ::cfgetospeed(&t);
}
