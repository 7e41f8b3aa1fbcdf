// Arbitrary bytes as a screen-codec frame, at every depth and a range of sizes.
//
// Input: byte 0 picks the depth (bits 0-1: 8, 16, 24, 32), a top-down
// picture (bit 2) and a wider picture (bit 3: width + 256); byte 1 is the
// width - 1, byte 2 (low 5 bits) the height - 1; the rest is the stored
// frame. The frame goes through the decoder twice (the second time with the
// kept inflate buffer) and, as a run stream, straight to the run decoder.
// The bitmap is allocated at its exact size, so any stray write is caught,
// and the run decoder's result is compared with a plain pixel-by-pixel
// decoder of the same rules (the real one writes in words and blocks).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/ScreenDecoder.h"

namespace {

// Instruction by instruction, byte by byte; stops at the first instruction
// that is cut off or leaves its row or the bitmap.
void ReferenceDecode(const BITMAPINFOHEADER& h, std::uint8_t* picture, const std::uint8_t* s, std::size_t n) {
  const std::size_t width = static_cast<std::size_t>(h.biWidth);
  const std::size_t rows = static_cast<std::size_t>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
  const std::size_t bpp = h.biBitCount / 8;
  const std::size_t pitch = static_cast<std::size_t>(DibRowBytes(h.biWidth, h.biBitCount));
  std::size_t i = 0, row = 0, col = 0;
  auto at = [&](std::size_t x, std::size_t byte) -> std::uint8_t& { return picture[row * pitch + x * bpp + byte]; };
  while (n - i >= 2) {
    const std::size_t a = s[i], b = s[i + 1];
    if (a != 0) {
      const std::size_t length = bpp == 1 ? 2 : 1 + bpp;
      if (i + length > n || row >= rows || col + a > width) return;
      for (std::size_t k = 0; k < a; ++k)
        for (std::size_t j = 0; j < bpp; ++j) at(col + k, j) = s[i + 1 + j];
      col += a;
      i += length;
    } else if (b == 0) {
      if (row >= rows) return;
      ++row;
      col = 0;
      i += 2;
    } else if (b == 1) {
      return;
    } else if (b == 2) {
      if (i + 4 > n) return;
      const std::size_t dx = s[i + 2], dy = s[i + 3];
      if (col + dx > width || row + dy > rows) return;
      col += dx;
      row += dy;
      i += 4;
    } else {
      const std::size_t length = 2 + b * bpp + (bpp == 1 ? (b & 1) : 0);
      if (i + length > n || row >= rows || col + b > width) return;
      for (std::size_t k = 0; k < b * bpp; ++k) at(col, 0 + k) = s[i + 2 + k];
      col += b;
      i += length;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static const WORD kDepths[] = {8, 16, 24, 32};
  const WORD bits = kDepths[data[0] & 3];
  const LONG width = 1 + data[1] + ((data[0] & 8) ? 256 : 0);
  LONG height = 1 + (data[2] & 31);
  if (data[0] & 4) height = -height;
  const std::uint8_t* frame = data + 3;
  const std::size_t frameSize = size - 3;

  BITMAPINFOHEADER in{};
  in.biSize = sizeof in;
  in.biWidth = width;
  in.biHeight = height;
  in.biPlanes = 1;
  in.biBitCount = bits;
  in.biCompression = SCREEN_CODEC_FOURCC;
  BITMAPINFOHEADER out = in;
  out.biCompression = BI_RGB;

  std::vector<std::uint8_t> picture(static_cast<std::size_t>(DibRowBytes(width, bits)) *
                                    static_cast<std::size_t>(height < 0 ? -height : height));
  ScreenDecoder* d = ScreenDecoderCreate();
  if (d == nullptr) return 0;
  if (ScreenDecoderBegin(d, &in, &out) == ICERR_OK) {
    in.biSizeImage = static_cast<DWORD>(frameSize);
    for (int i = 0; i < 2; ++i) {
      const int result = ScreenDecoderDecompress(d, &in, frame, &out, picture.data());
      if (result != ICERR_OK && result != ICERR_INTERNAL) __builtin_trap();
    }
    ScreenDecoderEnd(d);
  }
  ScreenDecoderFree(d);

  std::fill(picture.begin(), picture.end(), 0xA5);
  std::vector<std::uint8_t> expected = picture;
  DecodeRuns(&out, picture.data(), frame, frameSize);
  ReferenceDecode(out, expected.data(), frame, frameSize);
  if (picture != expected) __builtin_trap();
  return 0;
}
