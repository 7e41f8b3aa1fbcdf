// The scrolling movie window: which bars appear for a frame and client size,
// their ranges and pages, the scroll steps of the bars and the wheel, and the
// drawing offset by the scroll position.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QWheelEvent>

#include "engine/WYXScrollMovieWnd.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

// A scrolling window whose movie has a frame of a given size and no file.
class SizedScrollWnd : public WYXScrollMovieWnd {
 public:
  SizedScrollWnd(int w, int h) {
    m_format.biSize = sizeof(BITMAPINFOHEADER);
    m_format.biWidth = w;
    m_format.biHeight = h;
    m_format.biPlanes = 1;
    m_format.biBitCount = 32;
  }
  const BITMAPINFOHEADER* GetVideoFormat() override { return &m_format; }

 private:
  BITMAPINFOHEADER m_format{};
};

class ScrollWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureQtApp(); }
};

TEST_F(ScrollWindowTest, BarsAppearOnlyWhereTheFrameDoesNotFit) {
  SizedScrollWnd probe(1, 1);
  const int bw = probe.m_cxVScroll, bh = probe.m_cyHScroll;
  ASSERT_GT(bw, 0);
  ASSERT_GT(bh, 0);
  struct Case {
    const char* name;
    int fw, fh;
    DWORD options;
    bool h, v;
  } const cases[] = {
      {"larger both ways", 1024, 768, 0, true, true},
      {"only wider", 700, 400, 0, true, false},
      {"only taller", 500, 700, 0, false, true},
      // Wider, and the horizontal bar then takes away the height it needed.
      {"wider and nearly as tall", 650, 480 - bh + 6, 0, true, true},
      {"taller and nearly as wide", 640 - bw + 6, 500, 0, true, true},
      {"smaller", 300, 200, 0, false, false},
      {"exactly the client size", 640, 480, 0, false, false},
      {"shrink to fit never shows bars", 1024, 768, MOVIE_OPT_SHRINK_TO_FIT, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SizedScrollWnd wnd(c.fw, c.fh);
    wnd.m_dwOptions = c.options;
    wnd.resize(640, 480);
    wnd.UpdateScrollBars();
    EXPECT_EQ(wnd.IsScrollBarShown(SB_HORZ), c.h);
    EXPECT_EQ(wnd.IsScrollBarShown(SB_VERT), c.v);
    // The client area is what the visible bars leave.
    EXPECT_EQ(wnd.GetClientRect(), QRect(0, 0, 640 - (c.v ? bw : 0), 480 - (c.h ? bh : 0)));
    // Running the size handling again (as the resize a bar causes does)
    // comes to the same decision.
    wnd.UpdateScrollBars();
    EXPECT_EQ(wnd.IsScrollBarShown(SB_HORZ), c.h);
    EXPECT_EQ(wnd.IsScrollBarShown(SB_VERT), c.v);
  }
}

TEST_F(ScrollWindowTest, RangesAndPagesFollowFrameAndClient) {
  SizedScrollWnd wnd(1024, 768);
  wnd.resize(640, 480);
  wnd.UpdateScrollBars();
  const int bw = wnd.m_cxVScroll, bh = wnd.m_cyHScroll;
  const auto h = wnd.GetScrollRange(SB_HORZ);
  const auto v = wnd.GetScrollRange(SB_VERT);
  EXPECT_EQ(h.nMin, 0);
  EXPECT_EQ(h.nMax, 1023);
  EXPECT_EQ(h.nPage, static_cast<UINT>(640 - bw));
  EXPECT_EQ(v.nMax, 767);
  EXPECT_EQ(v.nPage, static_cast<UINT>(480 - bh));
  // The largest position shows the frame's last column at the client's edge.
  EXPECT_EQ(wnd.GetScrollLimit(SB_HORZ), 1024 - (640 - bw));
  EXPECT_EQ(wnd.GetScrollLimit(SB_VERT), 768 - (480 - bh));
  EXPECT_EQ(wnd.GetScrollBar(SB_HORZ)->pageStep(), 640 - bw);
  EXPECT_EQ(wnd.GetScrollBar(SB_HORZ)->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(wnd.GetScrollBar(SB_VERT)->focusPolicy(), Qt::NoFocus);

  // Growing the window until the frame fits hides the bars and scrolls back.
  wnd.OnScroll(SB_RIGHT | (SB_BOTTOM << 8), 0);
  EXPECT_GT(wnd.GetScrollPos(SB_HORZ), 0);
  wnd.resize(1100, 800);
  wnd.UpdateScrollBars();
  EXPECT_FALSE(wnd.IsScrollBarShown(SB_HORZ));
  EXPECT_FALSE(wnd.IsScrollBarShown(SB_VERT));
  EXPECT_EQ(wnd.GetScrollPos(SB_HORZ), 0);
  EXPECT_EQ(wnd.GetScrollPos(SB_VERT), 0);
}

TEST_F(ScrollWindowTest, ScrollCodesMoveByLinePageThumbAndEnds) {
  SizedScrollWnd wnd(1024, 768);
  wnd.resize(640, 480);
  wnd.UpdateScrollBars();
  const int limit = wnd.GetScrollLimit(SB_HORZ);
  auto horz = [](UINT code) { return code | (0xFFu << 8); };
  struct Step {
    const char* name;
    UINT code;
    int pos;
    int expect;
  } const steps[] = {
      {"line right", horz(SB_LINERIGHT), 0, 10},
      {"page right", horz(SB_PAGERIGHT), 0, 110},
      {"line left", horz(SB_LINELEFT), 0, 100},
      {"page left", horz(SB_PAGELEFT), 0, 0},
      {"line left at 0 stays", horz(SB_LINELEFT), 0, 0},
      {"thumb track follows", horz(SB_THUMBTRACK), 123, 123},
      {"thumb release changes nothing", horz(SB_THUMBPOSITION), 500, 123},
      {"end scroll changes nothing", horz(SB_ENDSCROLL), 0, 123},
      {"right end", horz(SB_RIGHT), 0, limit},
      {"beyond the limit stays", horz(SB_LINERIGHT), 0, limit},
      {"left end", horz(SB_LEFT), 0, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    wnd.OnScroll(s.code, s.pos);
    EXPECT_EQ(wnd.GetScrollPos(SB_HORZ), s.expect);
    EXPECT_EQ(wnd.GetScrollPos(SB_VERT), 0);
  }
  // The vertical code sits in the high byte.
  wnd.OnScroll(0xFF | (SB_PAGEDOWN << 8), 0);
  EXPECT_EQ(wnd.GetScrollPos(SB_VERT), 100);
  EXPECT_EQ(wnd.GetScrollPos(SB_HORZ), 0);
}

TEST_F(ScrollWindowTest, WheelScrollsThreeLinesPerNotch) {
  struct Case {
    const char* name;
    int fw, fh;
    bool ctrl;
    int start;  // starting position of the bar that scrolls
    int delta;
    int bar;
    int expect;
  } const cases[] = {
      {"towards the user: down 30", 1024, 768, false, 0, -120, SB_VERT, 30},
      {"away from the user: up 30", 1024, 768, false, 100, 120, SB_VERT, 70},
      {"two notches at once: 60", 1024, 768, false, 0, -240, SB_VERT, 60},
      {"many notches: at most a page", 1024, 768, false, 0, -1200, SB_VERT, 100},
      {"a third of a notch up: a whole page", 1024, 768, false, 200, 40, SB_VERT, 100},
      {"ctrl with both bars: horizontal", 1024, 768, true, 0, -120, SB_HORZ, 30},
      {"only a horizontal bar: horizontal", 700, 400, false, 0, -120, SB_HORZ, 30},
      {"ctrl with only a vertical bar: vertical", 500, 700, true, 0, -120, SB_VERT, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SizedScrollWnd wnd(c.fw, c.fh);
    wnd.resize(640, 480);
    wnd.UpdateScrollBars();
    if (c.start) wnd.OnScrollBy(c.bar == SB_VERT ? SIZE{0, c.start} : SIZE{c.start, 0});
    QWheelEvent ev(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, c.delta), Qt::NoButton,
                   c.ctrl ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&wnd, &ev);
    EXPECT_EQ(wnd.GetScrollPos(c.bar), c.expect);
    EXPECT_EQ(wnd.GetScrollPos(c.bar == SB_VERT ? SB_HORZ : SB_VERT), 0);
  }
}

TEST_F(ScrollWindowTest, WithShrinkToFitNothingScrolls) {
  SizedScrollWnd wnd(1024, 768);
  wnd.m_dwOptions = MOVIE_OPT_SHRINK_TO_FIT;
  wnd.resize(640, 480);
  wnd.UpdateScrollBars();
  EXPECT_FALSE(wnd.OnScroll(SB_PAGERIGHT | (SB_PAGEDOWN << 8), 0));
  QWheelEvent ev(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                 Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(&wnd, &ev);
  EXPECT_EQ(wnd.GetScrollPos(SB_HORZ), 0);
  EXPECT_EQ(wnd.GetScrollPos(SB_VERT), 0);
}

TEST_F(ScrollWindowTest, PictureIsDrawnShiftedByTheScrollPosition) {
  const int fw = 1024, fh = 768;
  SizedScrollWnd wnd(fw, fh);
  wnd.resize(300, 200);
  wnd.UpdateScrollBars();
  const TestDib dib = MakeDib(fw, fh, 32, false, Quadrants(fw, fh));
  wnd.m_dib.Attach(dib.Info(), dib.bits.data());
  wnd.m_bHasFrame = true;

  auto topLeft = [&] { return wnd.grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(0, 0); };
  EXPECT_EQ(topLeft(), kTopLeft);
  wnd.OnScroll(SB_THUMBTRACK | (0xFFu << 8), 600);  // past the middle column
  EXPECT_EQ(topLeft(), kTopRight);
  wnd.OnScroll(0xFF | (SB_THUMBTRACK << 8), 250);   // still above the middle row (384)
  EXPECT_EQ(topLeft(), kTopRight);
  wnd.OnScroll(0xFF | (SB_BOTTOM << 8), 0);
  EXPECT_EQ(topLeft(), kBottomRight);
}

}  // namespace
