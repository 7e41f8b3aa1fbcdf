// Loading, the transport operations, the playback clock and the end of the
// movie, on fixture movies played on the null sound device.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QElapsedTimer>
#include <memory>

#include "engine/AppMainWindow.h"
#include "engine/WYXMovieWnd.h"
#include "engine/WYXScrollMovieWnd.h"
#include "platform/NullWaveOut.h"
#include "platform/WaveOut.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/MovieFixtures.h"
#include "tests/support/MessageBoxRecorder.h"

using namespace moviefixtures;

namespace {

constexpr DWORD kNotify = MOVIE_OPT_NOTIFY_STATE | MOVIE_OPT_NOTIFY_POSITION;

class CloseCounter : public QWidget {
 public:
  int closes = 0;

 protected:
  void closeEvent(QCloseEvent* e) override {
    ++closes;
    e->accept();
  }
};

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp();
    SelectWaveOutDevice(WaveOutDeviceKind::Null);
    SetNullWaveOutOptions(NullWaveOutOptions{});
    SetAppMainWindow(nullptr);
    parent = std::make_unique<NotifyRecorder>();
    parent->resize(400, 300);
    wnd = new WYXMovieWnd(parent.get());
    wnd->SetOptions(kNotify);
    wnd->CreateMovieWindow(parent.get());
  }
  void TearDown() override {
    parent.reset();  // destroys the window, which stops its worker
    SetNullWaveOutOptions(NullWaveOutOptions{});
    SetAppMainWindow(nullptr);
  }

  // Opens a movie written from spec; the notifications of the open are kept.
  bool OpenMovie(const MovieSpec& spec) {
    movie = std::make_unique<TempMovie>("movie");
    if (!WriteMovie(movie->str(), spec)) return false;
    PumpEvents(10);  // what earlier steps posted is not part of this open
    parent->Clear();
    return wnd->Open(movie->c_str());
  }
  bool WaitForState(LONG state, int timeoutMs = 5000) {
    return WaitFor([&] { return parent->HasState(state); }, timeoutMs);
  }

  MessageBoxRecorder boxes;
  std::unique_ptr<NotifyRecorder> parent;
  WYXMovieWnd* wnd = nullptr;
  std::unique_ptr<TempMovie> movie;
};

// ---- loading ----

TEST_F(PlaybackTest, LoadsVideoAndShowsTheFirstFrame) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 10}));
  PumpEvents(20);
  EXPECT_EQ(parent->States(), (std::vector<LONG>{MOVIE_CLOSED, MOVIE_LOADED}));
  EXPECT_EQ(wnd->GetState(), MOVIE_LOADED);
  EXPECT_EQ(wnd->GetLength(), 200);
  EXPECT_EQ(wnd->GetPosition(), 0);
  EXPECT_TRUE(wnd->m_bHasFrame);
  EXPECT_EQ(wnd->m_nShownSample, 0);
  ASSERT_NE(wnd->GetVideoFormat(), nullptr);
  EXPECT_EQ(wnd->GetVideoFormat()->biWidth, 16);
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(PlaybackTest, OnlyAviNamesOrNamesWithoutAFourCharacterExtensionAreOpened) {
  struct Case {
    const char* ext;
    bool opens;
  } const cases[] = {{".avi", true}, {".AVI", true}, {"", true}, {".mpeg", true}, {".mpg", false}, {".wmv", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ext);
    TempMovie named("named", c.ext);
    ASSERT_TRUE(WriteMovie(named.str(), MovieSpec{}));
    PumpEvents(5);
    parent->Clear();
    EXPECT_EQ(wnd->Open(named.c_str()), c.opens);
    PumpEvents(5);
    if (c.opens)
      EXPECT_EQ(parent->States(), (std::vector<LONG>{MOVIE_CLOSED, MOVIE_LOADED}));
    else
      EXPECT_EQ(parent->States(), (std::vector<LONG>{MOVIE_CLOSED}));  // the file is not even read
  }
  EXPECT_FALSE(wnd->Open(nullptr));
}

