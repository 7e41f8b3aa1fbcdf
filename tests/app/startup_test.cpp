#include <gtest/gtest.h>

#include <fstream>

#include "app/CPlayerApp.h"
#include "res/StringTable.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/ui/PlayerTestSupport.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"

namespace {

std::vector<std::string> Args(std::initializer_list<std::string> rest) {
  std::vector<std::string> a = {"quorvix-player"};
  a.insert(a.end(), rest);
  return a;
}

}  // namespace

TEST(Startup, WithoutArgumentsShowsTheEmptyPlayerCentred) {
  TestApp();
  MessageBoxRecorder messages;
  CPlayerApp app;
  ASSERT_TRUE(app.InitApplication());
  ASSERT_TRUE(app.InitInstance(Args({})));
  CMainFrame* f = app.GetMainWnd();
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(messages.Messages().empty());
  EXPECT_EQ(f->windowTitle().toStdString(), "Quorvix 播放器");
  const RECT wa = f->GetWorkArea(), r = f->GetWindowRect();
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 320);
  EXPECT_EQ(r.left - wa.left, wa.right - r.right);
  EXPECT_EQ(r.top - wa.top, wa.bottom - r.bottom);
  EXPECT_EQ(QCoreApplication::applicationName().toStdString(), kPlayerWindowClass);
}

TEST(Startup, MissingMovieIsReportedAndThePlayerStartsEmpty) {
  TestApp();
  MessageBoxRecorder messages;
  CPlayerApp app;
  app.InitApplication();
  ASSERT_TRUE(app.InitInstance(Args({"/tmp/quorvix-no-such-dir/missing.avi"})));
  ASSERT_EQ(messages.Texts(), std::vector<std::string>{"文件未找到: /tmp/quorvix-no-such-dir/missing.avi"});
  EXPECT_EQ(messages.Messages()[0].flags, MB_OK);
  EXPECT_TRUE(app.GetMainWnd()->isVisible());
  EXPECT_FALSE(app.GetMainWnd()->GetActiveView()->IsMovieOpen());
}

TEST(Startup, MovieThatCannotBeOpenedEndsStartUpBeforeAnyWindowShows) {
  TestApp();
  TempDir dir;
  const std::string damaged = dir.File("damaged.avi");
  std::ofstream(damaged) << "RIFF\x10\0\0\0AVI junk";
  MessageBoxRecorder messages;
  CPlayerApp app;
  app.InitApplication();
  // /删除: a temporary movie that never opened is not deleted.
  EXPECT_FALSE(app.InitInstance(Args({"/删除", damaged})));
  ASSERT_NE(app.GetMainWnd(), nullptr);
  EXPECT_FALSE(app.GetMainWnd()->isVisible());
  app.ExitInstance();
  EXPECT_TRUE(std::filesystem::exists(damaged));
}

TEST(Startup, PlacementAndMaximise) {
  TestApp();
  struct Case {
    std::vector<std::string> args;
    bool maximised;
    RECT want;  // outer rectangle when not maximised
  } cases[] = {
      {Args({"/P10,10", "/Z640,480"}), false, RECT{10, 10, 650, 490}},
      {Args({"/MX", "/P10,10", "/Z640,480"}), true, RECT{}},
  };
  for (const Case& c : cases) {
    MessageBoxRecorder messages;
    CPlayerApp app;
    app.InitApplication();
    ASSERT_TRUE(app.InitInstance(c.args));
    CMainFrame* f = app.GetMainWnd();
    EXPECT_EQ(f->isMaximized(), c.maximised);
    if (!c.maximised) {
      const RECT r = f->GetWindowRect();
      EXPECT_EQ(r.left, c.want.left);
      EXPECT_EQ(r.top, c.want.top);
      EXPECT_EQ(r.right, c.want.right);
      EXPECT_EQ(r.bottom, c.want.bottom);
    }
  }
}
