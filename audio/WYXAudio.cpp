#include "audio/WYXAudio.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/MessageBox.h"
#include "platform/PlaySound.h"
#include "res/StringTable.h"

namespace {

constexpr DWORD kPollMs = 20;
constexpr int kOpenWaitSteps = 100;  // of kPollMs: 2 s
constexpr float kMinRate = 0.25f;
constexpr float kMaxRate = 4.0f;

// The live engines. The device thread's callback holds the lock while it
// looks an engine up and sets its flags, so an engine that has left the set
// is never touched again.
struct Registry {
  std::mutex lock;
  std::set<WYXAudio*> engines;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // outlives every engine, also static ones
  return *registry;
}

bool RateInRange(float r) { return r >= kMinRate && r <= kMaxRate; }

}  // namespace

WYXAudio::WYXAudio() : m_thread(this) {
  for (auto& done : m_bDone) done = false;
  ResetState(true);
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.engines.insert(this);
}

WYXAudio::~WYXAudio() {
  Stop();
  AbandonDevice();
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.engines.erase(this);
  }
  // The feeding loop uses this object's members: it must end before they go.
  m_thread.StopAndWait();
  std::free(m_pFormat);
  m_pFormat = nullptr;
}

void WYXAudio::GetBufferSpec(int& nSize, int& nCount) {
  nSize = WYX_AUDIO_MAX_BUFFER_SIZE;
  nCount = WYX_AUDIO_MAX_BUFFERS;
}