TEST_F(PlaybackTest, AFileThatCannotBeReadLeavesTheWindowClosed) {
  TempMovie damaged("damaged");
  {
    std::FILE* f = std::fopen(damaged.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("RIFF\x04\0\0\0AVI junk that is not a movie", f);
    std::fclose(f);
  }
  const std::string missing = damaged.str() + "-missing.avi";
  for (const std::string& name : {damaged.str(), missing}) {
    SCOPED_TRACE(name);
    PumpEvents(5);
    parent->Clear();
    EXPECT_FALSE(wnd->Open(name.c_str()));
    PumpEvents(5);
    EXPECT_EQ(parent->States(), (std::vector<LONG>{MOVIE_CLOSED}));
    EXPECT_EQ(wnd->GetState(), MOVIE_CLOSED);
    EXPECT_EQ(wnd->GetLength(), 0);
    EXPECT_EQ(wnd->Play(), MOVIE_CLOSED);  // and nothing to play
  }
}

TEST_F(PlaybackTest, NothingIsPostedWithoutTheNotifyOptions) {
  wnd->SetOptions(0);
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 5}));
  wnd->Play();
  ASSERT_TRUE(WaitFor([&] { return wnd->GetState() == MOVIE_STOPPED; }));
  wnd->Close();
  PumpEvents(20);
  EXPECT_TRUE(parent->notes.empty());
}

TEST_F(PlaybackTest, TickPeriodIsHalfAFrameButAtLeastFiveMs) {
  struct Case {
    DWORD rate;
    float frameMs;
    UINT period;
  } const cases[] = {{15, 67, 33}, {30, 33, 16}, {1, 1000, 500}, {100, 10, 5}, {1000, 1, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    ASSERT_TRUE(OpenMovie(MovieSpec{.rate = c.rate, .frames = 3}));
    EXPECT_EQ(wnd->m_fFrameMs, c.frameMs);
    EXPECT_EQ(wnd->m_nTickPeriod, c.period);
  }
}

TEST_F(PlaybackTest, SetWindowRectIsRefusedWhenTheWindowFitsItsParent) {
  EXPECT_TRUE(wnd->SetWindowRect(RECT{5, 6, 105, 86}));
  EXPECT_EQ(wnd->geometry(), QRect(5, 6, 100, 80));
  wnd->SetOptions(kNotify | MOVIE_OPT_FIT_PARENT);
  EXPECT_FALSE(wnd->SetWindowRect(RECT{0, 0, 50, 50}));
  EXPECT_EQ(wnd->geometry(), QRect(5, 6, 100, 80));
}

// ---- transport ----

TEST_F(PlaybackTest, PlayPauseStopReportTheirStatesAndPausedTimeIsNotCounted) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 500}));  // 10 s
  EXPECT_EQ(wnd->Play(), MOVIE_PLAYING);
  EXPECT_EQ(wnd->Play(), MOVIE_PLAYING);  // already playing: nothing changes
  ASSERT_TRUE(WaitFor([&] { return wnd->GetPosition() >= 200; }));
  EXPECT_EQ(wnd->Pause(), MOVIE_PAUSED);
  EXPECT_EQ(wnd->GetState(), MOVIE_PAUSED);
  const int paused = wnd->GetPosition();
  PumpEvents(400);
  EXPECT_EQ(wnd->GetPosition(), paused);
  EXPECT_EQ(wnd->Pause(), MOVIE_PAUSED);  // pausing again changes nothing

  QElapsedTimer resumed;
  resumed.start();
  EXPECT_EQ(wnd->Play(), MOVIE_PLAYING);
  ASSERT_TRUE(WaitFor([&] { return wnd->GetPosition() > paused; }));
  // Continues from where it paused: the 400 ms of pause are not counted.
  EXPECT_LE(wnd->GetPosition(), paused + resumed.elapsed() + 50);

  wnd->Stop(true, false);
  EXPECT_EQ(wnd->GetState(), MOVIE_STOPPED);  // at once, before the worker has ended
  EXPECT_EQ(wnd->GetPosition(), 0);
  EXPECT_EQ(wnd->m_nShownSample, 0);
  PumpEvents(30);
  const auto states = parent->States();
  EXPECT_EQ(states, (std::vector<LONG>{MOVIE_CLOSED, MOVIE_LOADED, MOVIE_PLAYING, MOVIE_PAUSED, MOVIE_PLAYING,
                                       MOVIE_STOPPED}));
}

