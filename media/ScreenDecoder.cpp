#include "media/ScreenDecoder.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

struct ScreenDecoder {
  BYTE* pInflate;  // calloc'ed; the run stream of the current frame
  std::size_t inflateSize;
  bool bBegun;
};

namespace {

// Larger pictures are refused as absurd rather than attempted (the inflate
// buffer is twice this).
constexpr std::size_t kMaxPictureBytes = std::size_t{512} << 20;

struct Geometry {
  std::size_t width;  // pixels per row
  std::size_t rows;
  std::size_t bpp;    // bytes per pixel
  std::size_t pitch;  // bytes per row, padded to 4
  std::size_t imageBytes;
  std::size_t inflateBytes;
};

bool GetGeometry(const BITMAPINFOHEADER& h, Geometry& g) {
  const unsigned bits = h.biBitCount;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (h.biWidth <= 0 || h.biHeight == 0) return false;
  const std::int64_t rows = h.biHeight < 0 ? -static_cast<std::int64_t>(h.biHeight) : h.biHeight;
  const std::int64_t pitch = DibRowBytes(h.biWidth, bits);
  // The run decoder's row arithmetic is 16-bit.
  if (pitch >= 65536) return false;
  if (rows > static_cast<std::int64_t>(kMaxPictureBytes) / pitch) return false;
  g.width = static_cast<std::size_t>(h.biWidth);
  g.rows = static_cast<std::size_t>(rows);
  g.bpp = bits / 8;
  g.pitch = static_cast<std::size_t>(pitch);
  g.imageBytes = g.pitch * g.rows;
  g.inflateBytes = 2 * g.width * g.rows * g.bpp;
  return true;
}

int Query(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  if (in == nullptr) return ICERR_BADFORMAT;
  Geometry g;
  if (in->biCompression != SCREEN_CODEC_FOURCC || !GetGeometry(*in, g)) return ICERR_BADFORMAT;
  if (out != nullptr && (out->biCompression != BI_RGB || out->biBitCount != in->biBitCount ||
                         out->biWidth != in->biWidth || out->biHeight != in->biHeight))
    return ICERR_BADFORMAT;
  return ICERR_OK;
}

void FreeInflateBuffer(ScreenDecoder* d) {
  std::free(d->pInflate);
  d->pInflate = nullptr;
  d->inflateSize = 0;
}

inline void Store16(BYTE* p, std::uint32_t v) {
  const std::uint16_t h = static_cast<std::uint16_t>(v);
  std::memcpy(p, &h, 2);
}
inline void Store32(BYTE* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
inline void Store64(BYTE* p, std::uint64_t v) { std::memcpy(p, &v, 8); }
inline std::uint64_t Pair(std::uint32_t lo, std::uint32_t hi) { return lo | static_cast<std::uint64_t>(hi) << 32; }

#if defined(__SSE2__)
using Block = __m128i;
inline Block MakeBlock(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3) {
  return _mm_set_epi32(static_cast<int>(w3), static_cast<int>(w2), static_cast<int>(w1), static_cast<int>(w0));
}
inline Block LoadBlock(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const Block*>(p)); }
inline void StoreBlock(BYTE* p, Block v) { _mm_storeu_si128(reinterpret_cast<Block*>(p), v); }
#else
struct Block {
  std::uint64_t lo, hi;
};
inline Block MakeBlock(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3) {
  return {Pair(w0, w1), Pair(w2, w3)};
}
inline Block LoadBlock(const BYTE* p) {
  Block v;
  std::memcpy(&v, p, 16);
  return v;
}
inline void StoreBlock(BYTE* p, Block v) { std::memcpy(p, &v, 16); }
#endif

// Most instructions of a screen picture are short, so the fills and copies
// avoid loops below 16 bytes: two stores that may overlap cover the range.
// Overlapping is sound because the stored pattern is the same at every pixel
// boundary (for 24 bits: at every offset with the same remainder modulo 3).

// n copies of one 8-, 16- or 32-bit pixel whose bytes w repeats.
inline void FillWords(BYTE* p, std::uint32_t w, std::size_t bytes) {
  BYTE* const end = p + bytes;
  if (bytes >= 16) {
    const Block v = MakeBlock(w, w, w, w);
    for (; end - p > 16; p += 16) StoreBlock(p, v);
    StoreBlock(end - 16, v);
  } else if (bytes >= 8) {
    Store64(p, Pair(w, w));
    Store64(end - 8, Pair(w, w));
  } else if (bytes >= 4) {
    Store32(p, w);
    Store32(end - 4, w);
  } else if (bytes >= 2) {
    Store16(p, w);
    Store16(end - 2, w);
  } else {
    *p = static_cast<BYTE>(w);
  }
}

// n copies of one 24-bit pixel. Words from a pixel boundary read bgrb (w0),
// one byte further grbg (w1), two bytes further rbgr (w2).
inline void Fill24(BYTE* p, const BYTE* pixel, std::size_t n) {
  const std::uint32_t b = pixel[0], g = pixel[1], r = pixel[2];
  if (n == 1) {
    Store16(p, b | g << 8);
    p[2] = static_cast<BYTE>(r);
    return;
  }
  const std::uint32_t w0 = b | g << 8 | r << 16 | b << 24;
  const std::uint32_t w1 = g | r << 8 | b << 16 | g << 24;
  const std::uint32_t w2 = r | b << 8 | g << 16 | r << 24;
  const std::size_t bytes = 3 * n;
  // end - 16 and end - 4 lie two bytes past a pixel boundary, end - 8 one byte.
  BYTE* const end = p + bytes;
  if (bytes >= 16) {
    const Block v0 = MakeBlock(w0, w1, w2, w0);
    const Block v1 = MakeBlock(w1, w2, w0, w1);
    const Block v2 = MakeBlock(w2, w0, w1, w2);
    for (; end - p > 48; p += 48) {
      StoreBlock(p, v0);
      StoreBlock(p + 16, v1);
      StoreBlock(p + 32, v2);
    }
    if (end - p > 16) StoreBlock(p, v0);
    if (end - p > 32) StoreBlock(p + 16, v1);
    StoreBlock(end - 16, v2);
  } else if (bytes >= 8) {
    Store64(p, Pair(w0, w1));
    Store64(end - 8, Pair(w1, w2));
  } else {
    Store32(p, w0);
    Store32(end - 4, w2);
  }
}

// Literal pixels (at least 3 bytes).
inline void CopyBytes(BYTE* p, const BYTE* s, std::size_t bytes) {
  if (bytes >= 16) {
    const std::size_t tail = bytes - 16;
    for (std::size_t i = 0; i < tail; i += 16) StoreBlock(p + i, LoadBlock(s + i));
    StoreBlock(p + tail, LoadBlock(s + tail));
  } else if (bytes >= 8) {
    std::uint64_t a, z;
    std::memcpy(&a, s, 8);
    std::memcpy(&z, s + bytes - 8, 8);
    Store64(p, a);
    Store64(p + bytes - 8, z);
  } else if (bytes >= 4) {
    std::uint32_t a, z;
    std::memcpy(&a, s, 4);
    std::memcpy(&z, s + bytes - 4, 4);
    Store32(p, a);
    Store32(p + bytes - 4, z);
  } else {
    p[0] = s[0], p[1] = s[1], p[2] = s[2];
  }
}

template <std::size_t B>
inline void FillPixels(BYTE* p, const BYTE* pixel, std::size_t n) {
  if constexpr (B == 1) {
    FillWords(p, 0x01010101u * pixel[0], n);
  } else if constexpr (B == 2) {
    FillWords(p, (pixel[0] | (static_cast<std::uint32_t>(pixel[1]) << 8)) * 0x00010001u, 2 * n);
  } else if constexpr (B == 3) {
    Fill24(p, pixel, n);
  } else {
    std::uint32_t w;
    std::memcpy(&w, pixel, 4);
    FillWords(p, w, 4 * n);
  }
}

// Every instruction is checked against the stream's end and the bitmap before
// it writes; the first one that fails ends the frame (what was written stays).
// Invariants: row <= rows, col <= width, and while row < rows the write
// position rowStart + col * B lies inside the bitmap.
template <std::size_t B>
void Decode(BYTE* base, const Geometry& g, const BYTE* s, std::size_t size) {
  const BYTE* const end = s + size;
  const std::size_t rows = g.rows;
  std::size_t row = 0;
  std::size_t col = 0;
  // Pixels that may still be written in this row: width, or 0 above the top.
  std::size_t limit = g.width;
  BYTE* rowStart = base;
  while (end - s >= 2) {
    const std::size_t a = s[0];
    const std::size_t b = s[1];
    if (a != 0) {
      if constexpr (B > 1) {
        if (static_cast<std::size_t>(end - s) < 1 + B) return;
      }
      if (col + a > limit) return;
      FillPixels<B>(rowStart + col * B, s + 1, a);
      col += a;
      s += B == 1 ? 2 : 1 + B;
      continue;
    }
    if (b >= 3) {
      const std::size_t bytes = b * B;
      const std::size_t length = 2 + bytes + (B == 1 ? (b & 1) : 0);
      if (static_cast<std::size_t>(end - s) < length || col + b > limit) return;
      CopyBytes(rowStart + col * B, s + 2, bytes);
      col += b;
      s += length;
      continue;
    }
    if (b == 0) {
      if (row >= rows) return;
      ++row;
      col = 0;
      rowStart += g.pitch;
      limit = row < rows ? g.width : 0;
      s += 2;
    } else if (b == 1) {
      return;
    } else {
      if (end - s < 4) return;
      const std::size_t dx = s[2];
      const std::size_t dy = s[3];
      if (col + dx > g.width || dy > rows - row) return;
      col += dx;
      row += dy;
      rowStart += dy * g.pitch;
      limit = row < rows ? g.width : 0;
      s += 4;
    }
  }
}

}  // namespace

