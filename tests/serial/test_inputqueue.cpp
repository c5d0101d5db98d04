// The port's own input queue against the reader thread: a full queue holds the reader
// back instead of dropping bytes, a read's deadline takes what the device holds once
// more, and the reader's read-and-store, that last look and a purge never interleave.
#include <poll.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "pty_support.h"
#include "serial/comport.h"
#include "serial/mainsync.h"
#include "serial/posix_device.h"

namespace {

// Holds the reader thread once, right after it has taken bytes from the device and
// before it stores them, until Release.
class ReaderHold {
 public:
  explicit ReaderHold(PosixSerialDevice& device) : device_(device) {
    device_.SetReaderHookForTest([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (used_) return;
      used_ = true;
      held_ = true;
      cv_.notify_all();
      cv_.wait(lock, [this] { return released_; });
      held_ = false;
    });
  }
  ~ReaderHold() {
    Release();
    device_.SetReaderHookForTest(nullptr);
  }
  bool WaitHeld(int ms = 5000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return held_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }
  // Releases the reader from another thread after the caller had time to run into the
  // step that must wait for it.
  std::thread ReleaseLater(int ms) {
    return std::thread([this, ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      Release();
    });
  }

 private:
  PosixSerialDevice& device_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool used_ = false;
  bool held_ = false;
  bool released_ = false;
};

// The port with its backend in reach of the test.
class DevicePort : public TComPort {
 public:
  // The POSIX backend behind the seam, whose reader these tests hold.
  PosixSerialDevice* Device() const { return static_cast<PosixSerialDevice*>(TComPort::Device()); }
};

class InputQueueTest : public PortOnPtyTest<DevicePort> {
 protected:
  void SetUp() override {
    PortOnPtyTest::SetUp();
    port.SetEvents(TComEvents());  // the reader alone; no event thread in the way
  }
  void TearDown() override { port.Close(); }
  // Bytes still in the terminal, not yet taken by the reader.
  int KernelHolds() const {
    int n = -1;
    ::ioctl(pty.slave, FIONREAD, &n);
    return n;
  }
  std::string ReadAll(size_t want) {
    std::string all, part;
    const int64_t end = NowMs() + 10000;
    while (all.size() < want && NowMs() < end) {
      port.ReceiveText(part, 4096);
      all += part;
    }
    return all;
  }
};

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('A' + (i * 7 + i / 26) % 26));
  return s;
}

}  // namespace

TEST_F(InputQueueTest, FullQueueLeavesTheRestInTheDeviceAndLosesNothing) {
  port.Buffer().SetInputSize(1000);
  port.Open();
  const std::string stream = Pattern(3000);
  pty.Send(stream);
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 1000 && KernelHolds() == 2000; }));
  // While it waits for room the reader takes nothing and does not spin.
  const int64_t cpu0 = CpuMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(CpuMs() - cpu0, 150);
  EXPECT_EQ(port.PendingInput(), 1000);
  EXPECT_EQ(KernelHolds(), 2000);
  // Reading makes room: every byte comes, in order.
  EXPECT_EQ(ReadAll(stream.size()), stream);
  // A bigger queue set while full lets the reader go on at once.
  port.Buffer().SetInputSize(400);
  pty.Send(stream.substr(0, 1000));
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 400; }));
  port.Buffer().SetInputSize(2000);
  EXPECT_TRUE(WaitUntil([&] { return port.PendingInput() == 1000; }));
}

TEST_F(InputQueueTest, FullQueueStillWakesForCloseAndHangUp) {
  port.Buffer().SetInputSize(600);
  port.Open();
  pty.Send(Pattern(2000));
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 600; }));
  int64_t t0 = NowMs();
  port.Close();
  EXPECT_LT(NowMs() - t0, 2000);
  EXPECT_FALSE(port.Connected());

  // Open again, fill, and pull the plug.
  port.Open();
  pty.Send(Pattern(2000));
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 600; }));
  PosixSerialDevice* device = port.Device();
  ASSERT_NE(device, nullptr);
  pty.CloseMaster();
  struct pollfd p = {device->HangupEventFd(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 5000), 1);  // noticed while the queue was full
  // What the queue holds is still handed out, then the read error comes.
  std::string text;
  EXPECT_EQ(port.ReceiveText(text, 1000), 600);
  EXPECT_TRUE(WaitUntil([&] { return device->Gone(); }));
  uint8_t b;
  EXPECT_THROW(port.Read(&b, 1), EComPort);
  t0 = NowMs();
  port.Close();
  EXPECT_LT(NowMs() - t0, 2000);
}

TEST_F(InputQueueTest, LastLookWaitsForAHeldReaderAndKeepsTheOrder) {
  port.Open();
  ReaderHold hold(*port.Device());
  pty.Send("first");
  ASSERT_TRUE(hold.WaitHeld());  // "first" is out of the terminal, not yet in the queue
  pty.Send("second");
  ASSERT_TRUE(WaitUntil([&] { return KernelHolds() == 6; }));
  // The read's deadline passes with an empty queue; its last look must neither report a
  // silent line while bytes are on their way nor overtake the held chunk.
  std::thread releaser = hold.ReleaseLater(200);
  std::string text;
  port.ReceiveText(text, 64);
  releaser.join();
  std::string rest;
  if (text.size() < 11) port.ReceiveText(rest, 64);
  EXPECT_EQ(text + rest, "firstsecond");
  EXPECT_GE(text.size(), 5u);  // the bytes on their way were not taken for silence
}

TEST_F(InputQueueTest, PurgeWaitsForAHeldReaderSoNothingOldComesAfterIt) {
  port.Open();
  ReaderHold hold(*port.Device());
  pty.Send("old bytes");
  ASSERT_TRUE(hold.WaitHeld());
  std::thread releaser = hold.ReleaseLater(200);
  port.PurgeQueues(true, false);
  releaser.join();
  // Whatever the reader had in hand belonged before the purge.
  pty.Send("new");
  std::string text;
  EXPECT_TRUE(WaitUntil([&] { return port.PendingInput() >= 3; }));
  port.ReceiveText(text, 64);
  EXPECT_EQ(text, "new");
}
