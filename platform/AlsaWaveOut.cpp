#include "platform/AlsaWaveOut.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <mutex>

namespace {

constexpr unsigned kBufferUs = 150000;
constexpr unsigned kPeriodUs = 25000;

snd_pcm_format_t AlsaFormat(WaveOutConverter::SampleKind kind) {
  using K = WaveOutConverter::SampleKind;
  switch (kind) {
    case K::U8: return SND_PCM_FORMAT_U8;
    case K::S16: return SND_PCM_FORMAT_S16_LE;
    case K::S24: return SND_PCM_FORMAT_S24_3LE;
    case K::S32: return SND_PCM_FORMAT_S32_LE;
    case K::F32: return SND_PCM_FORMAT_FLOAT_LE;
    case K::F64: return SND_PCM_FORMAT_FLOAT64_LE;
  }
  return SND_PCM_FORMAT_UNKNOWN;
}

// ALSA reports its failures on standard error as well; here they are results.
void QuietErrors(const char*, int, const char*, int, const char*, ...) {}

void InstallQuietErrors() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(QuietErrors); });
}

// Opens "default" and sets it up for the converter's frames.
MMRESULT OpenPcm(const WaveOutConverter& conv, snd_pcm_t** out, bool* canPause, std::uint64_t* fillFrames) {
  InstallQuietErrors();
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return MMSYSERR_NODRIVER;
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  unsigned rate = conv.Rate();
  unsigned bufferUs = kBufferUs;
  unsigned periodUs = kPeriodUs;
  int dir = 0;
  bool ok = snd_pcm_hw_params_any(pcm, hw) >= 0 &&
            snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
            snd_pcm_hw_params_set_format(pcm, hw, AlsaFormat(conv.Kind())) >= 0 &&
            snd_pcm_hw_params_set_channels(pcm, hw, static_cast<unsigned>(conv.Channels())) >= 0 &&
            snd_pcm_hw_params_set_rate_resample(pcm, hw, 1) >= 0 &&
            snd_pcm_hw_params_set_rate(pcm, hw, rate, 0) >= 0;
  if (!ok) {
    snd_pcm_close(pcm);
    return WAVERR_BADFORMAT;
  }
  snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, &dir);
  snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, &dir);
  if (snd_pcm_hw_params(pcm, hw) < 0) {
    snd_pcm_close(pcm);
    return WAVERR_BADFORMAT;
  }
  *canPause = snd_pcm_hw_params_can_pause(hw) != 0;
  snd_pcm_uframes_t bufferFrames = 0;
  snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames);
  if (fillFrames) *fillFrames = bufferFrames;
  *out = pcm;
  return MMSYSERR_NOERROR;
}

}  // namespace

AlsaWaveOut::~AlsaWaveOut() {
  if (m_pcm) snd_pcm_close(m_pcm);
}

MMRESULT AlsaWaveOut::Query(const WAVEFORMATEX& format, std::size_t formatBytes) {
  WaveOutConverter conv;
  if (!conv.Init(format, formatBytes)) return WAVERR_BADFORMAT;
  snd_pcm_t* pcm = nullptr;
  bool canPause = false;
  MMRESULT r = OpenPcm(conv, &pcm, &canPause, nullptr);
  if (pcm) snd_pcm_close(pcm);
  return r;
}

MMRESULT AlsaWaveOut::SinkOpen() {
  MMRESULT r = OpenPcm(m_converter, &m_pcm, &m_canPause, &m_fillFrames);
  if (r == MMSYSERR_NOERROR) {
    snd_pcm_prepare(m_pcm);
    m_measuredAt = Clock::now();
  }
  return r;
}

void AlsaWaveOut::SinkClose() {
  if (!m_pcm) return;
  snd_pcm_drop(m_pcm);
  snd_pcm_close(m_pcm);
  m_pcm = nullptr;
}

void AlsaWaveOut::Recover(long err) {
  // An underrun means everything handed over has been played.
  if (err == -EPIPE) m_played = m_written;
  snd_pcm_recover(m_pcm, static_cast<int>(err), 1);
  m_running = false;
}