ScreenDecoder* ScreenDecoderCreate() { return static_cast<ScreenDecoder*>(std::calloc(1, sizeof(ScreenDecoder))); }

void ScreenDecoderFree(ScreenDecoder* d) {
  if (d == nullptr) return;
  FreeInflateBuffer(d);
  std::free(d);
}

int ScreenDecoderQuery(ScreenDecoder*, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  return Query(in, out);
}

int ScreenDecoderBegin(ScreenDecoder* d, const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
  if (d == nullptr || out == nullptr) return ICERR_BADFORMAT;
  const int result = Query(in, out);
  if (result != ICERR_OK) return result;
  d->bBegun = true;
  if (out->biSizeImage == 0) {
    Geometry g;
    GetGeometry(*out, g);
    out->biSizeImage = static_cast<DWORD>(g.imageBytes);
  }
  FreeInflateBuffer(d);
  return ICERR_OK;
}

int ScreenDecoderDecompress(ScreenDecoder* d, const BITMAPINFOHEADER* in, const void* inData,
                            const BITMAPINFOHEADER* out, void* outData) {
  if (d == nullptr || in == nullptr || out == nullptr || outData == nullptr) return ICERR_BADFORMAT;
  if (!d->bBegun && Query(in, out) != ICERR_OK) return ICERR_BADFORMAT;
  // Even after a begin, the output written to is the one given now.
  Geometry g;
  if (!GetGeometry(*out, g)) return ICERR_BADFORMAT;
  const std::size_t stored = in->biSizeImage;
  if (stored != 0 && inData == nullptr) return ICERR_BADFORMAT;

  if (d->pInflate == nullptr || d->inflateSize != g.inflateBytes) {
    FreeInflateBuffer(d);
    d->pInflate = static_cast<BYTE*>(std::calloc(g.inflateBytes, 1));
    if (d->pInflate == nullptr) return ICERR_INTERNAL;
    d->inflateSize = g.inflateBytes;
  }

  const BYTE* runs = static_cast<const BYTE*>(inData);
  std::size_t runsSize = stored;
  if (stored > 10) {
    uLongf inflated = d->inflateSize;
    if (uncompress(d->pInflate, &inflated, runs, static_cast<uLong>(stored)) != Z_OK) return ICERR_INTERNAL;
    runs = d->pInflate;
    runsSize = inflated;
  }
  DecodeRuns(out, outData, runs, runsSize);
  return ICERR_OK;
}

int ScreenDecoderEnd(ScreenDecoder* d) {
  if (d == nullptr) return ICERR_OK;
  FreeInflateBuffer(d);
  d->bBegun = false;
  return ICERR_OK;
}

void DecodeRuns(const BITMAPINFOHEADER* out, void* outData, const BYTE* runs, std::size_t runsSize) {
  Geometry g;
  if (out == nullptr || outData == nullptr || runs == nullptr || !GetGeometry(*out, g)) return;
  BYTE* base = static_cast<BYTE*>(outData);
  switch (g.bpp) {
    case 1: Decode<1>(base, g, runs, runsSize); break;
    case 2: Decode<2>(base, g, runs, runsSize); break;
    case 3: Decode<3>(base, g, runs, runsSize); break;
    case 4: Decode<4>(base, g, runs, runsSize); break;
  }
}
