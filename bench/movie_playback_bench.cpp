// Playback of a 1920x1080 32-bit screen-codec movie (30 frames per second,
// 10 s, typical screen changes in delta frames) with sound on the null
// device: frames shown against frames due, the largest lateness of a shown
// frame, and the CPU time used. Then the latency of an exact seek to the
// frame 1000 frames after a key frame.
//
// Run: bench/movie_playback_bench (QT_QPA_PLATFORM=offscreen is set here).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/WYXMovieWnd.h"
#include "platform/WaveOut.h"
#include "tests/support/AviWriter.h"
#include "tests/support/ScreenEncoder.h"
#include "tests/support/ScreenPictures.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr DWORD kFps = 30;
constexpr FOURCC kWyxc = MakeFourCC('w', 'y', 'x', 'c');

std::string TempName(const char* stem) {
  return (std::filesystem::temp_directory_path() / (std::string(stem) + "-" + std::to_string(::getpid()) + ".avi"))
      .string();
}

// frames pictures: a key frame every keyEvery (0: only the first), the rest
// deltas changing about 1 % of the screen; soundMs of 8-bit PCM.
bool WriteScreenMovie(const std::string& path, int frames, int keyEvery, int soundMs) {
  AviWriter w;
  ScreenEncoder enc(kWidth, kHeight, 32);
  const int video = w.AddStream(AviStreamSpec::Video(kWyxc, kWidth, kHeight, 32, kFps));
  const int sound = soundMs > 0 ? w.AddStream(AviStreamSpec::Pcm(1, 8000, 8)) : -1;
  std::vector<std::uint8_t> cur = MakeScreenPicture(kWidth, kHeight, 32, 7);
  std::vector<std::uint8_t> prev = cur;
  for (int i = 0; i < frames; ++i) {
    if (i > 0) ChangeScreenPicture(cur, kWidth, kHeight, 32, 0.01, static_cast<std::uint32_t>(i));
    const bool key = i == 0 || (keyEvery > 0 && i % keyEvery == 0);
    w.AddFrame(video, key ? enc.EncodeKey(cur.data()) : enc.EncodeDelta(cur.data(), prev.data()), key);
    prev = cur;
    // One frame's worth of sound after each frame, interleaved as a recorder does.
    if (sound >= 0 && i * 1000 / static_cast<int>(kFps) < soundMs) w.AddSound(sound, std::vector<BYTE>(8000 / kFps, 0x80));
  }
  return w.Write(path);
}

// Records when each new frame was attached, as the worker attaches it.
class TimedMovieWnd : public WYXMovieWnd {
 public:
  void OnFrameTick() override {
    const int before = m_nShownSample;
    const auto start = std::chrono::steady_clock::now();
    WYXMovieWnd::OnFrameTick();
    const auto end = std::chrono::steady_clock::now();
    const int after = m_nShownSample;
    if (after != before && after >= 0) {
      // Against the clock the picture follows (the sound's): how far the
      // step's clock reading was past the frame's start, plus the step's
      // own fetching and decoding.
      const double due = after * 1000.0 / kFps;
      const double late = m_nPosition - due + std::chrono::duration<double, std::milli>(end - start).count();
      std::lock_guard l(m_lock);
      shown.push_back({after, end, late});
    }
  }
  struct Shown {
    int sample;
    std::chrono::steady_clock::time_point at;
    double lateToClock;
  };
  std::mutex m_lock;
  std::vector<Shown> shown;
};

double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void PumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void BM_Play1080p30fps10s(benchmark::State& state) {
  const std::string path = TempName("bench-play");
  if (!WriteScreenMovie(path, 300, 150, 10000)) {
    state.SkipWithError("cannot write the movie");
    return;
  }
  for (auto _ : state) {
    QWidget parent;
    parent.resize(kWidth, kHeight);
    auto* wnd = new TimedMovieWnd;
    wnd->m_rcWindow = RECT{0, 0, kWidth, kHeight};
    wnd->CreateMovieWindow(&parent);
    parent.show();
    if (!wnd->Open(path.c_str())) {
      state.SkipWithError("cannot open the movie");
      break;
    }
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    wnd->Play();
    PumpFor(10000 + 300);
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    wnd->Stop(false, true);

    // Due time of sample s: s frames after the start of play (the 25 ms of
    // Play's own wait are part of the lateness).
    double maxLate = 0;
    double maxLateToClock = 0;
    int shown = 0;
    int overLimit = 0;
    const double limit = 1000.0 / kFps / 2 + 10;
    {
      std::lock_guard l(wnd->m_lock);
      for (const auto& s : wnd->shown) {
        if (s.sample == 0) continue;  // shown at load
        ++shown;
        const double due = s.sample * 1000.0 / kFps;
        const double at = std::chrono::duration<double, std::milli>(s.at - t0).count();
        maxLate = std::max(maxLate, at - due);
        maxLateToClock = std::max(maxLateToClock, s.lateToClock);
        if (s.lateToClock > limit) {
          ++overLimit;
          if (std::getenv("BENCH_VERBOSE")) std::fprintf(stderr, "frame %d late %.1f ms\n", s.sample, s.lateToClock);
        }
      }
    }
    state.counters["frames_due"] = 299;
    state.counters["frames_shown"] = shown;
    // Against the wall clock from Play (includes the sound device's start-up,
    // as the sound is the master clock) and against the movie's clock.
    state.counters["max_late_wall_ms"] = maxLate;
    state.counters["max_late_clock_ms"] = maxLateToClock;
    state.counters["late_limit_ms"] = limit;
    state.counters["frames_over_limit"] = overLimit;
    state.counters["cpu_pct_one_core"] = 100.0 * cpu / wall;
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_Play1080p30fps10s)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SeekThousandFramesAfterKeyFrame(benchmark::State& state) {
  const std::string path = TempName("bench-seek");
  if (!WriteScreenMovie(path, 1001, 0, 0)) {
    state.SkipWithError("cannot write the movie");
    return;
  }
  QWidget parent;
  auto* wnd = new WYXMovieWnd;
  wnd->m_rcWindow = RECT{0, 0, 640, 360};
  wnd->CreateMovieWindow(&parent);
  if (!wnd->Open(path.c_str())) {
    state.SkipWithError("cannot open the movie");
    return;
  }
  const int target = 1000 * 1000 / static_cast<int>(kFps) + 1;  // frame 1000
  for (auto _ : state) {
    state.PauseTiming();
    int zero = 0;
    wnd->Seek(&zero, true, true, false);
    state.ResumeTiming();
    int pos = target;
    wnd->Seek(&pos, true, true, false);
    if (wnd->m_nShownSample != 1000) state.SkipWithError("the seek did not reach frame 1000");
  }
  wnd->Close();
  std::remove(path.c_str());
}
BENCHMARK(BM_SeekThousandFramesAfterKeyFrame)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  SelectWaveOutDevice(WaveOutDeviceKind::Null);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
