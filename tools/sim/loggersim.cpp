// The simulated logger: a thread that holds the master side of a
// pseudo-terminal and plays the logger's firmware or bootloader.
#include "tools/sim/loggersim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "tools/sim/simutil.h"

namespace loggersim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Ms = std::chrono::milliseconds;

namespace {

enum class SegKind { Announce, Download, Babble, Answer };

struct Segment {
  SegKind kind = SegKind::Answer;
  std::vector<uint8_t> bytes;
  size_t pos = 0;
  bool endless = false;          // refilled while sent
  std::vector<SimPause> pauses;  // by offset
  size_t nextPause = 0;
  long sent = 0;  // bytes of this message sent (pos restarts on a refill)
  std::optional<TimePoint> heldUntil;
};

constexpr int kAckBytes = 31;
constexpr int kWriteMessageBytes = 11;
constexpr int kWriteMessageTimeoutMs = 1000;
constexpr int kMinBurstGapUs = 2000;  // pacing wakes at most every 2 ms

}  // namespace

struct LoggerSim::Impl {
  SimOptions opt;
  mutable std::mutex mu;

  // Logger state (guarded by mu).
  SimConfig config;
  SimFlight flight;
  bool on = false;
  bool acked = false;
  int ackCount = 0;
  int announcesStarted = 0;
  int announcesDone = 0;
  int acks = 0;
  int downloads = 0;
  int deletes = 0;
  bool deleting = false;
  bool downloading = false;
  std::vector<uint8_t> writeBuf;
  TimePoint writeDeadline;
  std::vector<std::vector<uint8_t>> writes;
  std::optional<TimePoint> announceAt, downloadAt, reonAt;
  bool announceRepeats = false;  // the pending announce is a periodic repeat

  // Bootloader state.
  int triggers = 0;
  bool bootReady = false;
  bool inRecord = false;
  std::string record;
  int recordNo = 0;
  uint32_t hexBase = 0;
  HexImage image;
  std::vector<std::string> goodRecords, badRecords;
  bool finished = false;

  // Received bytes.
  std::vector<RxEvent> rx;
  FILE* log = nullptr;

  // Output and pacing (thread only, counters read under mu).
  std::deque<Segment> out;
  long bytesSent = 0;
  TimePoint paceStart;
  long paceCount = 0;
  bool blocked = false;
  bool hangPending = false;
  TimePoint hangDeadline, hangCheckFrom;
  uint32_t garbageState = 0xC0FFEE;
  size_t endlessCursor = 0;

  // Device and thread.
  int master = -1;
  int slaveKeep = -1;
  std::string slavePath;
  int wakePipe[2] = {-1, -1};
  std::thread thread;
  std::atomic<bool> stopFlag{false};
  std::atomic<bool> running{false};
  std::atomic<bool> hungUp{false};
  TimePoint t0;

  void Wake() {
    if (wakePipe[1] >= 0) {
      char c = 1;
      ssize_t ignored = ::write(wakePipe[1], &c, 1);
      (void)ignored;
    }
  }

  double NowMs() const {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }

  void Log(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    if (!log) return;
    std::fprintf(log, "%.3f ", NowMs());
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(log, fmt, ap);
    va_end(ap);
    std::fputc('\n', log);
    std::fflush(log);  // the log is watched while the simulator runs
  }

  uint8_t Garbage() {
    for (;;) {
      garbageState = garbageState * 1103515245u + 12345u;
      uint8_t b = uint8_t(garbageState >> 16);
      if (b != 0x01 && b != 0x55) return b;
    }
  }

  // Truncation and garbage of the fault settings, applied to one message.
  std::vector<uint8_t> WithFaults(std::vector<uint8_t> m, long stopAfter) {
    const SimFaults& f = opt.faults;
    if (stopAfter >= 0 && size_t(stopAfter) < m.size()) m.resize(size_t(stopAfter));
    if (f.garbageInsideAt >= 0 && size_t(f.garbageInsideAt) <= m.size()) {
      std::vector<uint8_t> g;
      for (int i = 0; i < f.garbageInsideCount; ++i) g.push_back(Garbage());
      m.insert(m.begin() + f.garbageInsideAt, g.begin(), g.end());
    }
    if (f.garbageBefore > 0) {
      std::vector<uint8_t> g;
      for (int i = 0; i < f.garbageBefore; ++i) g.push_back(Garbage());
      m.insert(m.begin(), g.begin(), g.end());
    }
    return m;
  }

