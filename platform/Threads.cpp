#include "platform/Threads.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct ThreadControl {
  std::mutex mutex;
  std::condition_variable cv;
  bool resumed = false;
  bool cancelled = false;  // deleted before it was resumed
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  AFX_THREADPROC proc = nullptr;
  void* param = nullptr;
  CWinThread* owner = nullptr;
  std::thread thread;
};

namespace {

ThreadControl* Control(HANDLE h) { return static_cast<ThreadControl*>(h); }

void ThreadBody(std::shared_ptr<ThreadControl> c) {
  {
    std::unique_lock<std::mutex> lock(c->mutex);
    c->cv.wait(lock, [&] { return c->resumed || c->cancelled; });
    if (c->cancelled) return;
  }
  UINT result = c->proc(c->param);
  CWinThread* selfDelete = nullptr;
  {
    std::lock_guard<std::mutex> lock(c->mutex);
    c->ended = true;
    c->exitCode = result;
    if (c->owner && c->owner->m_bAutoDelete) selfDelete = c->owner;
  }
  c->cv.notify_all();
  delete selfDelete;
}

}  // namespace

CWinThread::~CWinThread() {
  ThreadControl& c = *m_control;
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    c.owner = nullptr;
    if (!c.resumed) c.cancelled = true;
  }
  c.cv.notify_all();
  if (!c.thread.joinable()) return;
  if (c.thread.get_id() == std::this_thread::get_id())
    c.thread.detach();  // auto-delete from the thread itself
  else
    c.thread.join();
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, void* pParam, int, UINT, DWORD dwCreateFlags, void*) {
  if (!pfnThreadProc) return nullptr;
  auto control = std::make_shared<ThreadControl>();
  control->proc = pfnThreadProc;
  control->param = pParam;
  CWinThread* t = new CWinThread;
  t->m_control = control;
  t->m_hThread = control.get();
  control->owner = t;
  bool failed = false;
  {
    // The new thread must not see the object before it is complete.
    std::lock_guard<std::mutex> lock(control->mutex);
    try {
      control->thread = std::thread(ThreadBody, control);
    } catch (...) {
      failed = true;
    }
    if (!failed && !(dwCreateFlags & CREATE_SUSPENDED)) control->resumed = true;
  }
  if (failed) {
    delete t;
    return nullptr;
  }
  return t;
}

DWORD ResumeThread(HANDLE hThread) {
  ThreadControl* c = Control(hThread);
  if (!c) return static_cast<DWORD>(-1);
  {
    std::lock_guard<std::mutex> lock(c->mutex);
    if (c->resumed) return 0;
    c->resumed = true;
  }
  c->cv.notify_all();
  return 1;
}

BOOL GetExitCodeThread(HANDLE hThread, DWORD* lpExitCode) {
  ThreadControl* c = Control(hThread);
  if (!c || !lpExitCode) return FALSE;
  std::lock_guard<std::mutex> lock(c->mutex);
  *lpExitCode = c->ended ? c->exitCode : STILL_ACTIVE;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  ThreadControl* c = Control(hHandle);
  if (!c) return WAIT_FAILED;
  std::unique_lock<std::mutex> lock(c->mutex);
  if (c->ended) return WAIT_OBJECT_0;
  if (c->thread.get_id() == std::this_thread::get_id()) return WAIT_FAILED;
  auto ended = [&] { return c->ended; };
  if (dwMilliseconds == INFINITE)
    c->cv.wait(lock, ended);
  else if (!c->cv.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), ended))
    return WAIT_TIMEOUT;
  return WAIT_OBJECT_0;
}

void Sleep(DWORD dwMilliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds)); }

DWORD SleepEx(DWORD dwMilliseconds, BOOL) {
  Sleep(dwMilliseconds);
  return 0;
}
