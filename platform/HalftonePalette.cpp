#include "platform/HalftonePalette.h"

#include <algorithm>
#include <array>

namespace {

constexpr PALETTEENTRY E(BYTE r, BYTE g, BYTE b) { return PALETTEENTRY{r, g, b, 0}; }

constexpr std::array<PALETTEENTRY, kHalftonePaletteSize> MakeTable() {
  std::array<PALETTEENTRY, kHalftonePaletteSize> t{};
  // The system's reserved colours: the first ten and the last ten entries.
  constexpr PALETTEENTRY low[10] = {E(0, 0, 0),     E(128, 0, 0),   E(0, 128, 0),     E(128, 128, 0),
                                    E(0, 0, 128),   E(128, 0, 128), E(0, 128, 128),   E(192, 192, 192),
                                    E(192, 220, 192), E(166, 202, 240)};
  constexpr PALETTEENTRY high[10] = {E(255, 251, 240), E(160, 160, 164), E(128, 128, 128), E(255, 0, 0),
                                     E(0, 255, 0),     E(255, 255, 0),   E(0, 0, 255),     E(255, 0, 255),
                                     E(0, 255, 255),   E(255, 255, 255)};
  for (int i = 0; i < 10; ++i) {
    t[i] = low[i];
    t[246 + i] = high[i];
  }
  int n = 10;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        t[n++] = E(static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51));
  // Greys between the cube's steps (multiples of 51 are already in the cube).
  for (int k = 1; n < 246; ++k) {
    if (k % 5 == 0) continue;
    const BYTE v = static_cast<BYTE>(k * 255 / 25);
    t[n++] = E(v, v, v);
  }
  return t;
}

constexpr std::array<PALETTEENTRY, kHalftonePaletteSize> kTable = MakeTable();

}  // namespace

const PALETTEENTRY* HalftonePalette() { return kTable.data(); }

int GetHalftonePaletteEntries(int first, int count, PALETTEENTRY* out) {
  if (!out || first < 0 || count <= 0 || first >= kHalftonePaletteSize) return 0;
  const int n = std::min(count, kHalftonePaletteSize - first);
  std::copy_n(kTable.begin() + first, n, out);
  return n;
}