TEST_F(PlaybackTest, RewindingStopBeforePlayLeavesThePosition) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 50}));
  int pos = 300;
  wnd->Seek(&pos, true, false, false);
  EXPECT_EQ(wnd->GetPosition(), 300);
  wnd->Stop(true, false);
  EXPECT_EQ(wnd->GetPosition(), 300);
}

TEST_F(PlaybackTest, SeekClampsTheTargetInPlaceAndShowsItsFrame) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 50}));  // 1000 ms, 20 ms frames
  struct Case {
    int target;
    int clamped;
    int sample;
  } const cases[] = {{-100, 0, 0}, {430, 430, 21}, {1000, 1000, 49}, {5000, 1000, 49}, {0, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    int pos = c.target;
    wnd->Seek(&pos, true, false, false);
    EXPECT_EQ(pos, c.clamped);
    EXPECT_EQ(wnd->GetPosition(), c.clamped);
    EXPECT_EQ(wnd->m_nShownSample, c.sample);
  }
}

TEST_F(PlaybackTest, ADragDuringPlayReportsSeekingAndResumesAfterTheFinalSeek) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 500}));
  wnd->Play();
  int pos = 3000;
  wnd->Seek(&pos, false, false, false);
  EXPECT_EQ(wnd->GetState(), MOVIE_SEEKING);
  EXPECT_EQ(wnd->GetPosition(), 3000);
  pos = 4000;
  wnd->Seek(&pos, false, false, false);
  EXPECT_EQ(wnd->GetPosition(), 4000);
  pos = 5000;
  wnd->Seek(&pos, true, false, false);
  EXPECT_NE(wnd->GetState(), MOVIE_SEEKING);
  EXPECT_EQ(wnd->GetPosition(), 5000);
  // Playing resumes from the deferred-play timer (25 ms).
  ASSERT_TRUE(WaitFor([&] { return wnd->GetState() == MOVIE_PLAYING; }));
  ASSERT_TRUE(WaitFor([&] { return wnd->GetPosition() > 5000; }));
  const auto states = parent->States();
  EXPECT_NE(std::find(states.begin(), states.end(), MOVIE_SEEKING), states.end());
}

TEST_F(PlaybackTest, AFinalSeekToTheEndDuringADragStopsUnlessRepeatIsSet) {
  for (DWORD repeat : {DWORD{0}, MOVIE_OPT_REPEAT}) {
    SCOPED_TRACE(repeat);
    wnd->SetOptions(kNotify | repeat);
    ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 100}));
    wnd->Play();
    int pos = 1000;
    wnd->Seek(&pos, false, false, false);
    pos = 99999;
    wnd->Seek(&pos, true, false, false);
    EXPECT_EQ(pos, 2000);
    PumpEvents(150);
    if (repeat)
      EXPECT_EQ(wnd->GetState(), MOVIE_PLAYING);  // started again from 0
    else
      EXPECT_EQ(wnd->GetState(), MOVIE_STOPPED);
    wnd->Stop(false, true);
  }
}

TEST_F(PlaybackTest, FastSeeksShowKeyFramesThenTheExactFrameAfterTheRefreshDelay) {
  // 600 000 ms at 15 frames per second, a key frame every 150 frames.
  ASSERT_TRUE(OpenMovie(MovieSpec{.width = 8, .height = 8, .rate = 15, .frames = 9000, .keyEvery = 150}));
  wnd->m_nSeekRefreshDelay = 100;
  struct Case {
    const char* name;
    float threshold;  // ms per slider pixel
    int keySample;    // shown at once
  } const cases[] = {
      {"long movie: key frame first", 2000.0f, 1500},
      {"short movie scale: exact at once", 33.0f, 1507},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int pos = 0;
    wnd->Seek(&pos, true, false, false);
    wnd->m_fNotifyThreshold = c.threshold;
    pos = 100500;  // frame 1507
    wnd->Seek(&pos, false, false, false);
    EXPECT_EQ(wnd->m_nShownSample, c.keySample);
    ASSERT_TRUE(WaitFor([&] { return wnd->m_nShownSample == 1507; }));
    EXPECT_EQ(wnd->GetPosition(), 100500);
    EXPECT_EQ(wnd->m_nSeekRefreshTimer, 0u);
  }
  // An exact seek never takes the key-frame path.
  wnd->m_fNotifyThreshold = 2000.0f;
  int pos = 200100;
  wnd->Seek(&pos, false, true, false);
  EXPECT_EQ(wnd->m_nShownSample, 3001);
}

