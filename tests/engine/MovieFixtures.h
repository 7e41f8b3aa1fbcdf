// Small screen-codec movies for the engine tests and the benchmark: frame i
// is one plain colour derived from i (so the picture tells which frame it
// is), key frames at a fixed interval, optional 8-bit PCM sound.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "tests/support/AviWriter.h"
#include "tests/support/ScreenEncoder.h"

namespace moviefixtures {

constexpr FOURCC kWyxc = MakeFourCC('w', 'y', 'x', 'c');

struct MovieSpec {
  int width = 16;
  int height = 12;
  int bitCount = 32;
  DWORD rate = 50;  // frames per second (scale 1)
  int frames = 10;
  int keyEvery = 5;
  bool video = true;
  int soundMs = 0;   // 0: no sound
  DWORD soundRate = 8000;
  WORD soundFormatTag = 1;  // anything but PCM (1): a format no device plays
};

// The colour of frame i (0x00RRGGBB), distinct for the first 65536 frames.
inline DWORD FrameColour(int i) { return 0x400000u | (static_cast<DWORD>(i) & 0xFFFF); }

class TempMovie {
 public:
  explicit TempMovie(const std::string& stem, const std::string& ext = ".avi") {
    static std::atomic<int> counter{0};
    m_path = (std::filesystem::temp_directory_path() /
              (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ext))
                 .string();
  }
  ~TempMovie() { std::remove(m_path.c_str()); }
  TempMovie(const TempMovie&) = delete;
  TempMovie& operator=(const TempMovie&) = delete;
  const char* c_str() const { return m_path.c_str(); }
  const std::string& str() const { return m_path; }

 private:
  std::string m_path;
};

inline bool WriteMovie(const std::string& path, const MovieSpec& s) {
  AviWriter w;
  int video = -1;
  int sound = -1;
  ScreenEncoder enc(s.width, s.height, s.bitCount);
  if (s.video) video = w.AddStream(AviStreamSpec::Video(kWyxc, s.width, s.height, static_cast<WORD>(s.bitCount), s.rate));
  if (s.soundMs > 0 && s.soundFormatTag == 1) {
    sound = w.AddStream(AviStreamSpec::Pcm(1, s.soundRate, 8));
  } else if (s.soundMs > 0) {
    WAVEFORMATEX f{};
    f.wFormatTag = s.soundFormatTag;
    f.nChannels = 1;
    f.nSamplesPerSec = s.soundRate;
    f.nAvgBytesPerSec = s.soundRate;
    f.nBlockAlign = 1;
    f.wBitsPerSample = 8;
    sound = w.AddStream(AviStreamSpec::Sound(AsBytes(f), 1, 1, s.soundRate));
  }
  std::vector<std::uint8_t> prev(enc.ImageBytes(), 0), cur(enc.ImageBytes(), 0);
  const std::size_t bpp = static_cast<std::size_t>(s.bitCount / 8);
  const int soundChunks = s.soundMs > 0 ? (s.soundMs + 99) / 100 : 0;
  const int frames = s.video ? s.frames : 0;
  const int steps = std::max(frames, soundChunks);
  int soundLeft = static_cast<int>(static_cast<long long>(s.soundMs) * s.soundRate / 1000);
  for (int i = 0; i < steps; ++i) {
    if (i < frames) {
      const DWORD c = FrameColour(i);
      for (std::size_t y = 0; y < static_cast<std::size_t>(std::abs(s.height)); ++y)
        for (std::size_t x = 0; x < static_cast<std::size_t>(s.width); ++x) {
          std::uint8_t* p = cur.data() + y * enc.Pitch() + x * bpp;
          for (std::size_t b = 0; b < bpp; ++b) p[b] = static_cast<std::uint8_t>(c >> (8 * b));
        }
      const bool key = s.keyEvery <= 1 || i % s.keyEvery == 0;
      const auto data = key ? enc.EncodeKey(cur.data()) : enc.EncodeDelta(cur.data(), prev.data());
      w.AddFrame(video, data, key);
      prev = cur;
    }
    if (i < soundChunks && soundLeft > 0) {
      const int n = std::min<int>(soundLeft, static_cast<int>(s.soundRate / 10));
      std::vector<BYTE> pcm(static_cast<std::size_t>(n), 0x80);
      w.AddSound(sound, pcm);
      soundLeft -= n;
    }
  }
  return w.Write(path);
}

}  // namespace moviefixtures
