#include <gtest/gtest.h>

#include <optional>

#include "app/InitialPlacement.h"

namespace {

CPlayerConfig Settings(int x, int y, BOOL posPercent, int w, int h, BOOL sizePercent) {
  CPlayerConfig c;
  c.m_nPosX = x;
  c.m_nPosY = y;
  c.m_bPosPercent = posPercent;
  c.m_nWidth = w;
  c.m_nHeight = h;
  c.m_bSizePercent = sizePercent;
  return c;
}

}  // namespace

TEST(InitialPlacement, Cases) {
  const RECT wa{0, 0, 1280, 1024};
  const RECT r{440, 362, 840, 662};  // 400 x 300, centred
  struct Case {
    const char* what;
    CPlayerConfig s;
    RECT workArea;
    std::optional<RECT> want;
  } cases[] = {
      {"/P10,10 /Z640,480", Settings(10, 10, FALSE, 640, 480, FALSE), wa, RECT{10, 10, 650, 490}},
      {"/P50%,50%", Settings(50, 50, TRUE, -1, -1, FALSE), wa, RECT{640, 512, 1040, 812}},
      {"/P120%,10% /Z640,480", Settings(120, 10, TRUE, 640, 480, FALSE), wa, std::nullopt},
      {"/P10%,100%", Settings(10, 100, TRUE, -1, -1, FALSE), wa, std::nullopt},
      {"/P2000,10", Settings(2000, 10, FALSE, -1, -1, FALSE), wa, std::nullopt},
      {"/P10,1024", Settings(10, 1024, FALSE, -1, -1, FALSE), wa, std::nullopt},
      {"/P-20,10", Settings(-20, 10, FALSE, -1, -1, FALSE), wa, RECT{-20, 10, 380, 310}},
      {"/P1279,10", Settings(1279, 10, FALSE, -1, -1, FALSE), wa, RECT{1279, 10, 1679, 310}},
      {"/P1280,10", Settings(1280, 10, FALSE, -1, -1, FALSE), wa, std::nullopt},
      {"/Z50%,50%", Settings(-1, -1, FALSE, 50, 50, TRUE), wa, RECT{440, 362, 1080, 874}},
      {"/Z150%,50%", Settings(-1, -1, FALSE, 150, 50, TRUE), wa, RECT{440, 362, 840, 662}},
      {"/P5,5 /Z150%,50%", Settings(5, 5, FALSE, 150, 50, TRUE), wa, RECT{5, 5, 405, 305}},
      {"/P5,5 /Z33%,33%", Settings(5, 5, FALSE, 33, 33, TRUE), wa, RECT{5, 5, 427, 342}},  // 422.4, 337.92
      {"/Z640,480", Settings(-1, -1, FALSE, 640, 480, FALSE), wa, RECT{440, 362, 1080, 842}},
      {"none", Settings(-1, -1, FALSE, -1, -1, FALSE), wa, std::nullopt},
      {"only x", Settings(10, -1, FALSE, -1, -1, FALSE), wa, std::nullopt},
      // Per cent of the work area's far edges from the screen origin, not of its size.
      {"/P50%,50% offset area", Settings(50, 50, TRUE, -1, -1, FALSE), RECT{100, 40, 1380, 1064}, RECT{690, 532, 1090, 832}},
      {"/Z50%,50% offset area", Settings(-1, -1, FALSE, 50, 50, TRUE), RECT{100, 40, 1380, 1064}, RECT{440, 362, 1080, 874}},
      // Absurd sizes saturate instead of wrapping around.
      {"/P10,10 /Z2147483647,5", Settings(10, 10, FALSE, 2147483647, 5, FALSE), wa, RECT{10, 10, 2147483647, 15}},
  };
  for (const Case& k : cases) {
    const std::optional<RECT> got = ComputeInitialPlacement(k.s, r, k.workArea);
    ASSERT_EQ(got.has_value(), k.want.has_value()) << k.what;
    if (got) {
      EXPECT_EQ(got->left, k.want->left) << k.what;
      EXPECT_EQ(got->top, k.want->top) << k.what;
      EXPECT_EQ(got->right, k.want->right) << k.what;
      EXPECT_EQ(got->bottom, k.want->bottom) << k.what;
    }
  }
}
