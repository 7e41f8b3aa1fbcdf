// Bitmap resources by id, as the bytes of a Windows bitmap file (file header,
// info header, colour table, rows bottom-up).
#pragma once

#include <span>

// An empty span for an unknown id.
std::span<const unsigned char> LoadBitmapResource(unsigned id);
