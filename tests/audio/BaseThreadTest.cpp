#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/WYXBaseThread.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingThread : public WYXBaseThread {
 public:
  explicit CountingThread(bool honourStop = true, int result = 7) : m_honourStop(honourStop), m_result(result) {}
  ~CountingThread() override { StopAndWait(); }
  int Run() override {
    ++m_runs;
    m_sawStopAtStart = m_bStop.load();
    while (!(m_honourStop ? m_bStop.load() : m_release.load())) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return m_result;
  }
  bool m_honourStop;
  int m_result;
  std::atomic<bool> m_release{false};
  std::atomic<int> m_runs{0};
  std::atomic<bool> m_sawStopAtStart{false};
};

class QuickThread : public WYXBaseThread {
 public:
  ~QuickThread() override { StopAndWait(); }
  int Run() override { return 42; }
};

template <typename Pred>
bool WaitFor(Pred pred, int ms = 2000) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

}  // namespace

TEST(BaseThread, WaitWithoutThreadAndAfterRunReturned) {
  QuickThread t;
  EXPECT_EQ(t.Wait(0), -2);
  EXPECT_EQ(t.QueryState(), THREAD_NONE);
  ASSERT_NE(t.Start(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return t.m_nState == THREAD_ENDED; }));
  EXPECT_EQ(t.m_nExitCode, 42);
  EXPECT_EQ(t.QueryState(), THREAD_ENDED);
  EXPECT_EQ(t.Wait(0), 0);  // the thread object goes
  EXPECT_EQ(t.m_pThread, nullptr);
  EXPECT_EQ(t.Wait(0), -2);
}

TEST(BaseThread, StartRefusesWhileRunningAndRestartsWithAClearedStopFlag) {
  CountingThread t;
  CWinThread* first = t.Start(nullptr, 5);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(t.m_nState, THREAD_RUNNING);
  EXPECT_EQ(t.m_nParam, 5);
  EXPECT_EQ(t.Start(), nullptr);  // still running
  EXPECT_EQ(t.m_pThread, first);
  EXPECT_EQ(t.QueryState(), THREAD_RUNNING);

  t.RequestStop();
  ASSERT_TRUE(WaitFor([&] { return t.m_nState == THREAD_ENDED; }));
  // Started again without a Wait: the old object is replaced and the new Run
  // does not see the old stop request.
  ASSERT_NE(t.Start(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return t.m_runs == 2; }));
  EXPECT_FALSE(t.m_sawStopAtStart);
  EXPECT_EQ(t.m_nExitCode, 0);  // running again
  t.RequestStop();
  EXPECT_EQ(t.Wait(INFINITE), 0);
  EXPECT_EQ(t.m_nExitCode, 7);
}

TEST(BaseThread, WaitTimesOutOnAThreadThatIgnoresTheStopFlag) {
  CountingThread t(/*honourStop=*/false);
  ASSERT_NE(t.Start(), nullptr);
  t.RequestStop();
  const auto before = Clock::now();
  EXPECT_EQ(t.Wait(200), static_cast<int>(WAIT_TIMEOUT));
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(190));
  EXPECT_NE(t.m_pThread, nullptr);  // the object stays
  t.m_release = true;
  EXPECT_EQ(t.Wait(INFINITE), 0);
}

TEST(BaseThread, DestructionStopsAHonouringThreadAtOnce) {
  const auto before = Clock::now();
  {
    CountingThread t;
    ASSERT_NE(t.Start(), nullptr);
  }
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(900));  // one attempt, not ten
  { CountingThread never; }  // no thread: no attempt
}
