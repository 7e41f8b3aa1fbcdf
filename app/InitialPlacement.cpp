#include "app/InitialPlacement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr double kLongMin = std::numeric_limits<LONG>::min();
constexpr double kLongMax = std::numeric_limits<LONG>::max();

// x per cent of n, computed in double and truncated toward zero (saturated,
// so absurd switch values cannot overflow).
LONG Percent(int x, LONG n) { return static_cast<LONG>(std::clamp(x / 100.0 * n, kLongMin, kLongMax)); }

// Edges far outside any screen saturate instead of wrapping around.
LONG Add(LONG a, LONG b) {
  const std::int64_t sum = static_cast<std::int64_t>(a) + b;
  return static_cast<LONG>(std::clamp<std::int64_t>(sum, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()));
}

SIZE SizeFor(const CPlayerConfig& s, const RECT& r, const RECT& wa) {
  SIZE size{Add(r.right, -r.left), Add(r.bottom, -r.top)};
  if (s.m_nWidth == -1 || s.m_nHeight == -1) return size;
  if (!s.m_bSizePercent) return SIZE{s.m_nWidth, s.m_nHeight};
  if (s.m_nWidth < 100 && s.m_nHeight < 100) return SIZE{Percent(s.m_nWidth, Add(wa.right, -wa.left)), Percent(s.m_nHeight, Add(wa.bottom, -wa.top))};
  return size;
}

}  // namespace

std::optional<RECT> ComputeInitialPlacement(const CPlayerConfig& s, const RECT& r, const RECT& wa) {
  if (s.m_nPosX != -1 && s.m_nPosY != -1) {
    const SIZE size = SizeFor(s, r, wa);
    LONG left, top;
    if (s.m_bPosPercent) {
      if (s.m_nPosX >= 100 || s.m_nPosY >= 100) return std::nullopt;
      // Percentages of the work area's far edges, measured from the screen origin.
      left = Percent(s.m_nPosX, wa.right);
      top = Percent(s.m_nPosY, wa.bottom);
    } else {
      if (s.m_nPosY >= wa.bottom || s.m_nPosX >= wa.right) return std::nullopt;
      left = s.m_nPosX;
      top = s.m_nPosY;
    }
    return RECT{left, top, Add(left, size.cx), Add(top, size.cy)};
  }
  if (s.m_nWidth != -1 && s.m_nHeight != -1) {
    const SIZE size = SizeFor(s, r, wa);
    return RECT{r.left, r.top, Add(r.left, size.cx), Add(r.top, size.cy)};
  }
  return std::nullopt;
}
