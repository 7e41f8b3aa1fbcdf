// Base of the engine's worker threads: owns at most one thread at a time,
// which runs the subclass's Run. Owners start it, ask whether it still runs,
// ask it to stop (Run polls m_bStop) and wait for it; nothing interrupts a
// thread by force.
//
// m_lock serialises Start, QueryState and Wait among the owners; the worker
// never takes it, so an owner may wait for the worker while holding it.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/Threads.h"
#include "platform/WinTypes.h"

constexpr int THREAD_IDLE = 0;     // never started
constexpr int THREAD_RUNNING = 1;
constexpr int THREAD_ENDED = 3;    // Run has returned
constexpr int THREAD_NONE = 4;     // no thread object

class WYXBaseThread {
 public:
  WYXBaseThread() = default;
  // Stops the thread: up to ten stop requests with one-second waits, and
  // then, for a Run that ignores them, a wait without limit, because the
  // thread still uses this object.
  virtual ~WYXBaseThread();
  WYXBaseThread(const WYXBaseThread&) = delete;
  WYXBaseThread& operator=(const WYXBaseThread&) = delete;

  virtual const char* GetRuntimeClassName() const { return "WYXBaseThread"; }

  // The thread body; must return soon after m_bStop is set.
  virtual int Run() = 0;
  virtual void RequestStop() { m_bStop = true; }

  // A new thread running Run, or null when the previous one still runs or
  // the thread cannot be created. pNotifyWnd and nParam are kept for the
  // subclass.
  CWinThread* Start(void* pNotifyWnd = nullptr, int nParam = 0);
  // THREAD_NONE without a thread object, THREAD_RUNNING while it runs, else
  // THREAD_ENDED. Not stored in m_nState.
  int QueryState();
  // -2 without a thread object; otherwise WAIT_OBJECT_0 (0, the thread has
  // ended and its object is gone), WAIT_TIMEOUT (258) or WAIT_FAILED.
  int Wait(DWORD dwMilliseconds);
  // What the destructor does: up to ten stop requests with one-second waits,
  // then a wait without limit. Owners whose Run uses their own members call
  // it from their destructor, before those members go.
  void StopAndWait();

  std::recursive_mutex m_lock;
  CWinThread* m_pThread = nullptr;  // owned; changed under m_lock only
  std::atomic<int> m_nState{THREAD_IDLE};
  std::atomic<bool> m_bStop{false};
  void* m_hNotifyWnd = nullptr;
  int m_nParam = 0;
  std::atomic<int> m_nExitCode{0};

 private:
  static UINT ThreadEntry(void* pParam);
};
