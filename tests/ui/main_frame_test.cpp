#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>

#include "app/CPlayerConfig.h"
#include "engine/AppMainWindow.h"
#include "res/CommandTable.h"
#include "res/StringTable.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/ui/PlayerTestSupport.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"

namespace {

// Texts of a menu's entries; separators as "-", submenus as "name>".
std::vector<std::string> EntryTexts(QMenu* pMenu) {
  std::vector<std::string> out;
  for (QAction* a : pMenu->actions()) {
    if (a->isSeparator())
      out.push_back("-");
    else if (a->menu())
      out.push_back(a->text().toStdString() + ">");
    else
      out.push_back(a->text().toStdString());
  }
  return out;
}

}  // namespace

TEST(StatusPanes, TimeTextHasMinutesAndSecondsOnly) {
  struct Case {
    int position, length;
    const char* want;
  } cases[] = {
      {61500, 3600000, "01:01/60:00"},
      {0, -1, ""},            // no movie
      {5000, -1, ""},
      {0, 4500000, "00:00/75:00"},  // no hours field
      {59999, 60000, "00:59/01:00"},  // seconds truncate
      {0, 0, "00:00/00:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(CMainFrame::TimeText(c.position, c.length), c.want) << c.position;
}

TEST(StatusPanes, StateTexts) {
  struct Case {
    int state;
    const char* want;
  } cases[] = {
      {PLAY_STATE_NONE, ""},          {PLAY_STATE_OPENING, "正在打开..."}, {PLAY_STATE_STOPPED, "已停止"},
      {PLAY_STATE_PAUSED, "已暂停"},  {PLAY_STATE_PLAYING, "正在播放"},    {PLAY_STATE_SEEKING, "正在搜索"},
      {6, ""},                        {-1, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CMainFrame::PlayStateText(c.state), c.want) << c.state;
}

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApp(); }

  CMainFrame& Build() {
    m_frame = std::make_unique<CMainFrame>(m_config);
    SetAppMainWindow(m_frame.get());
    EXPECT_TRUE(m_frame->LoadFrame(IDR_MAINFRAME));
    return *m_frame;
  }
  void TearDown() override {
    SetAppMainWindow(nullptr);
    m_frame.reset();
  }
  QLabel* Pane(int index) {
    const auto labels = m_frame->statusBar()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    return index < labels.size() ? labels[index] : nullptr;
  }

  CPlayerConfig m_config;
  std::unique_ptr<CMainFrame> m_frame;
  MessageBoxRecorder m_messages;
};

TEST_F(MainFrameTest, EmptyPlayerShowsTitleLogoAndOnlyOpenRepeatAndExit) {
  CMainFrame& f = Build();
  f.UpdateCommandUI();
  EXPECT_EQ(f.windowTitle().toStdString(), "Quorvix 播放器");
  EXPECT_TRUE(f.GetActiveView()->IsLogoShown());
  const std::set<unsigned> enabled = {ID_FILE_OPEN, ID_MOVIE_REPEAT, ID_APP_EXIT};
  for (const MenuResItem& item : LoadMenuResource(IDR_MAINFRAME)) {
    if (item.kind != MenuResItem::Item) continue;
    EXPECT_EQ(f.GetCommandAction(item.id)->isEnabled(), enabled.count(item.id) == 1) << item.id;
  }
  // Panes: empty state and time; their first texts sized them.
  ASSERT_NE(Pane(0), nullptr);
  ASSERT_NE(Pane(1), nullptr);
  EXPECT_EQ(Pane(0)->text(), "");
  EXPECT_EQ(Pane(1)->text(), "");
  EXPECT_GE(Pane(1)->minimumWidth(), Pane(1)->fontMetrics().horizontalAdvance("X00:00/00:00X"));
  // The frame hugs the logo: at least 400 x 320, no sizing border.
  const RECT r = f.GetWindowRect();
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 320);
  EXPECT_FALSE(f.IsSizable());
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
}