  void Enqueue(SegKind kind, std::vector<uint8_t> bytes, bool endless = false,
               std::vector<SimPause> pauses = {}) {
    if (out.empty()) {
      paceStart = Clock::now();
      paceCount = 0;
    }
    std::stable_sort(pauses.begin(), pauses.end(),
                     [](const SimPause& a, const SimPause& b) { return a.offset < b.offset; });
    Segment seg;
    seg.kind = kind;
    seg.bytes = std::move(bytes);
    seg.endless = endless;
    seg.pauses = std::move(pauses);
    out.push_back(std::move(seg));
  }

  bool AnnounceQueued() const {
    for (const Segment& s : out)
      if (s.kind == SegKind::Announce) return true;
    return false;
  }

  // --- logger behaviour (called with mu held) ---

  void PowerOnLocked(TimePoint now) {
    on = true;
    acked = false;
    ackCount = 0;
    announcesStarted = 0;
    announceRepeats = false;
    reonAt.reset();
    if (opt.mode == SimMode::Bootloader) {
      announceAt.reset();
      return;
    }
    if (opt.faults.babble) {
      Enqueue(SegKind::Babble, {}, true);
      return;
    }
    announceAt = now + Ms(opt.powerOnDelayMs);
  }

  void SendAnnounce(TimePoint now) {
    if (!AnnounceQueued()) {  // a line that nobody reads does not pile up announces
      std::vector<uint8_t> m = BuildAnnounce(config, opt.syncCount);
      Enqueue(SegKind::Announce, WithFaults(std::move(m), opt.faults.configStopAfter), false,
              opt.faults.configPauses);
      ++announcesStarted;
      Log("# announce");
    }
    if (opt.announceEveryMs > 0 && !acked) {
      announceAt = now + Ms(opt.announceEveryMs);
      announceRepeats = true;
    } else {
      announceAt.reset();
    }
  }

  void StartDownload() {
    const SimFaults& f = opt.faults;
    std::vector<uint8_t> m;
    if (opt.replay.empty()) {
      m = BuildDownload(flight, opt.downloadSyncCount, f.allHighBits);
    } else {
      m.assign(size_t(opt.downloadSyncCount), 0x55);
      m.insert(m.end(), opt.replay.begin(), opt.replay.end());
    }
    long stop = f.downloadStopAfter;
    if (f.recordsStopAfter >= 0) {
      long atRecords = long(opt.downloadSyncCount) + 1 + 23 + f.recordsStopAfter;
      stop = stop < 0 ? atRecords : std::min(stop, atRecords);
    }
    bool endless = f.endless && stop < 0;
    Enqueue(SegKind::Download, WithFaults(std::move(m), stop), endless, f.downloadPauses);
    downloading = true;
    ++downloads;
    Log("# download");
  }

  void RefillEndless(Segment& s) {
    // Keep a few hundred bytes ahead: the stored records over and over,
    // or garbage when there are none.
    if (s.bytes.size() - s.pos > 512) return;
    if (s.pos > 4096) {
      s.bytes.erase(s.bytes.begin(), s.bytes.begin() + long(s.pos));
      s.pos = 0;
    }
    while (s.bytes.size() - s.pos < 1024) {
      if (s.kind == SegKind::Download && !flight.records.empty()) {
        const SimRecord& r = flight.records[endlessCursor++ % flight.records.size()];
        std::vector<uint8_t> b =
            PackRecord(r, flight.recordFlags1, flight.recordFlags2, opt.faults.allHighBits);
        s.bytes.insert(s.bytes.end(), b.begin(), b.end());
        if (b.empty()) s.bytes.push_back(Garbage());
      } else {
        s.bytes.push_back(Garbage());
      }
    }
  }

  void SegmentDone(const Segment& s, TimePoint now) {
    switch (s.kind) {
      case SegKind::Announce: ++announcesDone; break;
      case SegKind::Download:
        // The logger has sent its memory: it falls silent like a logger
        // that is switched off.
        downloading = false;
        on = false;
        announceAt.reset();
        Log("# download end");
        if (opt.reonAfterDownloadMs > 0) reonAt = now + Ms(opt.reonAfterDownloadMs);
        break;
      default: break;
    }
  }

