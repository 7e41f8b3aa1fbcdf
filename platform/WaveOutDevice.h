// One open wave output device: the queue of written headers, their frames
// (converted to what the sink plays) and the device thread that feeds the
// sink, delivers WOM_OPEN / WOM_DONE / WOM_CLOSE and carries out pause,
// restart, reset and close in the order they were asked for. Back ends (ALSA,
// null) supply the sink.
//
// Frame numbers count from the open or the last reset: m_total frames have
// been converted from written headers, m_written handed to the sink, m_played
// played. A header is returned once every frame converted from it was played.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/MMResult.h"
#include "platform/WaveOut.h"
#include "platform/WaveOutConverter.h"

class WaveOutDevice {
 public:
  using Notify = std::function<void(UINT uMsg, WAVEHDR* pwh)>;

  virtual ~WaveOutDevice();
  WaveOutDevice(const WaveOutDevice&) = delete;
  WaveOutDevice& operator=(const WaveOutDevice&) = delete;

  // Opens the sink for the format and starts the device thread.
  MMRESULT Open(const WAVEFORMATEX& format, std::size_t formatBytes, Notify notify);
  MMRESULT Prepare(WAVEHDR* pwh);
  MMRESULT Unprepare(WAVEHDR* pwh);
  MMRESULT Write(WAVEHDR* pwh);
  MMRESULT Pause();
  MMRESULT Restart();
  MMRESULT Reset();  // every header is back before this returns
  MMRESULT GetPosition(MMTIME& time);
  MMRESULT Close();  // WAVERR_STILLPLAYING while headers are queued

 protected:
  WaveOutDevice() = default;

  // ---- the sink, all called with m_mutex held ----
  // Opens for m_converter's frames: 0, WAVERR_BADFORMAT or an MMSYSERR_ code.
  virtual MMRESULT SinkOpen() = 0;
  virtual void SinkClose() = 0;
  // Hands frames from m_written on to the sink and updates m_played.
  virtual void SinkService() = 0;
  // Stops playing; frames handed over but not played must stay playable
  // (kept by the sink, or m_written moved back to m_played).
  virtual void SinkPause() = 0;
  virtual void SinkResume() = 0;
  virtual void SinkDrop() = 0;  // forgets everything handed over
  // The frames played by now (may look ahead of m_played between services).
  virtual std::uint64_t SinkPlayedNow() { return m_played; }
  // The type positions are reported in when the caller's cannot be given.
  virtual UINT PositionType(UINT wanted) const { return wanted; }
  virtual bool ConfirmsOpen() const { return true; }

  // Frames [from, from + count) as bytes (they must still be held).
  const BYTE* FramesAt(std::uint64_t from) const;

  std::mutex m_mutex;
  WaveOutConverter m_converter;
  WAVEFORMATEX m_format{};
  bool m_paused = false;
  std::uint64_t m_total = 0;
  std::uint64_t m_written = 0;
  std::uint64_t m_played = 0;

 private:
  struct Entry {
    WAVEHDR* header;
    std::uint64_t end;  // m_total after its frames
  };
  enum class Command { Pause, Restart, Reset, Close };

  MMRESULT Submit(Command command);
  void ThreadMain();
  void Deliver(std::vector<WAVEHDR*>& done, std::unique_lock<std::mutex>& lock);
  void TrimFrames();

  Notify m_notify;
  std::condition_variable m_cv;
  std::thread m_thread;
  std::deque<Entry> m_queue;
  std::vector<BYTE> m_frames;    // frames from m_framesBase on
  std::uint64_t m_framesBase = 0;
  std::deque<std::pair<std::uint64_t, Command>> m_commands;
  std::uint64_t m_nextCommand = 1;
  std::uint64_t m_doneCommand = 0;
  bool m_threadEnded = false;
  std::uint64_t m_reported = 0;  // positions never go back, except by a reset
};