bool WYXAudio::Open(bool bInput) {
  if (m_bOpen) return false;
  if (!m_pFormat) GetFormat();
  if (!m_pFormat) return false;

  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (!m_bOpen) {
    m_bInput = bInput;
    m_thread.Start(nullptr, 0);
    m_bClosing = false;
    if (m_pFormat->nSamplesPerSec != 0 && m_pFormat->nAvgBytesPerSec != 0) {
      m_bAwaitingOpen = true;
      HWAVEOUT h = nullptr;
      MMRESULT r = waveOutOpen(&h, WAVE_MAPPER, m_pFormat, reinterpret_cast<DWORD_PTR>(&WYXAudio::WaveOutProc),
                               reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
      m_lastResult = r;
      if (r != MMSYSERR_NOERROR) {
        sndPlaySoundA(nullptr, 0);
        h = nullptr;
        r = waveOutOpen(&h, WAVE_MAPPER, m_pFormat, reinterpret_cast<DWORD_PTR>(&WYXAudio::WaveOutProc),
                        reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
        m_lastResult = r;
      }
      if (r != MMSYSERR_NOERROR) {
        m_bAwaitingOpen = false;
        m_hWaveOut = nullptr;
        return false;
      }
      m_hWaveOut = h;
    }
  }
  for (int i = 0; i < kOpenWaitSteps && !m_bOpen; ++i) Sleep(kPollMs);
  m_bAwaitingOpen = false;

  if (m_bOpen && PrepareBuffers()) return true;
  if (m_bOpen)
    Close();
  else
    AbandonDevice();  // never confirmed: nothing else would ever release it
  return false;
}

bool WYXAudio::PrepareBuffers() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  int size = 0, count = 0;
  GetBufferSpec(size, count);
  if (size <= 0 || size > WYX_AUDIO_MAX_BUFFER_SIZE) size = WYX_AUDIO_MAX_BUFFER_SIZE;
  if (count > WYX_AUDIO_MAX_BUFFERS) count = WYX_AUDIO_MAX_BUFFERS;
  if (count < 0) count = 0;
  m_nBufferSize = size;
  m_nBufferCount = count;
  for (int i = 0; i < count; ++i) {
    WAVEHDR& h = m_headers[i];
    h = WAVEHDR{};
    h.lpData = new char[static_cast<std::size_t>(size)]();
    h.dwBufferLength = static_cast<DWORD>(size);
    h.dwUser = static_cast<DWORD_PTR>(i);
    h.dwLoops = 1;
    MMRESULT r = waveOutPrepareHeader(m_hWaveOut, &h, sizeof(WAVEHDR));
    m_lastResult = r;
    if (r != MMSYSERR_NOERROR) {
      delete[] h.lpData;
      h.lpData = nullptr;
      m_nBufferCount = i;
      return false;
    }
  }
  m_nReadPos = 0;
  m_fMsPerSample = m_pFormat->nSamplesPerSec ? 1000.0f / static_cast<float>(m_pFormat->nSamplesPerSec) : 1000.0f;
  m_fMsPerByte = m_pFormat->nAvgBytesPerSec ? 1000.0f / static_cast<float>(m_pFormat->nAvgBytesPerSec) : 1000.0f;
  QueueBuffers();
  return true;
}

bool WYXAudio::UnprepareBuffers() {
  if (!m_bOpen) return true;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  bool ok = true;
  for (int i = 0; i < m_nBufferCount; ++i) {
    WAVEHDR& h = m_headers[i];
    MMRESULT r = waveOutUnprepareHeader(m_hWaveOut, &h, sizeof(WAVEHDR));
    m_lastResult = r;
    if (r == MMSYSERR_NOERROR) {
      delete[] h.lpData;
      h.lpData = nullptr;
      h.dwBufferLength = 0;
    } else {
      ok = false;
    }
  }
  return ok;
}

bool WYXAudio::Play() { return Resume(); }

bool WYXAudio::Resume() {
  if (!m_hWaveOut && !m_bStarted && RateInRange(m_fRate)) Open(m_bInput);
  if (m_bOpen && m_hWaveOut) {
    m_nRepeatCount = 0;
    MMRESULT r = waveOutRestart(m_hWaveOut);
    m_lastResult = r;
    m_bStarted = r == MMSYSERR_NOERROR;
  } else {
    m_bStarted = false;
  }
  return m_bStarted;
}

bool WYXAudio::Pause() {
  if (!m_hWaveOut || !m_bOpen) return true;
  MMRESULT r = waveOutPause(m_hWaveOut);
  m_lastResult = r;
  if (r != MMSYSERR_NOERROR) return false;
  PlaySoundA(nullptr, nullptr, SND_PURGE);
  return true;
}

bool WYXAudio::Stop() {
  HWAVEOUT h = m_hWaveOut;
  if (!h) return false;
  // The reset hands every buffer back and un-pauses the device; without the
  // closing flag the feeding thread would refill and play them again until
  // the close below.
  const bool wasClosing = m_bClosing.exchange(true);
  MMRESULT r = waveOutReset(h);
  m_lastResult = r;
  if (r != MMSYSERR_NOERROR) {
    m_bClosing = wasClosing;
    return false;
  }
  if (m_thread.m_nState == THREAD_RUNNING) m_thread.m_nState = m_thread.QueryState();
  if (m_thread.m_nState == THREAD_RUNNING) {
    m_bStarted = false;
    Close();
  } else {
    m_bClosing = wasClosing;
  }
  return true;
}

bool WYXAudio::Close() {
  if (!m_bOpen) return false;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (!m_bOpen || !m_hWaveOut) return false;
  m_bClosing = true;
  // The feeding thread may have refilled buffers the last reset returned;
  // with the closing flag set under the lock it cannot write again, so one
  // more reset leaves nothing queued.
  m_lastResult = waveOutReset(m_hWaveOut);
  if (!UnprepareBuffers()) return false;
  MMRESULT r = waveOutClose(m_hWaveOut);
  m_lastResult = r;
  if (r != MMSYSERR_NOERROR) return false;
  // The device is closed whether or not its close report ever arrives; the
  // feeding thread turns this into a cleared open flag and ends.
  m_bCloseEvent = true;
  while (m_bOpen) {
    if (m_thread.QueryState() != THREAD_RUNNING) {
      m_bOpen = false;
      break;
    }
    Sleep(kPollMs);
  }
  m_hWaveOut = nullptr;
  ResetState(false);
  return true;
}

void WYXAudio::AbandonDevice() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  HWAVEOUT h = m_hWaveOut;
  if (!h) return;
  m_bAwaitingOpen = false;
  m_bClosing = true;
  waveOutReset(h);
  for (int i = 0; i < WYX_AUDIO_MAX_BUFFERS; ++i)
    if (m_headers[i].dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(h, &m_headers[i], sizeof(WAVEHDR));
  waveOutClose(h);
  m_hWaveOut = nullptr;
  m_bOpen = false;
  m_bStarted = false;
  ResetState(false);
}

bool WYXAudio::WriteBuffer(bool bInput, WAVEHDR* pHdr) {
  if (!m_bOpen || bInput != m_bInput) return false;
  // Close holds the lock while it waits for this thread; give way to it
  // instead of waiting for the lock.
  std::unique_lock<std::recursive_mutex> guard(m_lock, std::defer_lock);
  while (!guard.try_lock()) {
    if (m_bClosing) return false;
    Sleep(1);
  }
  if (m_bClosing || !m_bOpen || !m_hWaveOut) return false;
  if (!FillBuffer(pHdr)) return false;
  MMRESULT r = waveOutWrite(m_hWaveOut, pHdr, sizeof(WAVEHDR));
  m_lastResult = r;
  return r == MMSYSERR_NOERROR;
}

int WYXAudio::WYXAudioThread::Run() {
  WYXAudio* o = m_pOwner;
  while (!m_bStop) {
    if (o->m_bCloseEvent) {
      o->m_bCloseEvent = false;
      o->m_bOpen = false;
      return 0;
    }
    if (o->m_bOpenEvent) {
      o->m_bOpenEvent = false;
      o->m_bOpen = true;
      continue;
    }
    if (o->m_bClosing) {
      SleepEx(kPollMs, FALSE);
      continue;
    }
    const int count = o->m_nBufferCount;
    int next = o->m_nCurrent + 1;
    if (next >= count) next = 0;
    // The done flag is cleared before the write: the device may hand the
    // buffer back before the write call has even returned.
    if (count > 0 && o->m_bDone[next].exchange(false)) {
      if (o->WriteBuffer(o->m_bInput, &o->m_headers[next])) {
        o->m_nCurrent = next;
        continue;
      }
      o->m_bDone[next] = true;
    }
    SleepEx(kPollMs, FALSE);
  }
  return 0;
}

void WYXAudio::WaveOutProc(HWAVEOUT hwo, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR) {
  auto* self = reinterpret_cast<WYXAudio*>(dwInstance);
  if (!self) return;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.engines.find(self) == r.engines.end()) return;
  switch (uMsg) {
    case WOM_OPEN:
      if (!self->m_bOpen && self->m_bAwaitingOpen) {
        self->m_hWaveOut = hwo;
        self->m_bOpenEvent = true;
      }
      break;
    case WOM_CLOSE:
      if (self->m_hWaveOut && self->m_bOpen) self->m_bCloseEvent = true;
      break;
    case WOM_DONE: {
      auto* h = reinterpret_cast<WAVEHDR*>(dwParam1);
      if (h && self->m_bOpen && h->dwUser < static_cast<DWORD_PTR>(self->m_nBufferCount))
        self->m_bDone[h->dwUser] = true;
      break;
    }
    default:
      break;
  }
}