  void ApplyWrite(TimePoint now) {
    const std::vector<uint8_t>& b = writeBuf;
    writes.push_back(b);
    config.recordFlags1 = b[1];
    config.recordFlags2 = b[2];
    config.sampleRateCode = b[3];
    config.teleFlags1 = b[6];
    config.teleFlags2 = b[7];
    config.adc3Offset = b[8];
    config.serialSensor = b[9];
    uint8_t deleteMode = b[10];
    Log("# write message, delete mode %u", deleteMode);
    // The logger restarts with the new configuration and announces it.
    on = true;
    acked = false;
    ackCount = 0;
    announceRepeats = false;
    if (deleteMode == 1 || deleteMode == 255) {
      deleting = true;
      announceAt = now + Ms(opt.deleteMs);
    } else {
      announceAt = now + Ms(opt.reannounceDelayMs);
    }
  }

  void NormalByte(uint8_t c, TimePoint now) {
    if (!writeBuf.empty()) {
      writeBuf.push_back(c);
      if (writeBuf.size() == kWriteMessageBytes) {
        ApplyWrite(now);
        writeBuf.clear();
      }
      return;
    }
    if (!on || deleting) return;
    if (c == 0x0F) {
      if (announcesStarted > 0 && !acked && ++ackCount >= kAckBytes) {
        acked = true;
        ++acks;
        Log("# acknowledged");
        if (announceRepeats) announceAt.reset();
      }
    } else if (c == 0x63) {
      writeBuf.push_back(c);
      writeDeadline = now + Ms(kWriteMessageTimeoutMs);
    } else if (c == 0x53) {
      if (!downloading && !downloadAt) {
        announceAt.reset();
        downloadAt = now + Ms(opt.faults.downloadDelayMs);
      }
    }
  }

  void BootAnswer(char c) { Enqueue(SegKind::Answer, {uint8_t(c)}); }

  void FinishRecord(bool syntaxOk) {
    ++recordNo;
    HexRecord r;
    std::string why;
    bool good = syntaxOk && ParseHexRecord(record, r, &why);
    if (good) {
      uint32_t base = hexBase;
      HexImage scratch = image;
      good = ApplyHexRecord(r, base, scratch);
      if (good) {
        hexBase = base;
        image.swap(scratch);
      }
    }
    (good ? goodRecords : badRecords).push_back(record);
    Log("# record %d %s", recordNo, good ? "good" : "bad");
    const SimFaults& f = opt.faults;
    bool end = good && r.type == 0x01;
    if (end) finished = true;
    if (recordNo == f.bootNoAnswerAtLine)
      ;  // no answer
    else if (recordNo == f.bootBadAnswerAtLine)
      BootAnswer(f.bootBadAnswer);
    else if (!good)
      BootAnswer('E');
    else if (end)
      BootAnswer(f.bootNoFinalS ? '.' : 'S');
    else
      BootAnswer('.');
    inRecord = false;
    record.clear();
  }

