// Device-independent bitmap records as stored in AVI 'strf' chunks and
// handed between the file service, the decoders and the painter.
#pragma once

#include "platform/WinTypes.h"

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;

#pragma pack(push, 1)
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // positive: bottom-up rows; negative: top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// A palette entry as the platform's palette objects give it (red first).
struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};
#pragma pack(pop)

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(PALETTEENTRY) == 4);

// Bytes per row of a bitmap: rows are padded to a multiple of 4 bytes.
constexpr std::int64_t DibRowBytes(std::int64_t width, std::int64_t bitCount) {
  return ((width * bitCount + 31) / 32) * 4;
}
