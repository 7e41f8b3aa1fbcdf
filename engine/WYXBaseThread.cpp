#include "engine/WYXBaseThread.h"

namespace {
constexpr int kDestructorAttempts = 10;
constexpr DWORD kDestructorWaitMs = 1000;
}  // namespace

WYXBaseThread::~WYXBaseThread() { StopAndWait(); }

void WYXBaseThread::StopAndWait() {
  for (int attempt = 0; attempt < kDestructorAttempts; ++attempt) {
    {
      std::lock_guard<std::recursive_mutex> guard(m_lock);
      if (!m_pThread) return;
    }
    m_bStop = true;
    Wait(kDestructorWaitMs);
  }
  // A Run that ignored ten stop requests still uses this object: leaving it
  // running would let it touch freed memory, so wait for it without limit.
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_pThread) {
    m_bStop = true;
    Wait(INFINITE);
  }
}

UINT WYXBaseThread::ThreadEntry(void* pParam) {
  auto* self = static_cast<WYXBaseThread*>(pParam);
  const int result = self->Run();
  self->m_nExitCode = result;
  self->m_nState = THREAD_ENDED;
  return static_cast<UINT>(result);
}

CWinThread* WYXBaseThread::Start(void* pNotifyWnd, int nParam) {
  CWinThread* thread = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_pThread) {
      if (m_nState == THREAD_RUNNING) m_nState = QueryState();
      if (m_nState != THREAD_ENDED) return nullptr;
      delete m_pThread;
      m_pThread = nullptr;
    }
    m_hNotifyWnd = pNotifyWnd;
    m_nParam = nParam;
    m_nExitCode = 0;
    m_pThread = AfxBeginThread(&WYXBaseThread::ThreadEntry, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED, nullptr);
    m_bStop = false;
    thread = m_pThread;
    if (thread) {
      thread->m_bAutoDelete = false;
      // Set before the thread can run, so its own THREAD_ENDED is never overwritten.
      m_nState = THREAD_RUNNING;
      thread->ResumeThread();
    } else {
      m_nState = THREAD_NONE;
    }
  }
  return thread;
}

int WYXBaseThread::QueryState() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (!m_pThread) return THREAD_NONE;
  DWORD code = 0;
  if (!GetExitCodeThread(m_pThread->m_hThread, &code)) return THREAD_ENDED;
  return code == STILL_ACTIVE ? THREAD_RUNNING : THREAD_ENDED;
}

int WYXBaseThread::Wait(DWORD dwMilliseconds) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (!m_pThread) return -2;
  if (m_nState == THREAD_RUNNING) m_nState = QueryState();
  const DWORD result = WaitForSingleObject(m_pThread->m_hThread, dwMilliseconds);
  if (result == WAIT_OBJECT_0) {
    delete m_pThread;
    m_pThread = nullptr;
  }
  return static_cast<int>(result);
}
