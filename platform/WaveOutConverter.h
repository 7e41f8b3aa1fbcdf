// Turns the bytes of a sound format into frames a sound card takes: plain
// PCM (8/16/24/32-bit integer, 32/64-bit float, 1-8 channels, also in the
// extensible record) passes through; IMA and MS ADPCM, mu-law, A-law and
// constant-bit-rate MP3 are decoded (libavcodec) to interleaved 16-bit.
// What nothing can play is refused (Init false), which the wave layer
// reports as WAVERR_BADFORMAT.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/SoundFormat.h"
#include "platform/WinTypes.h"

class WaveOutConverter {
 public:
  enum class SampleKind { U8, S16, S24, S32, F32, F64 };

  WaveOutConverter();
  ~WaveOutConverter();
  WaveOutConverter(const WaveOutConverter&) = delete;
  WaveOutConverter& operator=(const WaveOutConverter&) = delete;

  // formatBytes: the bytes the record spans (18 + cbSize for WAVEFORMATEX).
  bool Init(const WAVEFORMATEX& format, std::size_t formatBytes);

  // The frames that come out.
  SampleKind Kind() const { return m_kind; }
  int Channels() const { return m_channels; }
  DWORD Rate() const { return m_rate; }
  int FrameBytes() const { return m_frameBytes; }
  bool Decodes() const { return m_decoder != nullptr; }

  // Appends the frames for the next bytes of the stream (a decoder may keep
  // back a partial block or frame until more arrives, or until Flush).
  void Convert(const BYTE* data, std::size_t size, std::vector<BYTE>& out);
  void Flush(std::vector<BYTE>& out);
  // Forgets what a decoder holds (after a reset).
  void Restart();

 private:
  struct Decoder;
  void Decode(const BYTE* data, std::size_t size, std::vector<BYTE>& out);
  void DrainFrames(std::vector<BYTE>& out);

  SampleKind m_kind = SampleKind::S16;
  int m_channels = 0;
  DWORD m_rate = 0;
  int m_frameBytes = 0;
  std::unique_ptr<Decoder> m_decoder;
};
