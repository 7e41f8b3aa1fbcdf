#include "tests/audio/AudioFixtures.h"

#include <vector>

#include "tests/support/AviWriter.h"
#include "tests/support/ScreenEncoder.h"

std::vector<BYTE> CountingPcm16(std::size_t samples, std::size_t first) {
  std::vector<BYTE> out(samples * 2);
  for (std::size_t i = 0; i < samples; ++i) {
    const auto v = static_cast<std::uint16_t>((first + i) % 32768);
    out[2 * i] = static_cast<BYTE>(v & 0xFF);
    out[2 * i + 1] = static_cast<BYTE>(v >> 8);
  }
  return out;
}

std::string WriteSoundMovie(const std::string& path, int ms, DWORD rate, std::size_t chunkSamples, bool withVideo) {
  AviWriter writer;
  int video = -1;
  if (withVideo) video = writer.AddStream(AviStreamSpec::Video(MakeFourCC('w', 'y', 'x', 'c'), 32, 24, 16, 15));
  const int sound = writer.AddStream(AviStreamSpec::Pcm(1, rate, 16));
  const std::size_t total = static_cast<std::size_t>(static_cast<long long>(ms) * rate / 1000);
  const std::vector<BYTE> pcm = CountingPcm16(total);
  ScreenEncoder encoder(32, 24, 16);
  std::vector<BYTE> picture(encoder.ImageBytes(), 0x22);
  const int frames = ms * 15 / 1000;
  int frame = 0;
  for (std::size_t at = 0; at < total; at += chunkSamples) {
    const std::size_t n = std::min(chunkSamples, total - at);
    writer.AddSound(sound, std::span<const BYTE>(pcm.data() + at * 2, n * 2));
    if (video >= 0) {
      // Frames up to the time the sound has reached.
      while (frame < frames && static_cast<long long>(frame) * rate < static_cast<long long>(at + n) * 15) {
        picture[0] = static_cast<BYTE>(frame);
        writer.AddFrame(video, encoder.EncodeKey(picture.data()), true);
        ++frame;
      }
    }
  }
  writer.Write(path);
  return path;
}
