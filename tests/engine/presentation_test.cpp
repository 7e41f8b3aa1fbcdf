// Where and how the movie window paints the current frame: scaling, centring,
// the background around the picture, row order and pixel formats, checked on
// the pixels of a grabbed window.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "engine/WYXMovieWnd.h"
#include "engine/WyDIB.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

constexpr COLORREF kBack = RGB(10, 20, 30);
constexpr QRgb kBackRgb = 0xFF0A141E;

QImage GrabWith(WYXMovieWnd& wnd, const TestDib* dib, int cw, int ch) {
  wnd.resize(cw, ch);
  if (dib) {
    wnd.m_dib.Attach(dib->Info(), dib->bits.data());
    wnd.m_bHasFrame = true;
  }
  return wnd.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class PresentationTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureQtApp(); }
};

struct GeometryCase {
  const char* name;
  int w, h;      // frame
  int cw, ch;    // window
  DWORD options;
  int x, y, dw, dh;  // where the picture must land
};

TEST_F(PresentationTest, ScalesCentresAndFillsOnlyAroundThePicture) {
  const GeometryCase cases[] = {
      {"1:1 centred", 640, 480, 800, 600, 0, 80, 60, 640, 480},
      {"shrink to fit", 640, 480, 320, 400, MOVIE_OPT_SHRINK_TO_FIT, 0, 80, 320, 240},
      {"stretch to fit", 320, 240, 1000, 600, MOVIE_OPT_STRETCH_TO_FIT, 100, 0, 800, 600},
      {"shrink leaves small frames alone", 100, 50, 300, 200, MOVIE_OPT_SHRINK_TO_FIT, 100, 75, 100, 50},
      {"stretch leaves large frames alone", 400, 300, 200, 100, MOVIE_OPT_STRETCH_TO_FIT, 0, 0, 400, 300},
      {"larger than the window: top-left, clipped", 400, 300, 200, 100, 0, 0, 0, 400, 300},
      {"centred in one direction only", 300, 100, 200, 300, 0, 0, 100, 300, 100},
  };
  for (const GeometryCase& c : cases) {
    SCOPED_TRACE(c.name);
    WYXMovieWnd wnd;
    wnd.m_crBack = kBack;
    wnd.m_dwOptions = c.options;
    const TestDib dib = MakeDib(c.w, c.h, 32, false, Quadrants(c.w, c.h));
    const QImage img = GrabWith(wnd, &dib, c.cw, c.ch);
    ASSERT_EQ(img.size(), QSize(c.cw, c.ch));
    auto at = [&](int x, int y) -> QRgb {
      return (x >= 0 && y >= 0 && x < c.cw && y < c.ch) ? img.pixel(x, y) : 0;
    };
    // Corners of the picture, just inside.
    const int r = c.x + c.dw - 1, b = c.y + c.dh - 1;
    if (c.x < c.cw && c.y < c.ch) EXPECT_EQ(at(c.x, c.y), kTopLeft);
    if (r < c.cw && c.y < c.ch) EXPECT_EQ(at(r, c.y), kTopRight);
    if (c.x < c.cw && b < c.ch) EXPECT_EQ(at(c.x, b), kBottomLeft);
    if (r < c.cw && b < c.ch) EXPECT_EQ(at(r, b), kBottomRight);
    // Just outside: the background, where the window extends there.
    if (c.x > 0) EXPECT_EQ(at(c.x - 1, c.y), kBackRgb);
    if (c.y > 0) EXPECT_EQ(at(c.x, c.y - 1), kBackRgb);
    if (r + 1 < c.cw) EXPECT_EQ(at(r + 1, std::min(b, c.ch - 1)), kBackRgb);
    if (b + 1 < c.ch) EXPECT_EQ(at(std::min(r, c.cw - 1), b + 1), kBackRgb);
    // The quadrant borders sit where the scale puts them.
    if (c.dw <= c.cw && c.dh <= c.ch) {
      EXPECT_EQ(at(c.x + c.dw / 2 - 2, c.y + 1), kTopLeft);
      EXPECT_EQ(at(c.x + c.dw / 2 + 2, c.y + 1), kTopRight);
    }
  }
}

