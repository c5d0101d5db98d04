// The program's end of the line in the tests: the slave side of the
// simulator's pseudo-terminal, opened with plain POSIX calls. Every read is
// bounded by a deadline.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyClient {
public:
    explicit PtyClient(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) {
            termios t{};
            ::tcgetattr(fd_, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~PtyClient() { Close(); }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool Ok() const { return fd_ >= 0; }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool HungUp() const { return hungUp_; }

    bool Write(const std::vector<uint8_t>& bytes)
    {
        size_t done = 0;
        auto end = Now() + std::chrono::seconds(5);
        while (done < bytes.size() && Now() < end) {
            ssize_t k = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (k > 0)
                done += size_t(k);
            else if (k < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            else
                Wait(POLLOUT, 10);
        }
        return done == bytes.size();
    }
    bool Write(const std::string& s) { return Write(std::vector<uint8_t>(s.begin(), s.end())); }

    // Up to n bytes, waiting at most timeoutMs in all.
    std::vector<uint8_t> Read(size_t n, int timeoutMs)
    {
        std::vector<uint8_t> got;
        auto end = Now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < n && !hungUp_) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - Now()).count());
            if (left <= 0)
                break;
            ReadSome(got, n - got.size(), left);
        }
        return got;
    }

    // Everything until the line has been silent for silenceMs (at most maxMs).
    std::vector<uint8_t> ReadUntilSilent(int silenceMs, int maxMs)
    {
        std::vector<uint8_t> got;
        auto end = Now() + std::chrono::milliseconds(maxMs);
        while (!hungUp_ && Now() < end) {
            size_t before = got.size();
            ReadSome(got, 1 << 20, silenceMs);
            if (got.size() == before)
                break;
        }
        return got;
    }

    // Everything that arrives within ms.
    std::vector<uint8_t> ReadFor(int ms) { return Read(size_t(1) << 30, ms); }

    static std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }

private:
    bool Wait(short events, int ms)
    {
        pollfd p{fd_, events, 0};
        int r = ::poll(&p, 1, ms);
        return r > 0;
    }

    void ReadSome(std::vector<uint8_t>& got, size_t max, int waitMs)
    {
        if (!Wait(POLLIN, waitMs))
            return;
        uint8_t buf[4096];
        ssize_t k = ::read(fd_, buf, std::min(sizeof buf, max));
        if (k > 0)
            got.insert(got.end(), buf, buf + k);
        else if (k == 0 || (errno != EAGAIN && errno != EINTR))
            hungUp_ = true;
    }

    int fd_ = -1;
    bool hungUp_ = false;
};
