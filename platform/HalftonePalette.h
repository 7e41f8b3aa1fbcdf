// The 256-colour halftone palette that stands in for a palette-less 8-bit
// picture: the 20 fixed system colours at both ends (0-9 and 246-255), a
// 6 x 6 x 6 colour cube and 20 grey steps in between. One table, shared by
// everything that needs a default palette.
#pragma once

#include "platform/BitmapRecords.h"

constexpr int kHalftonePaletteSize = 256;

// Entries first.. first + count - 1 (clipped to 256) into out; returns the
// number copied, like the platform's palette-entry query.
int GetHalftonePaletteEntries(int first, int count, PALETTEENTRY* out);
const PALETTEENTRY* HalftonePalette();