int WYXAudio::GetPosition() {
  HWAVEOUT h = m_hWaveOut;
  if (!m_bOpen || !m_bStarted || !h) return -1;
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  MMRESULT r = waveOutGetPosition(h, &t, sizeof t);
  m_lastResult = r;
  if (r != MMSYSERR_NOERROR) return -1;
  const int start = m_nStartTime;
  if (start == -1) return -1;
  int elapsed = 0;
  switch (t.wType) {
    case TIME_SAMPLES:
      elapsed = static_cast<int>(std::ceil(static_cast<float>(t.u.sample) * m_fMsPerSample));
      break;
    case TIME_BYTES:
      elapsed = static_cast<int>(std::ceil(static_cast<float>(t.u.cb) * m_fMsPerByte));
      break;
    case TIME_MS:
      elapsed = static_cast<int>(t.u.ms);
      break;
    default:
      break;
  }
  const float rate = m_fRate;
  if (rate != 1.0f) elapsed = static_cast<int>(static_cast<float>(elapsed) * rate);
  return start + elapsed;
}

void WYXAudio::SetStartTime(int nMs) {
  m_nStartTime = nMs;
  m_nLastPosition = -1;
  m_nRepeatCount = 0;
}

void WYXAudio::SetFormat(const WAVEFORMATEX* pFormat) {
  if (!pFormat) return;
  // The source's own record is corrected too: a PCM format has no extra bytes.
  if (pFormat->wFormatTag == WAVE_FORMAT_PCM && pFormat->cbSize != 0) const_cast<WAVEFORMATEX*>(pFormat)->cbSize = 0;
  const std::size_t bytes = sizeof(WAVEFORMATEX) + pFormat->cbSize;
  auto* copy = static_cast<WAVEFORMATEX*>(std::malloc(bytes));
  if (copy) std::memcpy(copy, pFormat, bytes);
  std::free(m_pFormat);
  m_pFormat = copy;
  if (!copy) {
    m_nSourceRate = 0;
    return;
  }
  m_nSourceRate = copy->nSamplesPerSec;
  const float rate = m_fRate;
  if (rate != 1.0f) {
    copy->nSamplesPerSec = static_cast<DWORD>(static_cast<float>(m_nSourceRate) * rate);
    copy->nAvgBytesPerSec = copy->nBlockAlign * copy->nSamplesPerSec;
  }
}

