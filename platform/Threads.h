// Kernel threads as the engine uses them: a framework thread object created
// suspended and resumed by its owner, its exit code (STILL_ACTIVE while it
// runs), waits with a time-out, and sleeps.
//
// A CWinThread owns its std::thread. Deleting the object waits for a thread
// that was resumed; a thread that was never resumed ends without running its
// procedure. With m_bAutoDelete set (the default, as in the framework) the
// object deletes itself when its procedure returns; owners that keep the
// pointer switch it off before ResumeThread.
#pragma once

#include <memory>

#include "platform/WinTypes.h"

using HANDLE = void*;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD CREATE_SUSPENDED = 0x00000004;
constexpr int THREAD_PRIORITY_NORMAL = 0;

using AFX_THREADPROC = UINT (*)(void* pParam);

struct ThreadControl;  // shared by the object and its running thread

class CWinThread {
 public:
  ~CWinThread();
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  // Starts a suspended thread; returns the previous suspend count (1), 0
  // when it already ran, or (DWORD)-1 on failure.
  DWORD ResumeThread();

  HANDLE m_hThread = nullptr;  // stays valid while the object lives
  bool m_bAutoDelete = true;   // read when the procedure returns

 private:
  friend CWinThread* AfxBeginThread(AFX_THREADPROC, void*, int, UINT, DWORD, void*);
  CWinThread() = default;
  std::shared_ptr<ThreadControl> m_control;
};

// Creates a thread running pfnThreadProc(pParam); with CREATE_SUSPENDED it
// waits for ResumeThread. Null when the thread cannot be created. Priority,
// stack size and security attributes are accepted and ignored.
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, void* pParam, int nPriority = THREAD_PRIORITY_NORMAL,
                           UINT nStackSize = 0, DWORD dwCreateFlags = 0, void* lpSecurityAttrs = nullptr);

DWORD ResumeThread(HANDLE hThread);
// STILL_ACTIVE until the procedure has returned, then its result. FALSE for
// a null handle.
BOOL GetExitCodeThread(HANDLE hThread, DWORD* lpExitCode);
// WAIT_OBJECT_0 once the thread has ended (at once if it already has),
// WAIT_TIMEOUT when dwMilliseconds ran out (INFINITE waits for ever),
// WAIT_FAILED for a null handle or a wait of a thread on itself.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

void Sleep(DWORD dwMilliseconds);
// Never alertable here: there are no queued procedure calls. Returns 0.
DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable);
