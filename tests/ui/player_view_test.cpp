#include <gtest/gtest.h>

#include <QLayout>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/CPlayerConfig.h"
#include "engine/AppMainWindow.h"
#include "res/CommandTable.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/ui/PlayerTestSupport.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"

namespace {

// Processes events until pred holds; the bound is generous, never a speed
// requirement.
bool WaitFor(const std::function<bool()>& pred, int seconds = 10) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

constexpr DWORD kFps = 10;      // one frame = 100 ms
constexpr int kFrames = 100;    // 10 s

class PlayerViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    m_config.m_bAutoPlay = FALSE;  // the tests start playback themselves
    m_movie = m_dir.File("movie.avi");
    ASSERT_TRUE(WriteScreenMovie(m_movie, kFrames, kFps));
  }
  void TearDown() override {
    SetAppMainWindow(nullptr);
    m_frame.reset();
  }
  CMainFrame& Build() {
    m_frame = std::make_unique<CMainFrame>(m_config);
    SetAppMainWindow(m_frame.get());
    EXPECT_TRUE(m_frame->LoadFrame(IDR_MAINFRAME));
    return *m_frame;
  }
  CPlayerView& View() { return *m_frame->GetActiveView(); }
  WYXScrollMovieWnd& Movie() { return View().m_wndMovie; }
  void Open() {
    ASSERT_TRUE(View().OpenMovie(m_movie.c_str()));
    ASSERT_TRUE(WaitFor([&] { return Movie().GetStateWord() == MOVIE_LOADED; }));
  }
  void PlayThenPause() {
    m_frame->RouteCommand(ID_MOVIE_PLAYPAUSE);
    ASSERT_TRUE(WaitFor([&] { return Movie().GetStateWord() == MOVIE_PLAYING; }));
    m_frame->RouteCommand(ID_MOVIE_PLAYPAUSE);
    ASSERT_TRUE(WaitFor([&] { return Movie().GetStateWord() == MOVIE_PAUSED; }));
    QCoreApplication::processEvents();
  }
  bool Enabled(unsigned id) {
    m_frame->UpdateCommandUI();
    return m_frame->GetCommandAction(id)->isEnabled();
  }

  TempDir m_dir;
  std::string m_movie;
  CPlayerConfig m_config;
  std::unique_ptr<CMainFrame> m_frame;
  MessageBoxRecorder m_messages;
};

}  // namespace