bool WYXAudio::SetRate(float fRate) {
  if (fRate == m_fRate) return true;
  m_fRate = fRate;
  if (!RateInRange(fRate)) return false;
  if (!m_pFormat) return true;
  if (m_nSourceRate != 0) {
    m_pFormat->nSamplesPerSec = m_nSourceRate;
    m_pFormat->nAvgBytesPerSec = m_pFormat->nBlockAlign * m_pFormat->nSamplesPerSec;
  }
  if (fRate != 1.0f) {
    m_pFormat->nSamplesPerSec = static_cast<DWORD>(static_cast<float>(m_pFormat->nSamplesPerSec) * fRate);
    m_pFormat->nAvgBytesPerSec = m_pFormat->nBlockAlign * m_pFormat->nSamplesPerSec;
  }
  return true;
}

bool WYXAudio::IsFormatSupported(bool) {
  if (!m_pFormat) GetFormat();
  if (!m_pFormat) return false;
  MMRESULT r = waveOutOpen(nullptr, WAVE_MAPPER, m_pFormat, 0, 0, WAVE_FORMAT_QUERY);
  m_lastResult = r;
  if (r == MMSYSERR_NOERROR) return true;
  if (r == WAVERR_BADFORMAT) ShowMessageBoxId(IDS_AUDIO_NO_DECOMPRESSOR, MB_OK);
  return false;
}

bool WYXAudio::ResetState(bool bFreeFormat) {
  if (m_hWaveOut) return false;
  m_nStartTime = 0;
  m_nReadPos = 0;
  m_nBufferCount = 0;
  if (bFreeFormat) {
    std::free(m_pFormat);
    m_pFormat = nullptr;
    m_nSourceRate = 0;
  }
  for (int i = 0; i < WYX_AUDIO_MAX_BUFFERS; ++i) {
    // Data a failed unprepare left behind is no longer the device's.
    delete[] m_headers[i].lpData;
    m_headers[i] = WAVEHDR{};
    m_bDone[i] = false;
  }
  m_bOpenEvent = false;
  m_bCloseEvent = false;
  m_bStarted = false;
  m_fMsPerByte = 0.0f;
  m_fMsPerSample = 0.0f;
  m_nBufferSize = 0;
  m_nCurrent = -1;
  m_nLastPosition = -1;
  m_nRepeatCount = 0;
  return true;
}