TEST_F(PlaybackTest, StepsMoveOneFrameOnlyWhenPausedOrStopped) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 15, .frames = 300}));
  wnd->Play();
  const int playing = wnd->GetPosition();
  wnd->StepForward();
  EXPECT_LT(std::abs(wnd->GetPosition() - playing), 200);  // not moved by a frame on its own
  wnd->Pause();
  int pos = 0;
  wnd->Seek(&pos, true, false, false);
  wnd->StepForward();
  EXPECT_EQ(wnd->GetPosition(), 67);
  wnd->StepForward();
  EXPECT_EQ(wnd->GetPosition(), 134);
  wnd->StepBackward();
  EXPECT_EQ(wnd->GetPosition(), 67);
  wnd->Stop(false, true);
  wnd->StepBackward();
  EXPECT_EQ(wnd->GetPosition(), 0);
  wnd->StepBackward();
  EXPECT_EQ(wnd->GetPosition(), 0);  // clamped at the start
}

TEST_F(PlaybackTest, PositionNotificationsFollowTheThreshold) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 100}));  // 2 s
  struct Case {
    float threshold;
    int minGap, maxGap;  // between notified positions during play
  } const cases[] = {{0.0f, 1, 200}, {250.0f, 250, 700}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.threshold);
    int pos = 0;
    wnd->Seek(&pos, true, false, false);
    wnd->m_fNotifyThreshold = c.threshold;
    parent->Clear();
    wnd->Play();
    PumpEvents(1000);
    wnd->Stop(false, true);
    PumpEvents(10);
    const auto p = parent->Positions();
    ASSERT_GE(p.size(), 3u);
    for (std::size_t i = 2; i < p.size(); ++i) {
      EXPECT_GE(p[i] - p[i - 1], c.minGap);
      EXPECT_LE(p[i] - p[i - 1], c.maxGap);
    }
  }
}

// ---- the end of the movie ----

TEST_F(PlaybackTest, TheEndIsHandledByTheOptions) {
  struct Case {
    const char* name;
    DWORD options;
    bool mainWindow;
    int shownSample;  // when stopped
    bool restarts;
    bool closes;
  } const cases[] = {
      {"rewind", 0, false, 0, false, false},
      {"hold the last frame", MOVIE_OPT_HOLD_LAST_FRAME, false, 9, false, false},
      {"repeat", MOVIE_OPT_REPEAT, false, 0, true, false},
      {"close the main window", MOVIE_OPT_CLOSE_AT_END, true, 0, false, true},
      {"close wins over repeat", MOVIE_OPT_CLOSE_AT_END | MOVIE_OPT_REPEAT, true, 0, false, true},
      {"close without a main window goes on to repeat", MOVIE_OPT_CLOSE_AT_END | MOVIE_OPT_REPEAT, false, 0, true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CloseCounter main;
    main.show();
    SetAppMainWindow(c.mainWindow ? &main : nullptr);
    wnd->SetOptions(kNotify | c.options);
    ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 10}));  // 200 ms
    ASSERT_EQ(wnd->Play(), MOVIE_PLAYING);
    ASSERT_TRUE(WaitForState(MOVIE_STOPPED));
    if (!c.restarts) {
      EXPECT_EQ(wnd->m_nShownSample, c.shownSample);
      EXPECT_EQ(wnd->GetPosition(), c.shownSample == 0 ? 0 : wnd->GetLength());
    }
    PumpEvents(150);
    const auto states = parent->States();
    const auto stopped = std::find(states.begin(), states.end(), MOVIE_STOPPED);
    const bool playedAgain = std::find(stopped, states.end(), MOVIE_PLAYING) != states.end();
    EXPECT_EQ(playedAgain, c.restarts);
    EXPECT_EQ(main.closes, c.closes ? 1 : 0);
    wnd->Stop(false, true);
    SetAppMainWindow(nullptr);
  }
}

