// The event thread and the hand-over to the window's thread, played here by the test's
// own thread calling RunPending.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <vector>

#include "pty_support.h"

namespace {

class EventThreadTest : public PortOnPtyTest<> {
 protected:
  void SetUp() override {
    PortOnPtyTest::SetUp();
    port.OnRxChar = [this](TCustomComPort*, int32_t count) {
      counts.push_back(count);
      handlerThread = std::this_thread::get_id();
      if (readInHandler) {
        std::string text;
        port.ReceiveText(text, 4096);
        received += text;
      }
    };
  }
  std::vector<int32_t> counts;
  std::thread::id handlerThread;
  bool readInHandler = true;
  std::string received;
};

}  // namespace

TEST(MainThreadSyncTest, RunsOnTheCallingThreadRethrowsAndCancels) {
  MainThreadSync sync;
  std::vector<int> order;
  std::thread::id ranOn;
  int wakes = 0;
  sync.SetWake([&] { ++wakes; });
  std::thread worker([&] {
    EXPECT_TRUE(sync.Synchronize([&] {
      order.push_back(1);
      ranOn = std::this_thread::get_id();
    }));
    EXPECT_THROW(sync.Synchronize([] { throw std::logic_error("from the job"); }),
                 std::logic_error);
  });
  ASSERT_TRUE(PumpUntil(sync, [&] { return !order.empty(); }));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  ASSERT_TRUE(WaitUntil([&] { return sync.HasPending(); }));
  sync.RunPending();
  worker.join();
  EXPECT_EQ(wakes, 2);
  EXPECT_FALSE(sync.HasPending());

  bool ran = false;
  std::atomic<int> result{-1};
  std::thread waiting([&] { result = sync.Synchronize([&] { ran = true; }) ? 1 : 0; });
  ASSERT_TRUE(WaitUntil([&] { return sync.HasPending(); }));
  sync.CancelAll();
  waiting.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_FALSE(ran);
}

TEST_F(EventThreadTest, RxCharRunsOnlyOnTheWindowThreadWithAPositiveCount) {
  port.Open();
  ASSERT_TRUE(port.EventThreadRunning());
  pty.Send("hello");
  ASSERT_TRUE(WaitUntil([&] { return sync.HasPending(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(counts.empty());  // nothing runs until the window thread takes messages
  ASSERT_TRUE(PumpUntil(sync, [&] { return received.size() == 5; }));
  EXPECT_EQ(received, "hello");
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  for (int32_t c : counts) EXPECT_GT(c, 0);

  // The protocol code reads the queue empty before the batch runs: no call with 0.
  const size_t before = counts.size();
  pty.Send("xyz");
  ASSERT_TRUE(WaitUntil([&] { return sync.HasPending(); }));
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 3; }));
  uint8_t buf[8];
  EXPECT_EQ(port.Read(buf, 8), 3);
  sync.RunPending();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  sync.RunPending();
  EXPECT_EQ(counts.size(), before);
}

TEST_F(EventThreadTest, NoEventsNoThread) {
  port.SetEvents(TComEvents());
  port.Open();
  EXPECT_FALSE(port.EventThreadRunning());
  pty.Send("abc");
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 3; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(sync.HasPending());
  sync.RunPending();
  EXPECT_TRUE(counts.empty());
}

TEST_F(EventThreadTest, CloseRunsTheWaitingBatchAndDoesNotDeadlock) {
  port.Open();
  pty.Send("late");
  ASSERT_TRUE(WaitUntil([&] { return sync.HasPending(); }));
  int64_t t0 = NowMs();
  port.Close();
  EXPECT_LT(NowMs() - t0, 2000);
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadRunning());
  EXPECT_EQ(received, "late");  // the batch ran during Close, with the port still open
  EXPECT_FALSE(sync.HasPending());
}

TEST_F(EventThreadTest, CloseFromInsideAHandlerDoesNotDeadlock) {
  port.OnRxChar = [this](TCustomComPort*, int32_t) { port.Close(); };
  port.Open();
  pty.Send("q");
  ASSERT_TRUE(PumpUntil(sync, [&] { return !port.Connected(); }));
  EXPECT_FALSE(port.EventThreadRunning());
  port.Open();  // and the port can be used again
  EXPECT_TRUE(port.EventThreadRunning());
}

TEST_F(EventThreadTest, AHandlerThatThrowsEndsTheThreadOnly) {
  port.OnRxChar = [](TCustomComPort*, int32_t) { throw std::runtime_error("handler failed"); };
  port.Open();
  pty.Send("a");
  ASSERT_TRUE(PumpUntil(sync, [&] { return !port.EventThreadRunning(); }));
  EXPECT_TRUE(port.Connected());
  pty.Send("after");
  // The byte the failed handler did not read is still there: received data is kept.
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 6; }));
  std::string text;
  EXPECT_EQ(port.ReceiveText(text, 16), 6);
  EXPECT_EQ(text, "aafter");
  EXPECT_EQ(port.SendText("ok"), 2);
  EXPECT_FALSE(sync.HasPending());
  port.Close();
  EXPECT_FALSE(port.Connected());
}

