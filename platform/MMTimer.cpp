#include "platform/MMTimer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct Timer {
  UINT id = 0;
  UINT delay = 0;
  bool periodic = false;
  LPTIMECALLBACK proc = nullptr;
  void* user = nullptr;
  std::mutex mutex;
  std::condition_variable cv;
  bool killed = false;
  std::thread thread;
};

struct Timers {
  std::mutex mutex;
  std::map<UINT, std::shared_ptr<Timer>> running;
  UINT next = 1;
};

// Never destroyed, so a timer still running at exit finds it.
Timers& AllTimers() {
  static Timers* timers = new Timers;
  return *timers;
}

std::atomic<DWORD> g_offset{0};

void TimerMain(std::shared_ptr<Timer> t) {
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::milliseconds(t->delay);
  auto due = Clock::now() + period;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(t->mutex);
      if (t->cv.wait_until(lock, due, [&] { return t->killed; })) return;
    }
    t->proc(t->id, 0, t->user, nullptr, nullptr);
    if (!t->periodic) break;
    due += period;
    auto now = Clock::now();
    if (due < now) due = now + period;  // late: no catch-up burst
  }
  // A one-shot timer retires itself unless a kill is already under way (the
  // killer joins then).
  Timers& all = AllTimers();
  std::lock_guard<std::mutex> lock(all.mutex);
  auto it = all.running.find(t->id);
  if (it != all.running.end() && it->second == t) {
    all.running.erase(it);
    t->thread.detach();
  }
}

}  // namespace

DWORD timeGetTime() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<DWORD>(static_cast<std::uint64_t>(ms.count())) + g_offset.load();
}

void SetTimeGetTimeOffsetForTests(DWORD offset) { g_offset = offset; }

UINT timeSetEvent(UINT uDelay, UINT, LPTIMECALLBACK lpTimeProc, void* dwUser, UINT fuEvent) {
  if (!lpTimeProc || uDelay == 0) return 0;
  auto t = std::make_shared<Timer>();
  t->delay = uDelay;
  t->periodic = (fuEvent & TIME_PERIODIC) != 0;
  t->proc = lpTimeProc;
  t->user = dwUser;
  Timers& all = AllTimers();
  std::lock_guard<std::mutex> lock(all.mutex);
  do {
    t->id = all.next++;
  } while (t->id == 0 || all.running.count(t->id));
  try {
    t->thread = std::thread(TimerMain, t);
  } catch (...) {
    return 0;
  }
  all.running[t->id] = t;
  return t->id;
}

MMRESULT timeKillEvent(UINT uTimerID) {
  std::shared_ptr<Timer> t;
  {
    Timers& all = AllTimers();
    std::lock_guard<std::mutex> lock(all.mutex);
    auto it = all.running.find(uTimerID);
    if (it == all.running.end()) return MMSYSERR_INVALPARAM;
    t = it->second;
    all.running.erase(it);
  }
  {
    std::lock_guard<std::mutex> lock(t->mutex);
    t->killed = true;
  }
  t->cv.notify_all();
  if (t->thread.get_id() == std::this_thread::get_id())
    t->thread.detach();
  else if (t->thread.joinable())
    t->thread.join();
  return TIMERR_NOERROR;
}
