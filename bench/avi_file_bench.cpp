// Opening movies and building the large-file index. Targets: under 50 ms for
// a one-hour 15 fps screen recording (54 000 samples) and for the index of a
// 100 000-entry movie over 1 GiB.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "media/WYXAviFile.h"
#include "media/WYXAviFile20.h"
#include "tests/support/OpenDmlWriter.h"
#include "tests/support/ScreenEncoder.h"
#include "tests/support/ScreenPictures.h"

namespace {

constexpr FOURCC kWyxc = MakeFourCC('w', 'y', 'x', 'c');

std::string TempName(const char* stem) {
  return "/tmp/quorvix-bench-" + std::string(stem) + "-" + std::to_string(::getpid()) + ".avi";
}

// One hour at 15 frames per second of a 640 x 480 desktop: a key frame
// every 10 s, small changes in between, now and then no change at all.
struct HourMovie {
  std::string path = TempName("hour");
  HourMovie() {
    const int w = 640, h = 480, bits = 24;
    ScreenEncoder enc(w, h, bits);
    std::vector<std::uint8_t> picture = MakeScreenPicture(w, h, bits, 7);
    const std::vector<std::uint8_t> key = enc.EncodeKey(picture.data());
    std::vector<std::uint8_t> changed = picture;
    ChangeScreenPicture(changed, w, h, bits, 0.01, 9);
    const std::vector<std::uint8_t> delta = enc.EncodeDelta(changed.data(), picture.data());
    AviWriter writer;
    const int v = writer.AddStream(AviStreamSpec::Video(kWyxc, w, h, bits, 15));
    for (int i = 0; i < 54000; ++i) {
      if (i % 150 == 0)
        writer.AddFrame(v, key, true);
      else if (i % 3 == 0)
        writer.AddFrame(v, {}, false);
      else
        writer.AddFrame(v, delta, false);
    }
    if (!writer.Write(path)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  }
  ~HourMovie() { std::remove(path.c_str()); }
};

// 100 000 frames, most of them past a 1 GiB hole, in two RIFF parts.
struct LargeMovie {
  std::string path = TempName("large");
  LargeMovie() {
    OpenDmlOptions options;
    options.avi.writeIdx1 = false;
    OpenDmlWriter writer(options);
    const int v = writer.AddStream(AviStreamSpec::Video(kWyxc, 640, 480, 24, 15));
    const std::vector<BYTE> frame(16, 1);
    for (int i = 0; i < 100000; ++i) {
      if (i == 1000) writer.AddHole(1u << 30);
      if (i == 60000) writer.BeginPart();
      writer.AddFrame(v, frame, i % 150 == 0);
    }
    if (!writer.Write(path)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  }
  ~LargeMovie() { std::remove(path.c_str()); }
};

void BM_OpenHourLongScreenMovie(benchmark::State& state) {
  static HourMovie movie;
  for (auto _ : state) {
    WYXAviFile file;
    if (!file.Open(movie.path.c_str()) || !file.OpenVideoStream(0)) {
      state.SkipWithError("open failed");
      break;
    }
    benchmark::DoNotOptimize(file.GetVideoEndTime(0));
  }
}
BENCHMARK(BM_OpenHourLongScreenMovie)->Unit(benchmark::kMillisecond);

void BM_BuildLargeFileIndex(benchmark::State& state) {
  static LargeMovie movie;
  for (auto _ : state) {
    WYXAviFile20 index;
    if (index.Open(movie.path.c_str()) != S_OK || index.GetIndex(0)->size() != 100000) {
      state.SkipWithError("index not built");
      break;
    }
  }
}
BENCHMARK(BM_BuildLargeFileIndex)->Unit(benchmark::kMillisecond);

// The first picture after a jump into the middle of the hour (decoding
// from the key frame before it).
void BM_JumpIntoHourLongScreenMovie(benchmark::State& state) {
  static HourMovie movie;
  WYXAviFile file;
  if (!file.Open(movie.path.c_str()) || !file.OpenVideoStream(0)) {
    state.SkipWithError("open failed");
    return;
  }
  LONG t = 1800000;
  for (auto _ : state) {
    BITMAPINFOHEADER* h = nullptr;
    BYTE* bits = nullptr;
    LONG last = -1;
    t = t == 1800000 ? 1809900 : 1800000;  // 9.9 s after a key frame: 148 frames to decode
    file.GetVideoFrame(0, t, &h, &bits, &last, false);
    benchmark::DoNotOptimize(h);
  }
}
BENCHMARK(BM_JumpIntoHourLongScreenMovie)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