TEST_F(EventThreadTest, HangUpOfThePeerEndsTheThreadAndFailsTransfers) {
  port.Open();
  pty.CloseMaster();
  ASSERT_TRUE(PumpUntil(sync, [&] { return !port.EventThreadRunning(); }));
  EXPECT_TRUE(port.Connected());
  uint8_t buf[4];
  try {
    port.Read(buf, 4);
    FAIL() << "Read after hang-up succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceRead);
    EXPECT_EQ(e.SystemErrorCode(), EIO);
    EXPECT_EQ(e.DevicePath(), pty.path);
  }
  try {
    port.SendText("x");
    FAIL() << "Write after hang-up succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceWrite);
  }
  // Nothing spins on the dead line.
  const int64_t cpu0 = CpuMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(CpuMs() - cpu0, 150);
  int64_t t0 = NowMs();
  port.Close();
  EXPECT_LT(NowMs() - t0, 2000);
  EXPECT_FALSE(port.Connected());
}

TEST_F(EventThreadTest, UnreadInputCausesNoBusyLoop) {
  readInHandler = false;
  port.Open();
  pty.Send("unread bytes");
  ASSERT_TRUE(PumpUntil(sync, [&] { return !counts.empty(); }));
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 12; }));
  PumpUntil(
      sync, [] { return false; }, 50);
  const size_t calls = counts.size();
  const int64_t cpu0 = CpuMs();
  const int64_t t0 = NowMs();
  while (NowMs() - t0 < 500) {
    sync.RunPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_LT(CpuMs() - cpu0, 150);
  EXPECT_EQ(counts.size(), calls);  // no new bytes, no new batch
  EXPECT_EQ(port.PendingInput(), 12);
}

TEST_F(EventThreadTest, Rx80FullOncePerFilling) {
  readInHandler = false;
  int full = 0;
  port.OnRx80Full = [&](TCustomComPort*) { ++full; };
  port.Buffer().SetInputSize(1000);
  port.Open();
  pty.Send(std::string(700, 'a'));
  ASSERT_TRUE(PumpUntil(sync, [&] { return port.PendingInput() == 700 && !sync.HasPending(); }));
  PumpUntil(
      sync, [] { return false; }, 50);
  EXPECT_EQ(full, 0);
  pty.Send(std::string(150, 'b'));
  ASSERT_TRUE(PumpUntil(sync, [&] { return full == 1; }));
  pty.Send(std::string(20, 'c'));
  PumpUntil(sync, [&] { return port.PendingInput() == 870 && !sync.HasPending(); });
  PumpUntil(
      sync, [] { return false; }, 50);
  EXPECT_EQ(full, 1);
  // Read below the mark, fill again: a new warning.
  std::string text;
  port.ReceiveText(text, 870);
  pty.Send(std::string(850, 'd'));
  EXPECT_TRUE(PumpUntil(sync, [&] { return full == 2; }));
  port.Close();  // the handler refers to this test's locals
}

TEST_F(EventThreadTest, WithoutSynchronisationHandlersRunOnTheEventThread) {
  std::atomic<bool> called{false};
  std::atomic<bool> otherThread{false};
  const auto self = std::this_thread::get_id();
  port.OnRxChar = [&](TCustomComPort*, int32_t) {
    otherThread = std::this_thread::get_id() != self;
    called = true;
  };
  port.SetSyncMethod(smNone);
  port.Open();
  pty.Send("n");
  ASSERT_TRUE(WaitUntil([&] { return called.load(); }));
  EXPECT_TRUE(otherThread.load());
  EXPECT_FALSE(sync.HasPending());
  port.Close();
}

TEST_F(EventThreadTest, BytesReceivedBeforeAHangUpAreStillHandedOut) {
  readInHandler = false;
  port.Open();
  pty.Send("last words");
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 10; }));
  pty.CloseMaster();
  ASSERT_TRUE(PumpUntil(sync, [&] { return !port.EventThreadRunning(); }));
  std::string text;
  EXPECT_EQ(port.ReceiveText(text, 64), 10);
  EXPECT_EQ(text, "last words");
  uint8_t buf[4];
  EXPECT_THROW(port.Read(buf, 4), EComPort);
  port.Close();
}

TEST_F(EventThreadTest, ACloseInsideTheBatchThatCloseServesIsSafe) {
  int runs = 0;
  int afterClose = 0;
  port.OnRxChar = [&](TCustomComPort* p, int32_t) {
    ++runs;
    p->Close();
  };
  port.OnAfterClose = [&](TCustomComPort*) { ++afterClose; };
  port.Open();
  pty.Send("x");
  ASSERT_TRUE(WaitUntil([&] { return sync.HasPending(); }));
  port.Close();  // runs the waiting batch, whose handler closes once more
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(afterClose, 1);
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadRunning());
  EXPECT_FALSE(sync.HasPending());

  port.OnRxChar = nullptr;
  port.Open();
  pty.Send("again");
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 5; }));
  port.Close();
  EXPECT_EQ(afterClose, 2);
}

TEST_F(EventThreadTest, CloseOpenCloseInsideOneHandlerLeavesNoThreadOnAFreedDevice) {
  // Bytes keep arriving, so that the event thread of the second opening has work at once.
  std::atomic<bool> streaming{true};
  std::thread sender([&] {
    while (streaming) {
      pty.Send("s");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int round = 0; round < 10; ++round) {
    int runs = 0;
    port.OnRxChar = [&](TCustomComPort* p, int32_t) {
      if (runs++ > 0) return;
      p->Close();
      p->Open();
      EXPECT_TRUE(p->EventThreadRunning());
      std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
      p->Close();
    };
    port.Open();
    ASSERT_TRUE(PumpUntil(sync, [&] { return !port.Connected(); }));
    EXPECT_FALSE(port.EventThreadRunning());
    // No event thread of this port is left waiting for the window's thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(sync.HasPending()) << "round " << round;
    sync.RunPending();
  }
  streaming = false;
  sender.join();
}