  static bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  }

  void BootByte(uint8_t c) {
    const SimFaults& f = opt.faults;
    if (inRecord) {
      if (c == ':') {
        FinishRecord(false);  // a record cut short by a new one
      } else if (!IsHex(char(c))) {
        record.push_back(char(c));
        FinishRecord(false);
        return;
      } else {
        record.push_back(char(c));
        if (record.size() >= 3) {
          size_t len = size_t(std::stoul(record.substr(1, 2), nullptr, 16));
          if (record.size() == 1 + 2 + 4 + 2 + 2 * len + 2) FinishRecord(true);
        }
        return;
      }
    }
    if (c == 0x21) {
      ++triggers;
      Log("# trigger %d", triggers);
      if (f.bootSilent) return;
      if (triggers >= f.bootReadyOnTrigger) {
        bootReady = true;
        recordNo = 0;
        hexBase = 0;
        image.clear();
        goodRecords.clear();
        badRecords.clear();
        finished = false;
        BootAnswer('r');
      } else if (f.bootWrongReady >= 0) {
        BootAnswer(char(f.bootWrongReady));
      }
      return;
    }
    if (c == ':' && bootReady) {
      inRecord = true;
      record = ":";
    }
    // anything else between records (line ends, noise) is ignored
  }

  void OnReceived(const uint8_t* buf, size_t n) {
    TimePoint now = Clock::now();
    std::lock_guard<std::mutex> lock(mu);
    for (size_t i = 0; i < n; ++i) {
      double ms = NowMs();
      rx.push_back(RxEvent{ms, buf[i]});
      if (log) std::fprintf(log, "%.3f RX %02X\n", ms, buf[i]);
      if (opt.mode == SimMode::Bootloader)
        BootByte(buf[i]);
      else
        NormalByte(buf[i], now);
    }
    if (log) std::fflush(log);
  }

  void RunTimers(TimePoint now) {
    std::lock_guard<std::mutex> lock(mu);
    if (!writeBuf.empty() && now >= writeDeadline) {
      Log("# write message incomplete, dropped");
      writeBuf.clear();
    }
    if (reonAt && now >= *reonAt) {
      reonAt.reset();
      PowerOnLocked(now);
    }
    if (downloadAt && now >= *downloadAt) {
      downloadAt.reset();
      if (on) StartDownload();
    }
    if (announceAt && now >= *announceAt) {
      if (deleting) {
        deleting = false;
        flight.records.clear();
        config.dataCount = 0;
        ++deletes;
        Log("# deleted");
      }
      if (on)
        SendAnnounce(now);
      else
        announceAt.reset();
    }
  }

  std::optional<TimePoint> NextTimer() const {
    std::optional<TimePoint> t;
    auto take = [&](const std::optional<TimePoint>& x) {
      if (x && (!t || *x < *t)) t = x;
    };
    take(announceAt);
    take(downloadAt);
    take(reonAt);
    if (!writeBuf.empty()) take(writeDeadline);
    return t;
  }

  void HangUp() {
    Log("# hang-up after %ld bytes", bytesSent);
    if (master >= 0) ::close(master);
    if (slaveKeep >= 0) ::close(slaveKeep);
    master = slaveKeep = -1;
    hungUp = true;
  }

  // Sends what the pacing allows now. Returns the time of the next byte
  // when output waits for its time.
  std::optional<TimePoint> Send(TimePoint now) {
    std::lock_guard<std::mutex> lock(mu);
    double period = opt.baud > 0 ? double(opt.bitsPerByte) / opt.baud : 0.0;
    // At most 64 KiB a call: a reader that keeps up with an endless stream must not
    // keep the loop from its timers and from Stop.
    long budget = 65536;
    while (!out.empty() && !blocked && !hangPending && master >= 0 && !stopFlag && budget > 0) {
      Segment& s = out.front();
      if (s.endless) RefillEndless(s);
      if (s.pos >= s.bytes.size()) {
        Segment done = std::move(s);
        out.pop_front();
        SegmentDone(done, now);
        continue;
      }
      // A pause holds the line after the first `offset` bytes of the message; the
      // pacing starts anew after it.
      if (s.heldUntil) {
        if (now < *s.heldUntil) return *s.heldUntil;
        s.heldUntil.reset();
        paceStart = now;
        paceCount = 0;
      }
      if (s.nextPause < s.pauses.size() && s.pauses[s.nextPause].offset <= s.sent) {
        const SimPause& p = s.pauses[s.nextPause++];
        Log("# pause of %d ms after %ld bytes", p.ms, s.sent);
        s.heldUntil = now + Ms(p.ms);
        return *s.heldUntil;
      }
      long n = long(s.bytes.size() - s.pos);
      if (s.nextPause < s.pauses.size()) n = std::min(n, s.pauses[s.nextPause].offset - s.sent);
      if (period > 0) {
        double elapsed = std::chrono::duration<double>(now - paceStart).count();
        long due = long(std::floor(elapsed / period)) + 1 - paceCount;
        if (due <= 0) {
          auto next = paceStart + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(paceCount * period));
          return std::max(next, now + std::chrono::microseconds(kMinBurstGapUs));
        }
        n = std::min(n, due);
      }
      n = std::min(n, 4096L);
      const SimFaults& f = opt.faults;
      bool hang = false;
      if (f.hangupAt >= 0 && bytesSent + n >= f.hangupAt) {
        n = f.hangupAt - bytesSent;
        hang = true;
      }
      if (s.kind == SegKind::Download && f.hangupInDownloadAt >= 0 &&
          long(s.pos) + n >= f.hangupInDownloadAt) {
        n = f.hangupInDownloadAt - long(s.pos);
        hang = true;
      }
      ssize_t k = n > 0 ? ::write(master, s.bytes.data() + s.pos, size_t(n)) : 0;
      if (k < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
          blocked = true;
          break;
        }
        if (errno == EINTR) continue;
        HangUp();
        break;
      }
      s.pos += size_t(k);
      s.sent += k;
      budget -= k;
      bytesSent += k;
      paceCount += k;
      if (k < n) {
        blocked = true;
        break;
      }
      if (hang) {
        // The cable goes after the last byte has arrived: wait until
        // the other side has taken it (bounded), then close.
        hangPending = true;
        hangCheckFrom = now + Ms(30);  // the kernel passes the bytes on first
        hangDeadline = now + Ms(1000);
        break;
      }
    }
    if (budget <= 0) return now;  // more to send at once, after a look at the timers
    return std::nullopt;
  }

  void Run() {
    TimePoint end = t0 + Ms(opt.lifetimeMs);
    uint8_t buf[4096];
    while (!stopFlag && !hungUp) {
      TimePoint now = Clock::now();
      if (opt.lifetimeMs > 0 && now >= end) break;
      RunTimers(now);
      std::optional<TimePoint> nextByte = Send(now);
      if (hangPending) {
        int queued = 0;
        if (now >= hangDeadline ||
            (now >= hangCheckFrom && (::ioctl(slaveKeep, FIONREAD, &queued) != 0 || queued == 0)))
          HangUp();
        else
          nextByte = now + Ms(2);
      }
      if (hungUp) break;
      std::optional<TimePoint> wake;
      bool wantOut;
      {
        std::lock_guard<std::mutex> lock(mu);
        wake = NextTimer();
        wantOut = blocked;
      }
      if (nextByte && (!wake || *nextByte < *wake)) wake = nextByte;
      if (opt.lifetimeMs > 0 && (!wake || end < *wake)) wake = end;
      pollfd fds[2] = {{master, short(POLLIN | (wantOut ? POLLOUT : 0)), 0},
                       {wakePipe[0], POLLIN, 0}};
      timespec ts{1, 0};
      if (wake) {
        auto d = std::chrono::duration_cast<std::chrono::nanoseconds>(*wake - Clock::now());
        long long ns = std::max<long long>(d.count(), 0);
        if (ns > 1000000000LL) ns = 1000000000LL;
        ts = {time_t(ns / 1000000000LL), long(ns % 1000000000LL)};
      }
      int r = ::ppoll(fds, 2, &ts, nullptr);
      if (r < 0 && errno != EINTR) break;
      if (r <= 0) continue;
      if (fds[1].revents) {
        char junk[64];
        while (::read(wakePipe[0], junk, sizeof junk) > 0) {
        }
        if (stopFlag) break;
      }
      if (fds[0].revents & POLLOUT) {
        std::lock_guard<std::mutex> lock(mu);
        blocked = false;
        paceStart = Clock::now();  // the line was held up: start a new schedule
        paceCount = 0;
      }
      if (fds[0].revents & POLLIN) {
        ssize_t k = ::read(master, buf, sizeof buf);
        if (k > 0) OnReceived(buf, size_t(k));
      }
      if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) {
        // Nobody holds the slave (cannot happen while slaveKeep is
        // open); avoid spinning.
        std::this_thread::sleep_for(Ms(5));
      }
    }
    running = false;
  }
};

