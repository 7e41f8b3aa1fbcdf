// Random transport operations on a playing movie for a bounded time: no
// dead-lock, no crash and, under ThreadSanitizer (tools/test-extra), no race.
// QUORVIX_STRESS_SECONDS sets the time (default 2 s); by hand, e.g.
//   QUORVIX_STRESS_SECONDS=120 engine_tests --gtest_filter='MovieStress*'
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdlib>
#include <memory>
#include <random>

#include "engine/AppMainWindow.h"
#include "engine/WYXScrollMovieWnd.h"
#include "platform/NullWaveOut.h"
#include "platform/WaveOut.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/MovieFixtures.h"
#include "tests/support/MessageBoxRecorder.h"

using namespace moviefixtures;

namespace {

int StressSeconds() {
  const char* s = std::getenv("QUORVIX_STRESS_SECONDS");
  const int n = s ? std::atoi(s) : 0;
  return n > 0 ? n : 2;
}

TEST(MovieStress, RandomTransportLoopNeverHangsOrCrashes) {
  EnsureQtApp();
  SelectWaveOutDevice(WaveOutDeviceKind::Null);
  SetNullWaveOutOptions(NullWaveOutOptions{});
  MessageBoxRecorder boxes;
  // Short movies, so that the end (with every option) comes often.
  TempMovie withSound("stress-sound"), silent("stress-silent");
  ASSERT_TRUE(WriteMovie(withSound.str(), MovieSpec{.rate = 100, .frames = 40, .keyEvery = 7, .soundMs = 300}));
  ASSERT_TRUE(WriteMovie(silent.str(), MovieSpec{.rate = 200, .frames = 30, .keyEvery = 4}));

  auto parent = std::make_unique<NotifyRecorder>();
  auto* wnd = new WYXScrollMovieWnd(parent.get());
  wnd->CreateMovieWindow(parent.get());
  wnd->SetWindowRect(RECT{0, 0, 12, 10});
  wnd->m_nSeekRefreshDelay = 15;
  parent->show();

  std::mt19937 rng(12345);
  const DWORD optionBits[] = {MOVIE_OPT_REPEAT, MOVIE_OPT_HOLD_LAST_FRAME, MOVIE_OPT_AUTOPLAY,
                              MOVIE_OPT_END_CHECK_FIRST, MOVIE_OPT_NO_SEEK_RESUME, MOVIE_OPT_SHRINK_TO_FIT};
  QElapsedTimer t;
  t.start();
  long ops = 0;
  while (t.elapsed() < StressSeconds() * 1000) {
    const int op = static_cast<int>(rng() % 12);
    int pos = static_cast<int>(rng() % 500) - 50;
    switch (op) {
      case 0: wnd->Play(); break;
      case 1: wnd->Pause(); break;
      case 2: wnd->Stop(rng() % 2, rng() % 2); break;
      case 3: wnd->Seek(&pos, true, false, rng() % 2); break;
      case 4: wnd->Seek(&pos, false, rng() % 2, false); break;
      case 5: wnd->StepForward(); break;
      case 6: wnd->StepBackward(); break;
      case 7: wnd->Close(); break;
      case 8: {
        DWORD opts = MOVIE_OPT_NOTIFY_STATE | MOVIE_OPT_NOTIFY_POSITION;
        for (DWORD b : optionBits)
          if (rng() % 3 == 0) opts |= b;
        wnd->SetOptions(opts);
        wnd->Open((rng() % 2 ? withSound : silent).c_str());
        break;
      }
      case 9: wnd->m_fNotifyThreshold = static_cast<float>(rng() % 300); break;
      case 10: wnd->resize(static_cast<int>(rng() % 40) + 4, static_cast<int>(rng() % 40) + 4); break;
      default: break;
    }
    ++ops;
    PumpEvents(static_cast<int>(rng() % 30));
    if (parent->notes.size() > 10000) parent->Clear();
  }
  wnd->Close();
  parent.reset();
  SetNullWaveOutOptions(NullWaveOutOptions{});
  EXPECT_GT(ops, 10);
}

}  // namespace