void AlsaWaveOut::Measure() {
  snd_pcm_state_t state = snd_pcm_state(m_pcm);
  if (state == SND_PCM_STATE_XRUN) {
    Recover(-EPIPE);
    return;
  }
  snd_pcm_sframes_t delay = 0;
  if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_DRAINING) {
    m_running = false;
    if (state == SND_PCM_STATE_PREPARED && m_written > m_played) {
      // Frames handed over but not started (start threshold not reached).
      if (snd_pcm_delay(m_pcm, &delay) >= 0 && delay >= 0) {
        std::uint64_t d = static_cast<std::uint64_t>(delay);
        if (d < m_written - m_played) m_played = m_written - d;
      }
    }
    return;
  }
  int err = snd_pcm_delay(m_pcm, &delay);
  if (err < 0) {
    Recover(err);
    return;
  }
  if (!m_running) m_measuredAt = Clock::now();
  m_running = true;
  if (delay < 0) delay = 0;
  // Silence handed over after the data (below) is not part of the stream.
  const std::uint64_t handed = m_written + m_padding;
  const std::uint64_t d = std::min<std::uint64_t>(static_cast<std::uint64_t>(delay), handed);
  const std::uint64_t played = std::min(m_written, handed - d > m_padding ? handed - d - m_padding : 0);
  // A reading that has not moved is stale; keep counting from the last one
  // that did.
  if (played > m_played) {
    m_played = std::max(played, std::min(SinkPlayedNow(), m_written));
    m_measuredAt = Clock::now();
  }
}

void AlsaWaveOut::SinkService() {
  if (!m_pcm) return;
  // The room is judged from the delay, not from snd_pcm_avail: the pulse
  // plugin's pointer stops moving in non-blocking use, while its delay keeps
  // counting what the server has played.
  Measure();
  for (int round = 0; round < 4 && m_written < m_total; ++round) {
    // The delay is refreshed only now and then: between two changes the
    // clock says how far the server has got.
    const std::uint64_t queued = m_written - SinkPlayedNow();
    if (queued >= m_fillFrames) break;
    const std::uint64_t count = std::min<std::uint64_t>(m_fillFrames - queued, m_total - m_written);
    snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, FramesAt(m_written), static_cast<snd_pcm_uframes_t>(count));
    if (n == -EAGAIN || n == 0) break;
    if (n < 0) {
      Recover(n);
      continue;
    }
    m_written += static_cast<std::uint64_t>(n);
    m_paddedSinceData = 0;
    Measure();
  }
  // A pulse stream that has run short waits for a minimum fill before it
  // plays again, so the last bit of a sound would stay unheard: once every
  // frame is handed over, silence follows it (for a while, not for ever).
  if (m_written == m_total && m_written > 0 && m_paddedSinceData < m_converter.Rate()) {
    const std::uint64_t ahead = m_written - std::min(SinkPlayedNow(), m_written);
    if (ahead < m_fillFrames) {
      const std::uint64_t count = std::min<std::uint64_t>(m_fillFrames - ahead, m_converter.Rate() / 10);
      m_silence.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(m_converter.FrameBytes()),
                       m_converter.Kind() == WaveOutConverter::SampleKind::U8 ? 0x80 : 0);
      snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, m_silence.data(), static_cast<snd_pcm_uframes_t>(count));
      if (n > 0) {
        m_padding += static_cast<std::uint64_t>(n);
        m_paddedSinceData += static_cast<std::uint64_t>(n);
      }
    }
  }
  // A short tail below the start threshold still has to play.
  if (m_written == m_total && m_written > m_played && snd_pcm_state(m_pcm) == SND_PCM_STATE_PREPARED)
    snd_pcm_start(m_pcm);
  Measure();
}

void AlsaWaveOut::SinkPause() {
  if (!m_pcm) return;
  Measure();
  if (m_running && m_canPause && snd_pcm_pause(m_pcm, 1) >= 0) {
    m_hwPaused = true;
  } else {
    // Take back what was handed over but not played; it goes out again after
    // the restart.
    snd_pcm_drop(m_pcm);
    snd_pcm_prepare(m_pcm);
    m_written = m_played;
  }
  m_running = false;
}

void AlsaWaveOut::SinkResume() {
  if (!m_pcm) return;
  if (m_hwPaused) {
    m_hwPaused = false;
    if (snd_pcm_pause(m_pcm, 0) < 0) {
      snd_pcm_drop(m_pcm);
      snd_pcm_prepare(m_pcm);
      m_written = m_played;
    }
  }
  SinkService();
}

void AlsaWaveOut::SinkDrop() {
  m_padding = 0;
  m_paddedSinceData = 0;
  if (!m_pcm) return;
  m_hwPaused = false;
  m_running = false;
  snd_pcm_drop(m_pcm);
  snd_pcm_prepare(m_pcm);
}

std::uint64_t AlsaWaveOut::SinkPlayedNow() {
  if (!m_running) return m_played;
  double seconds = std::chrono::duration<double>(Clock::now() - m_measuredAt).count();
  auto ahead = static_cast<std::uint64_t>(seconds * m_converter.Rate());
  return std::min(m_played + ahead, m_written);
}
