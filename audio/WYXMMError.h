// Keeps the result of the last multimedia call an object made, so that its
// operations can answer true or false while the reason stays readable.
#pragma once

#include <atomic>

#include "platform/MMResult.h"

class WYXMMError {
 public:
  WYXMMError() = default;

  // MMSYSERR_NOERROR after construction and after every successful call.
  std::atomic<MMRESULT> m_lastResult{MMSYSERR_NOERROR};
};
