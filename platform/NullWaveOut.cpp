#include "platform/NullWaveOut.h"

#include <algorithm>
#include <mutex>

namespace {

std::mutex g_mutex;
NullWaveOutOptions g_options;
std::vector<BYTE> g_played;

}  // namespace

void SetNullWaveOutOptions(const NullWaveOutOptions& options) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_options = options;
}

NullWaveOutOptions GetNullWaveOutOptions() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_options;
}

std::vector<BYTE> TakeNullWaveOutPlayed() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<BYTE> out;
  out.swap(g_played);
  return out;
}

NullWaveOut::NullWaveOut() : m_options(GetNullWaveOutOptions()), m_last(Clock::now()) {}

void NullWaveOut::Advance() {
  Clock::time_point now = Clock::now();
  double seconds = std::chrono::duration<double>(now - m_last).count();
  m_last = now;
  if (GetNullWaveOutOptions().freezePosition) return;
  m_exact = std::min(static_cast<double>(m_total), m_exact + seconds * m_converter.Rate() * m_options.speed);
  auto played = static_cast<std::uint64_t>(m_exact);
  if (played <= m_played) return;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    const BYTE* from = FramesAt(m_played);
    g_played.insert(g_played.end(), from, from + (played - m_played) * m_converter.FrameBytes());
  }
  m_played = m_written = played;
}

void NullWaveOut::SinkService() {
  // A device that ran dry starts again when new data arrives, as a sound card
  // does after an underrun.
  if (m_played == m_total) m_last = std::chrono::steady_clock::now();
  Advance();
}

std::uint64_t NullWaveOut::SinkPlayedNow() {
  Advance();
  return m_played;
}