LoggerSim::LoggerSim(SimOptions options, SimConfig config, SimFlight flight) : d(new Impl) {
  d->opt = std::move(options);
  d->config = std::move(config);
  d->flight = std::move(flight);
}

LoggerSim::~LoggerSim() { Stop(); }

void LoggerSim::Start() {
  if (d->thread.joinable()) return;
  int m = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (m < 0 || ::grantpt(m) != 0 || ::unlockpt(m) != 0)
    throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
  char name[256];
  if (::ptsname_r(m, name, sizeof name) != 0) {
    ::close(m);
    throw std::runtime_error("ptsname failed");
  }
  int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s < 0) {
    ::close(m);
    throw std::runtime_error(std::string("cannot open ") + name + ": " + std::strerror(errno));
  }
  termios t{};
  ::tcgetattr(s, &t);
  ::cfmakeraw(&t);
  ::cfsetispeed(&t, B38400);
  ::cfsetospeed(&t, B38400);
  ::tcsetattr(s, TCSANOW, &t);
  ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
  ::fcntl(m, F_SETFD, FD_CLOEXEC);
  if (::pipe2(d->wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    ::close(m);
    ::close(s);
    throw std::runtime_error("pipe failed");
  }
  d->master = m;
  d->slaveKeep = s;
  d->slavePath = name;
  if (!d->opt.linkPath.empty()) {
    ::unlink(d->opt.linkPath.c_str());
    if (::symlink(name, d->opt.linkPath.c_str()) != 0)
      throw std::runtime_error("cannot make link " + d->opt.linkPath + ": " + std::strerror(errno));
  }
  if (!d->opt.logPath.empty()) {
    d->log = std::fopen(d->opt.logPath.c_str(), "w");
    if (!d->log) throw std::runtime_error("cannot write log " + d->opt.logPath);
  }
  d->t0 = Clock::now();
  d->Log("# slave %s", name);
  {
    std::lock_guard<std::mutex> lock(d->mu);
    d->PowerOnLocked(d->t0);
  }
  d->stopFlag = false;
  d->running = true;
  d->thread = std::thread([this] { d->Run(); });
}