TEST_F(MainFrameTest, MenuFollowsTheResourceAndTheSettings) {
  struct Case {
    BOOL alwaysOnTop;
    bool hasTopmostEntry;
  } cases[] = {{FALSE, false}, {TRUE, true}};
  for (const Case& c : cases) {
    m_config = CPlayerConfig();
    m_config.m_bAlwaysOnTop = c.alwaysOnTop;
    CMainFrame& f = Build();
    const QList<QAction*> top = f.menuBar()->actions();
    ASSERT_EQ(top.size(), 3);
    EXPECT_EQ(top[0]->text(), "文件(&F)");
    EXPECT_EQ(top[2]->text(), "帮助(&H)");
    EXPECT_EQ(EntryTexts(top[0]->menu()),
              (std::vector<std::string>{"打开(&O)...\tCtrl+O", "关闭(&C)", "-", "退出(&X)"}));
    std::vector<std::string> play = {"播放/暂停(&P)\tSpace", "停止(&S)\tCtrl+S", "-", "起始(&B)\tHome",
                                     "倒退(&R)\tPage Up", "前进(&F)\tPage Down", "结尾(&E)\tEnd", "-",
                                     "全屏幕(&U)", "重复(&T)\tCtrl+R"};
    if (c.hasTopmostEntry) play.push_back("总在最前页(&A)\tCtrl+A");
    play.insert(play.end(), {"-", "音量(&V)>"});
    EXPECT_EQ(EntryTexts(top[1]->menu()), play);
    // The volume submenu stays disabled while there is no mixer.
    f.UpdateCommandUI();
    EXPECT_FALSE(top[1]->menu()->actions().back()->isEnabled());
    // Pointing at an entry shows its prompt in the status bar.
    f.GetCommandAction(ID_FILE_OPEN)->showStatusText(f.menuBar());
    EXPECT_EQ(f.statusBar()->currentMessage().toStdString(), "打开一个电影文件");
    f.GetCommandAction(ID_APP_ABOUT)->showStatusText(f.menuBar());
    EXPECT_EQ(f.statusBar()->currentMessage().toStdString(), "显示程序信息");
    TearDown();
  }
}

TEST_F(MainFrameTest, ContextMenuLacksTopmostEntryUnlessAllowed) {
  for (BOOL allowed : {FALSE, TRUE}) {
    m_config = CPlayerConfig();
    m_config.m_bAlwaysOnTop = allowed;
    CMainFrame& f = Build();
    std::unique_ptr<QMenu> menu(f.GetActiveView()->BuildContextMenu());
    ASSERT_TRUE(menu);
    std::vector<std::string> want = {"播放/暂停(&P)\tSpace", "停止(&S)\tCtrl+S", "-", "起始(&B)\tHome",
                                     "倒退(&R)\tPage Up", "前进(&F)\tPage Down", "结尾(&E)\tEnd", "-",
                                     "全屏幕(&U)", "重复(&T)\tCtrl+R"};
    if (allowed) want.push_back("总在最前页(&A)\tCtrl+A");
    want.insert(want.end(), {"-", "音量(&V)>", "-", "退出(&X)"});
    EXPECT_EQ(EntryTexts(menu.get()), want) << allowed;
    menu.reset();
    TearDown();
  }
}

TEST_F(MainFrameTest, KeysReachTheirCommandsAlsoWithoutMenuBar) {
  for (BOOL menu : {TRUE, FALSE}) {
    m_config = CPlayerConfig();
    m_config.m_bMenu = menu;
    CMainFrame& f = Build();
    EXPECT_EQ(f.menuWidget() != nullptr, menu != FALSE);
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.UpdateCommandUI();
    QTest::keyClick(f.GetActiveView(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(m_config.m_bRepeat);
    f.UpdateCommandUI();
    EXPECT_TRUE(f.GetCommandAction(ID_MOVIE_REPEAT)->isChecked());
    QTest::keyClick(f.GetActiveView(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(m_config.m_bRepeat);
    // Every accelerator is bound to its command's action.
    for (const AccelResItem& a : LoadAccelResource(IDR_MAINFRAME))
      EXPECT_TRUE(f.GetCommandAction(a.id)->shortcuts().contains(
          QKeySequence(QString::fromLatin1(a.key), QKeySequence::PortableText)))
          << a.key;
    TearDown();
  }
}

TEST_F(MainFrameTest, ExitClosesLikeTheCloseButtonAndNoStatusBarWhenAsked) {
  m_config.m_bStatusBar = FALSE;
  CMainFrame& f = Build();
  EXPECT_EQ(f.findChild<QStatusBar*>(), nullptr);
  f.SetPlayState(PLAY_STATE_PLAYING);  // panes absent: only stored
  EXPECT_EQ(f.StatePaneText(), "正在播放");
  f.show();
  EXPECT_TRUE(f.RouteCommand(ID_APP_EXIT));
  EXPECT_FALSE(f.isVisible());
}

TEST_F(MainFrameTest, SetPlayStateUpdatesPanesAtOnce) {
  CMainFrame& f = Build();
  f.SetMovieLength(3600000);
  f.SetMoviePosition(61500);
  f.SetPlayState(PLAY_STATE_PAUSED);
  EXPECT_EQ(Pane(0)->text(), "已暂停");
  EXPECT_EQ(Pane(1)->text(), "01:01/60:00");
}

TEST_F(MainFrameTest, WindowIsNotTrackedBelowMinimumAndOuterRectangleIsApplied) {
  CMainFrame& f = Build();
  f.SetSizable(true);
  f.SetWindowRect(RECT{10, 20, 10 + 100, 20 + 50});
  const RECT r = f.GetWindowRect();
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 150);
  f.SetWindowRect(RECT{10, 10, 650, 490});
  const RECT s = f.GetWindowRect();
  EXPECT_EQ(s.right - s.left, 640);
  EXPECT_EQ(s.bottom - s.top, 480);
}
