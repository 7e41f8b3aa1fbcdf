#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/MMTimer.h"

namespace {

std::atomic<int> g_calls{0};
std::atomic<bool> g_inCallback{false};

void Count(UINT, UINT, void* user, void*, void*) {
  g_inCallback = true;
  ++*static_cast<std::atomic<int>*>(user);
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  g_inCallback = false;
}

TEST(MMTimer, PeriodicUntilKilledAndNeverAfter) {
  std::atomic<int> calls{0};
  UINT id = timeSetEvent(5, 0, Count, &calls, TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  for (int i = 0; i < 2000 && calls < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GE(calls, 3);
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  EXPECT_FALSE(g_inCallback) << "kill returned during a callback";
  int after = calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_EQ(calls, after);
  EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM) << "already gone";
}

TEST(MMTimer, RefusesWhatCannotRunAndOneShotRunsOnce) {
  std::atomic<int> calls{0};
  EXPECT_EQ(timeSetEvent(5, 0, nullptr, &calls, TIME_PERIODIC), 0u);
  EXPECT_EQ(timeSetEvent(0, 0, Count, &calls, TIME_PERIODIC), 0u);
  UINT id = timeSetEvent(5, 0, Count, &calls, TIME_ONESHOT);
  ASSERT_NE(id, 0u);
  for (int i = 0; i < 2000 && calls < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(calls, 1);
}

TEST(MMTimer, ClockWrapsAsThirtyTwoBits) {
  DWORD before = timeGetTime();
  SetTimeGetTimeOffsetForTests(0xFFFFFFFFu - before - 5);
  DWORD a = timeGetTime();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  DWORD b = timeGetTime();
  SetTimeGetTimeOffsetForTests(0);
  EXPECT_LT(b, a) << "wrapped";
  EXPECT_GE(static_cast<DWORD>(b - a), 20u);
}

}  // namespace