void LoggerSim::Stop() {
  if (d->thread.joinable()) {
    d->stopFlag = true;
    d->Wake();
    d->thread.join();
  }
  d->running = false;
  if (d->master >= 0) ::close(d->master);
  if (d->slaveKeep >= 0) ::close(d->slaveKeep);
  d->master = d->slaveKeep = -1;
  for (int& fd : d->wakePipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  if (!d->opt.linkPath.empty()) ::unlink(d->opt.linkPath.c_str());
  if (d->log) {
    std::fclose(d->log);
    d->log = nullptr;
  }
}

bool LoggerSim::Running() const { return d->running; }
std::string LoggerSim::SlavePath() const { return d->slavePath; }

#define LOCKED(expr)                       \
  std::lock_guard<std::mutex> lock(d->mu); \
  return expr

std::vector<uint8_t> LoggerSim::Received() const {
  std::lock_guard<std::mutex> lock(d->mu);
  std::vector<uint8_t> v;
  v.reserve(d->rx.size());
  for (const RxEvent& e : d->rx) v.push_back(e.byte);
  return v;
}

std::vector<RxEvent> LoggerSim::ReceivedEvents() const { LOCKED(d->rx); }
void LoggerSim::ClearReceived() {
  std::lock_guard<std::mutex> lock(d->mu);
  d->rx.clear();
}
SimConfig LoggerSim::CurrentConfig() const { LOCKED(d->config); }
SimFlight LoggerSim::CurrentFlight() const { LOCKED(d->flight); }
std::vector<std::vector<uint8_t>> LoggerSim::WriteMessages() const { LOCKED(d->writes); }
int LoggerSim::Announces() const { LOCKED(d->announcesDone); }
int LoggerSim::Acks() const { LOCKED(d->acks); }
int LoggerSim::Downloads() const { LOCKED(d->downloads); }
int LoggerSim::Deletes() const { LOCKED(d->deletes); }
long LoggerSim::BytesSent() const { LOCKED(d->bytesSent); }
bool LoggerSim::HungUp() const { return d->hungUp; }
int LoggerSim::Triggers() const { LOCKED(d->triggers); }
std::vector<std::string> LoggerSim::ProgrammedRecords() const { LOCKED(d->goodRecords); }
std::vector<std::string> LoggerSim::BadRecords() const { LOCKED(d->badRecords); }
HexImage LoggerSim::ProgrammedImage() const { LOCKED(d->image); }
bool LoggerSim::Finished() const { LOCKED(d->finished); }

bool LoggerSim::WriteImageHex(const std::string& path) const {
  return WriteHexFile(ProgrammedImage(), path);
}

void LoggerSim::PowerOn() {
  std::lock_guard<std::mutex> lock(d->mu);
  d->PowerOnLocked(Clock::now());
  d->Wake();
}

void LoggerSim::PowerOff() {
  std::lock_guard<std::mutex> lock(d->mu);
  d->on = false;
  d->announceAt.reset();
  d->downloadAt.reset();
  d->reonAt.reset();
  d->downloading = false;
  d->out.clear();
  d->Log("# switched off");
  d->Wake();
}

}  // namespace loggersim