TEST_F(PlaybackTest, PlayAtTheEndStartsAgainFromTheBeginning) {
  wnd->SetOptions(kNotify | MOVIE_OPT_HOLD_LAST_FRAME);
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 10}));
  wnd->Play();
  ASSERT_TRUE(WaitForState(MOVIE_STOPPED));
  EXPECT_EQ(wnd->m_nShownSample, 9);
  parent->Clear();
  wnd->Play();
  EXPECT_LT(wnd->GetPosition(), 150);
  ASSERT_TRUE(WaitForState(MOVIE_STOPPED));  // and plays through once more
}

TEST_F(PlaybackTest, AutoplayStartsShortlyAfterOpen) {
  wnd->SetOptions(kNotify | MOVIE_OPT_AUTOPLAY);
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 100}));
  EXPECT_EQ(wnd->m_nDeferredPlayTimer, IDT_DEFERRED_PLAY);
  ASSERT_TRUE(WaitFor([&] { return wnd->GetState() == MOVIE_PLAYING; }));
}

TEST_F(PlaybackTest, CloseWhilePlayingStopsAndReleasesTheMovie) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 500}));
  wnd->Play();
  PumpEvents(50);
  wnd->Close();
  EXPECT_EQ(wnd->GetState(), MOVIE_CLOSED);
  EXPECT_FALSE(wnd->m_bHasFrame);
  EXPECT_EQ(wnd->GetLength(), 0);
  EXPECT_EQ(wnd->m_nTickTimer, 0u);
  // A closed window paints only the background.
  wnd->m_crBack = RGB(1, 2, 3);
  EXPECT_EQ(wnd->grab().toImage().pixel(5, 5) & 0xFFFFFF, 0x010203u);
}

// ---- sound ----

TEST_F(PlaybackTest, SoundOnlyMovieTakesItsLengthAndClockFromTheSound) {
  // The movie before leaves a position behind that must not carry over.
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 50}));
  int pos = 900;
  wnd->Seek(&pos, true, false, false);
  ASSERT_TRUE(OpenMovie(MovieSpec{.video = false, .soundMs = 600}));
  EXPECT_EQ(wnd->GetPosition(), 0);
  PumpEvents(20);
  EXPECT_EQ(parent->States(), (std::vector<LONG>{MOVIE_CLOSED, MOVIE_NO_VIDEO, MOVIE_LOADED}));
  EXPECT_TRUE(wnd->m_bAudioOnly);
  EXPECT_EQ(wnd->GetLength(), 600);
  EXPECT_FALSE(wnd->m_bHasFrame);
  wnd->Play();
  ASSERT_TRUE(WaitForState(MOVIE_STOPPED, 8000));
  EXPECT_EQ(wnd->GetPosition(), 0);  // rewound
}

TEST_F(PlaybackTest, SoundTheDeviceRejectsIsLeftOutAndTheVideoPlaysSilently) {
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 10, .soundMs = 200, .soundFormatTag = 0x3FFF}));
  PumpEvents(20);
  EXPECT_EQ(parent->States(), (std::vector<LONG>{MOVIE_CLOSED, MOVIE_NO_SOUND, MOVIE_LOADED}));
  EXPECT_EQ(wnd->m_pAudio, nullptr);
  EXPECT_EQ(boxes.Texts().size(), 1u);  // the sound engine's own message
  EXPECT_EQ(wnd->Play(), MOVIE_PLAYING);
  ASSERT_TRUE(WaitForState(MOVIE_STOPPED));
}

TEST_F(PlaybackTest, ThePictureFollowsTheSoundAndCountsOnWithoutAJumpWhenTheSoundEnds) {
  // The sound plays at half speed, so a picture on the system clock would
  // run ahead of it; the sound ends at 400 ms, the video at 1200 ms.
  NullWaveOutOptions o;
  o.speed = 0.5;
  SetNullWaveOutOptions(o);
  ASSERT_TRUE(OpenMovie(MovieSpec{.rate = 50, .frames = 60, .soundMs = 400}));
  ASSERT_NE(wnd->m_pAudio, nullptr);
  wnd->m_fNotifyThreshold = 0.0f;
  QElapsedTimer t;
  t.start();
  wnd->Play();
  PumpEvents(500);
  // 500 ms of play at half speed: about 250 ms of sound.
  EXPECT_LT(wnd->GetPosition(), 400);
  EXPECT_LT(wnd->GetPosition(), t.elapsed() - 100);
  ASSERT_TRUE(WaitForState(MOVIE_STOPPED, 8000));
  const auto p = parent->Positions();
  ASSERT_GE(p.size(), 4u);
  for (std::size_t i = 1; i < p.size(); ++i)
    if (p[i] != 0) EXPECT_LT(p[i] - p[i - 1], 150) << "at " << p[i - 1];
}