TEST_F(PresentationTest, WithoutAFrameTheWholeWindowIsBackground) {
  WYXMovieWnd wnd;
  wnd.m_crBack = kBack;
  const QImage img = GrabWith(wnd, nullptr, 200, 150);
  for (QPoint p : {QPoint(0, 0), QPoint(199, 149), QPoint(100, 75)}) EXPECT_EQ(img.pixel(p), kBackRgb);

  // A frame that was attached but is no longer to be shown (after Close).
  const TestDib dib = MakeDib(50, 50, 32, false, Quadrants(50, 50));
  wnd.m_dib.Attach(dib.Info(), dib.bits.data());
  wnd.m_bHasFrame = false;
  const QImage img2 = wnd.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(img2.pixel(100, 75), kBackRgb);
}

struct FormatCase {
  const char* name;
  int bitCount;
  bool topDown;
};

TEST_F(PresentationTest, EveryPixelFormatAndRowOrderIsDrawnUpright) {
  const FormatCase cases[] = {
      {"32-bit bottom-up", 32, false}, {"32-bit top-down", 32, true}, {"24-bit bottom-up", 24, false},
      {"24-bit top-down", 24, true},   {"16-bit RGB555", 16, false},  {"8-bit colour table", 8, false},
      {"8-bit top-down", 8, true},
  };
  // Odd width, so rows carry padding.
  const int w = 37, h = 20;
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    WYXMovieWnd wnd;
    wnd.m_crBack = kBack;
    const TestDib dib = MakeDib(w, h, c.bitCount, c.topDown, Quadrants(w, h),
                                {kTopLeft, kTopRight, kBottomLeft, kBottomRight});
    const QImage img = GrabWith(wnd, &dib, w, h);
    // 16-bit pixels widen 5 bits to 8, so only the top 5 bits are compared.
    auto at = [&](int x, int y) { return img.pixel(x, y) & 0xF8F8F8u; };
    EXPECT_EQ(at(0, 0), kTopLeft & 0xF8F8F8u);
    EXPECT_EQ(at(w - 1, 0), kTopRight & 0xF8F8F8u);
    EXPECT_EQ(at(0, h - 1), kBottomLeft & 0xF8F8F8u);
    EXPECT_EQ(at(w - 1, h - 1), kBottomRight & 0xF8F8F8u);
  }
}

TEST_F(PresentationTest, EightBitFramesTakeTheirOwnColourTable) {
  // Same indices, two colour tables: the picture follows the frame's table.
  const int w = 8, h = 8;
  const TestDib a = MakeDib(w, h, 8, false, [](int, int) { return kTopLeft; }, {kTopLeft});
  TestDib b = a;
  auto* table = reinterpret_cast<RGBQUAD*>(b.header.data() + sizeof(BITMAPINFOHEADER));
  table[0] = RGBQUAD{0x40, 0x80, 0xC0, 0};
  WYXMovieWnd wnd;
  EXPECT_EQ(GrabWith(wnd, &a, w, h).pixel(3, 3), kTopLeft);
  EXPECT_EQ(GrabWith(wnd, &b, w, h).pixel(3, 3), 0xFFC08040u);
}

TEST(WyDIBTest, AttachRecordsTheFrameAndRefusesUnknownHeaders) {
  TestDib dib = MakeDib(7, 5, 24, true, [](int, int) { return 0u; });
  WyDIB d;
  EXPECT_TRUE(d.IsEmpty());
  EXPECT_EQ(d.GetPlanes(), 1u);
  EXPECT_EQ(d.GetBitCount(), 1u);
  EXPECT_TRUE(d.Attach(dib.Info(), dib.bits.data()));
  EXPECT_EQ(d.GetWidth(), 7);
  EXPECT_EQ(d.GetHeight(), 5);  // the top-down sign is not part of the height
  EXPECT_TRUE(d.IsTopDown());
  EXPECT_EQ(d.GetBitCount(), 24u);

  EXPECT_FALSE(d.Attach(nullptr, dib.bits.data()));
  EXPECT_FALSE(d.IsEmpty());  // a null header changes nothing

  auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(dib.header.data());
  bih->biSize = 64;  // neither a core, an info nor a v4 header
  EXPECT_FALSE(d.Attach(dib.Info(), dib.bits.data()));
  EXPECT_TRUE(d.IsEmpty());

  bih->biSize = 40;
  bih->biBitCount = 12;
  EXPECT_FALSE(d.Attach(dib.Info(), dib.bits.data()));  // attached, but cannot be drawn
  QImage target(10, 10, QImage::Format_RGB32);
  target.fill(Qt::black);
  QPainter p(&target);
  EXPECT_EQ(d.Draw(p, 0, 0, 7, 5, 0, 0, 7, 5), 0);
  d.Clear();
  EXPECT_EQ(d.Draw(p, 0, 0, 7, 5, 0, 0, 7, 5), -1);
}

}  // namespace
