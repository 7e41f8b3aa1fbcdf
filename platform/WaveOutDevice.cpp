#include "platform/WaveOutDevice.h"

#include <algorithm>
#include <chrono>

namespace {
// How often the device thread looks at its sink when nothing wakes it.
constexpr auto kServiceInterval = std::chrono::milliseconds(5);
// Frames before the oldest one still needed are dropped once this many bytes
// have gathered.
constexpr std::size_t kTrimBytes = 1 << 20;
}  // namespace

WaveOutDevice::~WaveOutDevice() {
  // Only reached with the device thread still running when the owner never
  // closed the device; it must not outlive the object.
  if (m_thread.joinable()) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_commands.emplace_back(m_nextCommand++, Command::Close);
    }
    m_cv.notify_all();
    m_thread.join();
  }
}

MMRESULT WaveOutDevice::Open(const WAVEFORMATEX& format, std::size_t formatBytes, Notify notify) {
  if (!m_converter.Init(format, formatBytes)) return WAVERR_BADFORMAT;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_format = format;
  MMRESULT r = SinkOpen();
  if (r != MMSYSERR_NOERROR) return r;
  m_notify = std::move(notify);
  try {
    m_thread = std::thread(&WaveOutDevice::ThreadMain, this);
  } catch (...) {
    SinkClose();
    return MMSYSERR_NOMEM;
  }
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Prepare(WAVEHDR* pwh) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (pwh->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  pwh->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Unprepare(WAVEHDR* pwh) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (pwh->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  pwh->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Write(WAVEHDR* pwh) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_threadEnded) return MMSYSERR_INVALHANDLE;
    if (!(pwh->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (pwh->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (pwh->dwBufferLength > 0 && !pwh->lpData) return MMSYSERR_INVALPARAM;
    pwh->dwFlags = (pwh->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    std::size_t before = m_frames.size();
    m_converter.Convert(reinterpret_cast<const BYTE*>(pwh->lpData), pwh->dwBufferLength, m_frames);
    m_total += (m_frames.size() - before) / static_cast<std::size_t>(m_converter.FrameBytes());
    m_queue.push_back({pwh, m_total});
  }
  m_cv.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Pause() { return Submit(Command::Pause); }
MMRESULT WaveOutDevice::Restart() { return Submit(Command::Restart); }
MMRESULT WaveOutDevice::Reset() { return Submit(Command::Reset); }

MMRESULT WaveOutDevice::Close() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_queue.empty()) return WAVERR_STILLPLAYING;
  }
  MMRESULT r = Submit(Command::Close);
  if (r == MMSYSERR_NOERROR && m_thread.joinable()) m_thread.join();
  return r;
}

MMRESULT WaveOutDevice::Submit(Command command) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_threadEnded) return MMSYSERR_INVALHANDLE;
  // The device thread delivers callbacks; a callback waiting for its own
  // thread would never return.
  if (std::this_thread::get_id() == m_thread.get_id()) return MMSYSERR_ERROR;
  std::uint64_t seq = m_nextCommand++;
  m_commands.emplace_back(seq, command);
  m_cv.notify_all();
  m_cv.wait(lock, [&] { return m_doneCommand >= seq; });
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::GetPosition(MMTIME& time) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::uint64_t played = std::max(m_reported, m_paused ? m_played : SinkPlayedNow());
  m_reported = played;
  UINT type = PositionType(time.wType);
  bool compressed = m_converter.Decodes();
  if (type == TIME_BYTES && !compressed) {
    time.wType = TIME_BYTES;
    time.u.cb = static_cast<DWORD>(played * m_format.nBlockAlign);
  } else if (type == TIME_MS) {
    time.wType = TIME_MS;
    time.u.ms = static_cast<DWORD>(played * 1000 / m_converter.Rate());
  } else {
    time.wType = TIME_SAMPLES;
    time.u.sample = static_cast<DWORD>(played);
  }
  return MMSYSERR_NOERROR;
}

const BYTE* WaveOutDevice::FramesAt(std::uint64_t from) const {
  return m_frames.data() + (from - m_framesBase) * static_cast<std::uint64_t>(m_converter.FrameBytes());
}

void WaveOutDevice::TrimFrames() {
  std::uint64_t keep = std::min(m_played, m_written);
  std::size_t bytes = static_cast<std::size_t>((keep - m_framesBase) * m_converter.FrameBytes());
  if (bytes < kTrimBytes) return;
  m_frames.erase(m_frames.begin(), m_frames.begin() + static_cast<std::ptrdiff_t>(bytes));
  m_framesBase = keep;
}

void WaveOutDevice::Deliver(std::vector<WAVEHDR*>& done, std::unique_lock<std::mutex>& lock) {
  if (done.empty()) return;
  lock.unlock();
  for (WAVEHDR* h : done) m_notify(WOM_DONE, h);
  lock.lock();
  done.clear();
}

void WaveOutDevice::ThreadMain() {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (ConfirmsOpen()) {
    lock.unlock();
    m_notify(WOM_OPEN, nullptr);
    lock.lock();
  }
  std::vector<WAVEHDR*> done;
  for (;;) {
    bool closing = false;
    while (!m_commands.empty() && !closing) {
      auto [seq, command] = m_commands.front();
      m_commands.pop_front();
      switch (command) {
        case Command::Pause:
          if (!m_paused) {
            SinkService();
            SinkPause();
            m_paused = true;
          }
          break;
        case Command::Restart:
          if (m_paused) {
            m_paused = false;
            SinkResume();
          }
          break;
        case Command::Reset:
          SinkDrop();
          for (Entry& e : m_queue) done.push_back(e.header);
          m_queue.clear();
          m_frames.clear();
          m_framesBase = m_total = m_written = m_played = m_reported = 0;
          m_converter.Restart();
          m_paused = false;
          break;
        case Command::Close:
          closing = true;
          break;
      }
      for (WAVEHDR* h : done) h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
      Deliver(done, lock);
      if (closing) break;
      m_doneCommand = seq;
      m_cv.notify_all();
    }
    if (closing) break;

    if (!m_paused) SinkService();
    while (!m_queue.empty() && m_queue.front().end <= m_played) {
      WAVEHDR* h = m_queue.front().header;
      h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
      done.push_back(h);
      m_queue.pop_front();
    }
    TrimFrames();
    Deliver(done, lock);
    if (m_commands.empty()) m_cv.wait_for(lock, kServiceInterval);
  }
  SinkClose();
  m_threadEnded = true;
  // Acknowledge the close and anything asked for behind it.
  m_doneCommand = m_nextCommand - 1;
  m_commands.clear();
  m_cv.notify_all();
  lock.unlock();
  m_notify(WOM_CLOSE, nullptr);
}
