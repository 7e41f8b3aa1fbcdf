// The wave output device on ALSA's "default" PCM (on desktops this reaches
// PulseAudio or PipeWire). Non-blocking: the device thread tops up a buffer
// of about 150 ms every few milliseconds; positions come from the frames
// handed over minus the PCM's delay, carried forward by the clock between two
// readings so that they advance smoothly.
#pragma once

#include <chrono>

#include "platform/WaveOutDevice.h"

struct _snd_pcm;

class AlsaWaveOut : public WaveOutDevice {
 public:
  AlsaWaveOut() = default;
  ~AlsaWaveOut() override;

  // 0 when ALSA can play the format, WAVERR_BADFORMAT when it cannot,
  // MMSYSERR_NODRIVER without a device.
  static MMRESULT Query(const WAVEFORMATEX& format, std::size_t formatBytes);

 protected:
  MMRESULT SinkOpen() override;
  void SinkClose() override;
  void SinkService() override;
  void SinkPause() override;
  void SinkResume() override;
  void SinkDrop() override;
  std::uint64_t SinkPlayedNow() override;

 private:
  using Clock = std::chrono::steady_clock;
  void Measure();
  void Recover(long err);

  _snd_pcm* m_pcm = nullptr;
  bool m_canPause = false;
  std::uint64_t m_fillFrames = 0;  // frames kept handed over ahead of the played ones
  std::uint64_t m_padding = 0;        // silence frames handed over, ever
  std::uint64_t m_paddedSinceData = 0;
  std::vector<BYTE> m_silence;
  bool m_hwPaused = false;
  bool m_running = false;          // the PCM was running at the last reading
  Clock::time_point m_measuredAt;  // when m_played was read from the PCM
};
