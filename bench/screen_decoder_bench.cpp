// Screen-codec decoding of 1920x1080 screen-like frames, next to zlib's
// uncompress alone on the same stored frames: the run pass should add
// little to the inflation. Throughput is bytes of output picture per second.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <map>
#include <vector>

#include "media/ScreenDecoder.h"
#include "tests/support/ScreenEncoder.h"
#include "tests/support/ScreenPictures.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Frames {
  std::vector<std::uint8_t> key;    // stored key frame
  std::vector<std::uint8_t> delta;  // stored delta frame, about 2 % of the pixels changed
  std::vector<std::uint8_t> keyRuns;  // the key frame's run stream, inflated
  std::vector<std::uint8_t> deltaRuns;
  std::size_t imageBytes = 0;
};

const Frames& FramesFor(int bits) {
  static std::map<int, Frames> cache;
  auto it = cache.find(bits);
  if (it != cache.end()) return it->second;
  const ScreenEncoder e(kWidth, kHeight, bits);
  std::vector<std::uint8_t> first = MakeScreenPicture(kWidth, kHeight, bits, 11);
  std::vector<std::uint8_t> second = first;
  ChangeScreenPicture(second, kWidth, kHeight, bits, 0.02, 12);
  Frames f;
  f.key = e.EncodeKey(first.data());
  f.delta = e.EncodeDelta(second.data(), first.data());
  f.keyRuns = e.KeyRuns(first.data());
  f.deltaRuns = e.DeltaRuns(second.data(), first.data());
  f.imageBytes = e.ImageBytes();
  return cache.emplace(bits, std::move(f)).first->second;
}

void Decompress(benchmark::State& state, bool key) {
  const int bits = static_cast<int>(state.range(0));
  const Frames& f = FramesFor(bits);
  const std::vector<std::uint8_t>& stored = key ? f.key : f.delta;
  const ScreenEncoder e(kWidth, kHeight, bits);
  BITMAPINFOHEADER in = e.InputFormat(static_cast<DWORD>(stored.size()));
  BITMAPINFOHEADER out = e.OutputFormat();
  std::vector<std::uint8_t> picture(e.ImageBytes());
  ScreenDecoder* d = ScreenDecoderCreate();
  ScreenDecoderBegin(d, &in, &out);
  for (auto _ : state) {
    if (ScreenDecoderDecompress(d, &in, stored.data(), &out, picture.data()) != ICERR_OK) {
      state.SkipWithError("decompress failed");
      break;
    }
    benchmark::DoNotOptimize(picture.data());
    benchmark::ClobberMemory();
  }
  ScreenDecoderEnd(d);
  ScreenDecoderFree(d);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.imageBytes));
  state.counters["stored_KiB"] = static_cast<double>(stored.size()) / 1024;
  state.counters["runs_KiB"] = static_cast<double>((key ? f.keyRuns : f.deltaRuns).size()) / 1024;
}

// The same inflation the decoder does, into a buffer of the decoder's size.
void Inflate(benchmark::State& state, bool key) {
  const int bits = static_cast<int>(state.range(0));
  const Frames& f = FramesFor(bits);
  const std::vector<std::uint8_t>& stored = key ? f.key : f.delta;
  std::vector<std::uint8_t> buffer(2 * static_cast<std::size_t>(kWidth) * kHeight * (bits / 8));
  for (auto _ : state) {
    uLongf size = buffer.size();
    if (uncompress(buffer.data(), &size, stored.data(), static_cast<uLong>(stored.size())) != Z_OK) {
      state.SkipWithError("uncompress failed");
      break;
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.imageBytes));
}

// The run pass alone, on the inflated stream.
void BM_KeyFrameRunsOnly(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const Frames& f = FramesFor(bits);
  const ScreenEncoder e(kWidth, kHeight, bits);
  const BITMAPINFOHEADER out = e.OutputFormat();
  std::vector<std::uint8_t> picture(e.ImageBytes());
  for (auto _ : state) {
    DecodeRuns(&out, picture.data(), f.keyRuns.data(), f.keyRuns.size());
    benchmark::DoNotOptimize(picture.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.imageBytes));
}

void BM_KeyFrameDecompress(benchmark::State& state) { Decompress(state, true); }
void BM_KeyFrameInflateOnly(benchmark::State& state) { Inflate(state, true); }
void BM_DeltaFrameDecompress(benchmark::State& state) { Decompress(state, false); }
void BM_DeltaFrameInflateOnly(benchmark::State& state) { Inflate(state, false); }

}  // namespace

BENCHMARK(BM_KeyFrameDecompress)->ArgName("bits")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeyFrameInflateOnly)->ArgName("bits")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeyFrameRunsOnly)->ArgName("bits")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeltaFrameDecompress)->ArgName("bits")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeltaFrameInflateOnly)->ArgName("bits")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
