// The null wave output device: plays nothing, consumes each written buffer at
// the pace of the clock (frames of the opened format per second), returns it
// with WOM_DONE and reports positions like a sound card. Selected with
// SelectWaveOutDevice(WaveOutDeviceKind::Null); for tests only.
//
// Tests can make it misbehave in the ways a real device does, and can take
// the bytes it "played" to check that nothing was lost or reordered.
#pragma once

#include <chrono>
#include <vector>

#include "platform/MMResult.h"
#include "platform/WaveOutDevice.h"
#include "platform/WinTypes.h"

struct NullWaveOutOptions {
  bool confirmOpen = true;         // false: WOM_OPEN never comes
  MMRESULT openResult = 0;         // non-zero: waveOutOpen fails with it
  MMRESULT pauseResult = 0;        // non-zero: waveOutPause fails with it
  UINT positionType = 0x0002;      // the MMTIME type positions are given in (TIME_SAMPLES)
  bool freezePosition = false;     // the position stands still (a stuck device)
  double speed = 1.0;              // frames consumed per frame of real time
};

// Applies to devices opened afterwards (freezePosition: to open ones too).
void SetNullWaveOutOptions(const NullWaveOutOptions& options);
NullWaveOutOptions GetNullWaveOutOptions();

// Every byte the null devices have played since the last call, in order
// (bytes dropped by a reset are not included).
std::vector<BYTE> TakeNullWaveOutPlayed();


// The device itself (the wave layer creates it).
class NullWaveOut : public WaveOutDevice {
 public:
  NullWaveOut();

 protected:
  MMRESULT SinkOpen() override { return m_options.openResult; }
  void SinkClose() override {}
  void SinkService() override;
  void SinkPause() override {}
  void SinkResume() override { m_last = Clock::now(); }
  void SinkDrop() override { m_last = Clock::now(); m_exact = 0.0; }
  std::uint64_t SinkPlayedNow() override;
  UINT PositionType(UINT) const override { return m_options.positionType; }
  bool ConfirmsOpen() const override { return m_options.confirmOpen; }

 private:
  using Clock = std::chrono::steady_clock;
  void Advance();
  NullWaveOutOptions m_options;
  Clock::time_point m_last;
  double m_exact = 0.0;  // frames played, with the fraction
};
