// The multimedia clock and periodic timer.
//
// timeGetTime: milliseconds of a monotonic clock, as 32 bits that wrap
// (about every 49.7 days); callers subtract values as unsigned numbers.
//
// timeSetEvent: each timer runs its callback on a thread of its own, every
// uDelay ms (TIME_PERIODIC) or once (TIME_ONESHOT). A late callback does not
// cause a burst of catch-up calls. Once timeKillEvent has returned, the
// callback of that timer is not running and never runs again (killing a timer
// from its own callback returns at once; the callback in progress finishes).
#pragma once

#include "platform/MMResult.h"
#include "platform/WinTypes.h"

constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;
constexpr UINT TIME_CALLBACK_FUNCTION = 0x0000;
constexpr UINT TIME_KILL_SYNCHRONOUS = 0x0100;  // always the case here

// uMsg is 0; dw1 and dw2 are null.
using LPTIMECALLBACK = void (*)(UINT uTimerID, UINT uMsg, void* dwUser, void* dw1, void* dw2);

DWORD timeGetTime();
// A non-zero timer id, or 0 when the timer cannot be created (no callback,
// a delay of 0, or no thread).
UINT timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK lpTimeProc, void* dwUser, UINT fuEvent);
// TIMERR_NOERROR, or MMSYSERR_INVALPARAM for an id that is not running.
MMRESULT timeKillEvent(UINT uTimerID);

// Tests only: shifts what timeGetTime reports (e.g. to just before the wrap).
void SetTimeGetTimeOffsetForTests(DWORD offset);