TEST_F(PlaybackTest, AScrollingWindowPlaysAMovieWithSoundToTheEnd) {
  auto* scroll = new WYXScrollMovieWnd(parent.get());
  scroll->SetOptions(kNotify);
  scroll->CreateMovieWindow(parent.get());
  scroll->SetWindowRect(RECT{0, 0, 64, 48});
  TempMovie m("scroll");
  ASSERT_TRUE(WriteMovie(m.str(), MovieSpec{.width = 160, .height = 120, .rate = 25, .frames = 20, .soundMs = 800}));
  parent->Clear();
  ASSERT_TRUE(scroll->Open(m.c_str()));
  EXPECT_TRUE(scroll->IsScrollBarShown(SB_HORZ));
  EXPECT_TRUE(scroll->IsScrollBarShown(SB_VERT));
  auto shownColour = [&] { return scroll->grab().toImage().pixel(2, 2) & 0xFFFFFF; };
  EXPECT_EQ(shownColour(), FrameColour(0));
  int pos = 400;
  scroll->Seek(&pos, true, false, false);
  EXPECT_EQ(shownColour(), FrameColour(10));
  scroll->Play();
  PumpEvents(100);
  scroll->Pause();
  EXPECT_GT(scroll->GetPosition(), 400);
  EXPECT_EQ(shownColour(), FrameColour(scroll->m_nShownSample));
  scroll->Play();
  ASSERT_TRUE(WaitForState(MOVIE_STOPPED, 8000));
  EXPECT_EQ(scroll->GetPosition(), 0);
  EXPECT_EQ(shownColour(), FrameColour(0));
  PumpEvents(10);
  const auto states = parent->States();
  EXPECT_EQ(states.front(), MOVIE_CLOSED);
  EXPECT_EQ(states[1], MOVIE_LOADED);
  for (LONG s : {MOVIE_PLAYING, MOVIE_PAUSED, MOVIE_STOPPED})
    EXPECT_NE(std::find(states.begin(), states.end(), s), states.end()) << s;
  EXPECT_FALSE(parent->Positions().empty());
}

}  // namespace

namespace {

TEST(AppMainWindowTest, ADestroyedMainWindowIsForgotten) {
  EnsureQtApp();
  auto* main = new QWidget;
  SetAppMainWindow(main);
  EXPECT_EQ(GetAppMainWindow(), main);
  EXPECT_TRUE(HasAppMainWindow());
  delete main;
  // The movie worker asks before it requests the close; it must not find a
  // window that is gone.
  EXPECT_EQ(GetAppMainWindow(), nullptr);
  EXPECT_FALSE(HasAppMainWindow());
}

}  // namespace

namespace {

TEST_F(PlaybackTest, ThePaletteIsRebuiltOnlyAfterLoadingOrAColourTableChange) {
  wnd->m_bUsePalette = true;
  ASSERT_TRUE(OpenMovie(MovieSpec{.bitCount = 8, .rate = 50, .frames = 20}));
  wnd->grab();
  EXPECT_EQ(wnd->m_nPaletteBuilds, 1);
  for (int pos : {100, 260, 20}) {
    wnd->Seek(&pos, true, false, false);
    wnd->grab();
  }
  EXPECT_EQ(wnd->m_nPaletteBuilds, 1);  // the movie never changes its colours
  ASSERT_TRUE(OpenMovie(MovieSpec{.bitCount = 8, .rate = 50, .frames = 20}));
  wnd->grab();
  EXPECT_EQ(wnd->m_nPaletteBuilds, 2);
}

}  // namespace