TEST_F(PlayerViewTest, EnableRulesInEachState) {
  CMainFrame& f = Build();
  const unsigned ids[] = {ID_FILE_OPEN,  ID_FILE_CLOSE,   ID_MOVIE_PLAY,    ID_MOVIE_PAUSE,     ID_MOVIE_PLAYPAUSE,
                          ID_MOVIE_STOP, ID_MOVIE_BEGIN,  ID_MOVIE_REWIND,  ID_MOVIE_FORWARD,   ID_MOVIE_END,
                          ID_MOVIE_PREVFRAME, ID_MOVIE_NEXTFRAME, ID_MOVIE_REPEAT};
  // One column per id above: 1 = enabled.
  struct Row {
    const char* state;
    std::function<void()> enter;
    std::vector<int> enabled;
  } rows[] = {
      {"no movie", [] {}, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
      {"loaded", [&] { Open(); }, {1, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1, 1, 1}},
      {"playing",
       [&] {
         f.RouteCommand(ID_MOVIE_PLAYPAUSE);
         ASSERT_TRUE(WaitFor([&] { return Movie().GetStateWord() == MOVIE_PLAYING; }));
       },
       {1, 1, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1}},
      {"paused",
       [&] {
         f.RouteCommand(ID_MOVIE_PAUSE);
         ASSERT_TRUE(WaitFor([&] { return Movie().GetStateWord() == MOVIE_PAUSED; }));
       },
       {1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
      // A seek that interrupted playback: play is offered, nothing else moves.
      {"seeking", [&] { Movie().m_bSeeking = true; }, {1, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
      {"seek pending while the frame shows playing",
       [&] {
         Movie().m_bSeeking = false;
         f.SetPlayState(PLAY_STATE_PLAYING);
         View().SeekMovie(0, true, true);
       },
       {1, 1, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1}},
  };
  for (const Row& row : rows) {
    row.enter();
    for (std::size_t i = 0; i < std::size(ids); ++i)
      EXPECT_EQ(Enabled(ids[i]), row.enabled[i] == 1) << row.state << ": command " << ids[i];
  }
}

TEST_F(PlayerViewTest, TitleTimeAndStateFollowOpenAndClose) {
  CMainFrame& f = Build();
  Open();
  f.UpdateCommandUI();
  EXPECT_EQ(f.windowTitle().toStdString(), "movie.avi - Quorvix 播放器");
  EXPECT_EQ(f.TimePaneText(), "00:00/00:10");
  EXPECT_FALSE(View().IsLogoShown());
  EXPECT_FALSE(Movie().isHidden());
  View().CloseMovie();
  EXPECT_EQ(f.windowTitle().toStdString(), "Quorvix 播放器");
  EXPECT_EQ(f.TimePaneText(), "");
  EXPECT_EQ(f.StatePaneText(), "");
  EXPECT_TRUE(View().IsLogoShown());
  EXPECT_TRUE(Movie().isHidden());
  const RECT r = f.GetWindowRect();
  EXPECT_GE(r.right - r.left, 400);
  EXPECT_GE(r.bottom - r.top, 320);
}

TEST_F(PlayerViewTest, RewindAndForwardClampAndKeepThePause) {
  Build();
  Open();
  PlayThenPause();
  struct Case {
    int from;
    unsigned command;
    int want;  // -1: the movie's length
  } cases[] = {
      {400, ID_MOVIE_REWIND, 0},
      {2500, ID_MOVIE_REWIND, 1500},
      {2500, ID_MOVIE_FORWARD, 3500},
      {9500, ID_MOVIE_FORWARD, -1},
  };
  for (const Case& c : cases) {
    int pos = c.from;
    Movie().Seek(&pos, true, true, false);
    QCoreApplication::processEvents();
    ASSERT_TRUE(m_frame->RouteCommand(c.command)) << c.from;
    const int want = c.want < 0 ? Movie().GetLength() : c.want;
    EXPECT_EQ(Movie().GetPosition(), want) << c.from;
    EXPECT_EQ(m_frame->m_nPosition, want) << c.from;
    EXPECT_NE(Movie().GetStateWord(), MOVIE_PLAYING) << c.from;
  }
}

TEST_F(PlayerViewTest, ArrowKeysStepOneFrameWhilePaused) {
  CMainFrame& f = Build();
  Open();
  PlayThenPause();
  int pos = 1000;
  Movie().Seek(&pos, true, true, false);
  QCoreApplication::processEvents();
  f.show();
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  f.UpdateCommandUI();
  QTest::keyClick(&View(), Qt::Key_Right);
  EXPECT_EQ(Movie().GetPosition(), 1100);
  f.UpdateCommandUI();
  QTest::keyClick(&View(), Qt::Key_Left);
  QTest::keyClick(&View(), Qt::Key_Left);
  EXPECT_EQ(Movie().GetPosition(), 900);
  EXPECT_EQ(f.m_nPosition, 900);
}

TEST_F(PlayerViewTest, StopWhilePausedReturnsToTheStart) {
  CMainFrame& f = Build();
  Open();
  PlayThenPause();
  int pos = 3000;
  Movie().Seek(&pos, true, true, false);
  QCoreApplication::processEvents();
  ASSERT_TRUE(f.RouteCommand(ID_MOVIE_STOP));
  EXPECT_EQ(Movie().GetPosition(), 0);
  f.UpdateCommandUI();
  EXPECT_EQ(f.StatePaneText(), "已停止");
}

TEST_F(PlayerViewTest, LargeFileWarningComesBeforeTheOpen) {
  Build();
  struct Case {
    long long size;
    bool warned;
  } cases[] = {{kLargeMovieBytes - 1, false}, {kLargeMovieBytes, true}};
  for (const Case& c : cases) {
    const std::string big = m_dir.File("big.avi");
    ASSERT_TRUE(WriteScreenMovie(big, 10, kFps));
    std::filesystem::resize_file(big, static_cast<std::uintmax_t>(c.size));  // sparse
    m_messages.Clear();
    View().OpenMovie(big.c_str());
    const auto texts = m_messages.Texts();
    const bool warned = !texts.empty() && texts.front() == "警告: 该文件大于 1GB，可能会播放不正确。";
    EXPECT_EQ(warned, c.warned) << c.size;
    if (warned) EXPECT_EQ(m_messages.Messages().front().flags, MB_OK);
    View().CloseMovie();
    std::filesystem::remove(big);
  }
}

TEST_F(PlayerViewTest, TemporaryMovieIsDeletedExactlyOnce) {
  const std::string a = m_dir.File("temporary.avi");
  const std::string b = m_dir.File("later.avi");
  const std::string c = m_dir.File("third.avi");
  struct Step {
    const char* what;
    std::function<void(CPlayerView&, CMainFrame&)> run;
    bool keepsTemporary = false;  // the temporary movie must still be there afterwards
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
  } cases[] = {
      {"close, then open and close another",
       {{"close", [](CPlayerView& v, CMainFrame&) { v.CloseMovie(); }},
        {"open later", [&](CPlayerView& v, CMainFrame&) { v.OpenMovie(b.c_str()); }},
        {"close later", [](CPlayerView& v, CMainFrame&) { v.CloseMovie(); }}}},
      {"replace twice, then quit",
       {{"replace", [&](CPlayerView& v, CMainFrame&) { v.ReplaceMovie(b); }},
        {"replace again", [&](CPlayerView& v, CMainFrame&) { v.ReplaceMovie(c); }},
        {"quit", [](CPlayerView&, CMainFrame& f) { f.RouteCommand(ID_APP_EXIT); }}}},
      {"quit", {{"quit", [](CPlayerView&, CMainFrame& f) { f.close(); }}}},
      {"reopen the temporary movie itself, then close",
       {{"replace by itself", [&](CPlayerView& v, CMainFrame&) { v.ReplaceMovie(a); }, true},
        {"close", [](CPlayerView& v, CMainFrame&) { v.CloseMovie(); }}}},
  };
  for (const Case& k : cases) {
    for (const std::string& p : {a, b, c}) ASSERT_TRUE(WriteScreenMovie(p, 5, kFps));
    m_config = CPlayerConfig();
    m_config.m_bAutoPlay = FALSE;
    m_config.m_bDeleteOnClose = TRUE;
    CMainFrame& f = Build();
    ASSERT_TRUE(View().OpenMovie(a.c_str())) << k.what;
    bool deleted = false;
    for (const Step& s : k.steps) {
      s.run(View(), f);
      const bool gone = !std::filesystem::exists(a);
      if (s.keepsTemporary) EXPECT_FALSE(gone) << k.what << ", " << s.what << ": the open movie was deleted";
      deleted = deleted || gone;
    }
    m_frame.reset();  // destruction after the steps deletes nothing more
    EXPECT_TRUE(deleted) << k.what;
    EXPECT_FALSE(std::filesystem::exists(a)) << k.what;
    EXPECT_TRUE(std::filesystem::exists(b)) << k.what;
    EXPECT_TRUE(std::filesystem::exists(c)) << k.what;
    EXPECT_FALSE(m_config.m_bDeleteOnClose) << k.what;
  }
}

TEST_F(PlayerViewTest, RepeatCommandTogglesSettingAndMovieOption) {
  CMainFrame& f = Build();
  ASSERT_TRUE(f.RouteCommand(ID_MOVIE_REPEAT));
  EXPECT_TRUE(m_config.m_bRepeat);
  EXPECT_TRUE(Movie().m_dwOptions & MOVIE_OPT_REPEAT);
  ASSERT_TRUE(f.RouteCommand(ID_MOVIE_REPEAT));
  EXPECT_FALSE(m_config.m_bRepeat);
  EXPECT_FALSE(Movie().m_dwOptions & MOVIE_OPT_REPEAT);
  // The settings reach the movie window at the first update.
  EXPECT_EQ(Movie().m_dwOptions & (MOVIE_OPT_NOTIFY_POSITION | MOVIE_OPT_NOTIFY_STATE | MOVIE_OPT_DRAG_MAIN_WINDOW |
                                   MOVIE_OPT_AUTOPLAY),
            MOVIE_OPT_NOTIFY_POSITION | MOVIE_OPT_NOTIFY_STATE | MOVIE_OPT_DRAG_MAIN_WINDOW);
}

TEST_F(PlayerViewTest, FrameFitsSmallMoviesAndIsClippedToTheWorkAreaForLargeOnes) {
  CMainFrame& f = Build();
  f.show();
  const RECT wa = f.GetWorkArea();
  const int waW = wa.right - wa.left;
  struct Case {
    const char* what;
    int width, height;
    bool sizable;
    bool fullWidth;
  } cases[] = {
      {"small", 480, 360, false, false},
      {"wider than the work area", waW + 200, 100, true, true},
  };
  for (const Case& c : cases) {
    const std::string path = m_dir.File(std::string(c.what) + ".avi");
    ASSERT_TRUE(WriteScreenMovie(path, 3, kFps, c.width, c.height)) << c.what;
    ASSERT_TRUE(View().OpenMovie(path.c_str())) << c.what;
    f.layout()->setGeometry(f.rect());
    const RECT r = f.GetWindowRect();
    EXPECT_EQ(f.IsSizable(), c.sizable) << c.what;
    if (c.fullWidth) {
      EXPECT_EQ(r.left, wa.left) << c.what;
      EXPECT_EQ(r.right - r.left, waW) << c.what;
    } else {
      // Just large enough: the view's client area is the movie's size.
      EXPECT_EQ(View().width(), c.width) << c.what;
      EXPECT_EQ(View().height(), c.height) << c.what;
    }
    View().CloseMovie();
    EXPECT_FALSE(f.IsSizable()) << c.what;
  }
}

TEST_F(PlayerViewTest, SoundOnlyMovieKeepsTheLogo) {
  Build();
  const std::string path = m_dir.File("sound.avi");
  AviWriter writer;
  const int sound = writer.AddStream(AviStreamSpec::Pcm(1, 8000, 16));
  const std::vector<BYTE> silence(8000 * 2, 0);  // one second
  writer.AddSound(sound, silence);
  ASSERT_TRUE(writer.Write(path));
  ASSERT_TRUE(View().OpenMovie(path.c_str()));
  EXPECT_TRUE(Movie().m_bAudioOnly);
  EXPECT_TRUE(Movie().isHidden());
  EXPECT_TRUE(View().IsLogoShown());
  EXPECT_EQ(m_frame->TimePaneText(), "00:00/00:01");
}
