#include "tests/support/ScreenEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "media/ScreenDecoder.h"

namespace {

void Push(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
  out.insert(out.end(), bytes);
}

void EndOfLine(std::vector<std::uint8_t>& out) { Push(out, {0, 0}); }

// Skips of at most 255 pixels / rows each.
void Skip(std::vector<std::uint8_t>& out, std::size_t dx, std::size_t dy) {
  while (dx > 0 || dy > 0) {
    const std::size_t sx = std::min<std::size_t>(dx, 255);
    const std::size_t sy = std::min<std::size_t>(dy, 255);
    Push(out, {0, 2, static_cast<std::uint8_t>(sx), static_cast<std::uint8_t>(sy)});
    dx -= sx;
    dy -= sy;
  }
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& runs, int level) {
  uLongf size = compressBound(static_cast<uLong>(runs.size()));
  std::vector<std::uint8_t> out(size);
  if (compress2(out.data(), &size, runs.data(), static_cast<uLong>(runs.size()), level) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

}  // namespace

ScreenEncoder::ScreenEncoder(int width, int height, int bitCount)
    : m_nWidth(width), m_nHeight(height), m_nBitCount(bitCount) {
  if (width <= 0 || height == 0 || (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32))
    throw std::invalid_argument("ScreenEncoder: unsupported geometry");
  m_bpp = static_cast<std::size_t>(bitCount / 8);
  m_rows = static_cast<std::size_t>(std::abs(static_cast<long long>(height)));
  m_pitch = static_cast<std::size_t>(DibRowBytes(width, bitCount));
}

// Codes pixels [from, to) of a row: runs where enough equal pixels follow each
// other to pay for the instruction, literals (3-255 pixels) for the rest.
void ScreenEncoder::CodeSpan(std::vector<std::uint8_t>& out, const std::uint8_t* row, std::size_t from,
                             std::size_t to) const {
  const std::size_t b = m_bpp;
  // A run costs 1 + b bytes plus, inside a literal, a new literal header.
  const std::size_t minRun = b == 1 ? 4 : b == 2 ? 3 : 2;
  auto same = [&](std::size_t i, std::size_t j) { return std::memcmp(row + i * b, row + j * b, b) == 0; };
  auto run = [&](std::size_t at, std::size_t n) {
    while (n > 0) {
      const std::size_t k = std::min<std::size_t>(n, 255);
      out.push_back(static_cast<std::uint8_t>(k));
      out.insert(out.end(), row + at * b, row + at * b + (b == 1 ? 1 : b));
      n -= k;
    }
  };
  auto literal = [&](std::size_t at, std::size_t n) {
    while (n > 0) {
      if (n < 3) {
        // Too short for a literal: single-pixel runs (or one run of two).
        if (n == 2 && same(at, at + 1)) {
          run(at, 2);
        } else {
          for (std::size_t i = 0; i < n; ++i) run(at + i, 1);
        }
        return;
      }
      std::size_t k = std::min<std::size_t>(n, 255);
      if (n - k > 0 && n - k < 3) k -= 3;  // keep the tail long enough for a literal
      Push(out, {0, static_cast<std::uint8_t>(k)});
      out.insert(out.end(), row + at * b, row + (at + k) * b);
      if (b == 1 && (k & 1)) out.push_back(0);
      at += k;
      n -= k;
    }
  };

  std::size_t pending = from;  // start of the literal being collected
  std::size_t i = from;
  while (i < to) {
    std::size_t j = i + 1;
    while (j < to && same(i, j)) ++j;
    if (j - i >= minRun) {
      literal(pending, i - pending);
      run(i, j - i);
      pending = j;
    }
    i = j;
  }
  literal(pending, to - pending);
}

std::vector<std::uint8_t> ScreenEncoder::KeyRuns(const std::uint8_t* pixels) const {
  std::vector<std::uint8_t> out;
  for (std::size_t y = 0; y < m_rows; ++y) {
    if (y > 0) EndOfLine(out);
    CodeSpan(out, pixels + y * m_pitch, 0, static_cast<std::size_t>(m_nWidth));
  }
  Push(out, {0, 1});
  return out;
}

std::vector<std::uint8_t> ScreenEncoder::DeltaRuns(const std::uint8_t* pixels, const std::uint8_t* previous) const {
  const std::size_t b = m_bpp;
  const std::size_t width = static_cast<std::size_t>(m_nWidth);
  // Unchanged gaps up to this many pixels are coded rather than skipped: a
  // skip costs 4 bytes and splits the coding around it.
  const std::size_t maxCodedGap = std::max<std::size_t>(1, 6 / b);
  std::vector<std::uint8_t> out;
  std::size_t row = 0, col = 0;  // where the decoder stands
  for (std::size_t y = 0; y < m_rows; ++y) {
    const std::uint8_t* cur = pixels + y * m_pitch;
    const std::uint8_t* old = previous + y * m_pitch;
    auto changed = [&](std::size_t x) { return std::memcmp(cur + x * b, old + x * b, b) != 0; };
    std::size_t x = 0;
    while (x < width) {
      while (x < width && !changed(x)) ++x;
      if (x == width) break;
      // A span of changed pixels, swallowing short unchanged gaps.
      std::size_t end = x + 1;
      for (std::size_t probe = end; probe < width;) {
        if (changed(probe)) {
          end = ++probe;
        } else if (probe - end > maxCodedGap) {
          break;
        } else {
          ++probe;
        }
      }
      if (y > row) {
        if (x < col) {
          EndOfLine(out);
          ++row;
          col = 0;
        }
        Skip(out, x - col, y - row);
      } else {
        Skip(out, x - col, 0);
      }
      CodeSpan(out, cur, x, end);
      row = y;
      col = end;
      x = end;
    }
  }
  Push(out, {0, 1});
  return out;
}

std::vector<std::uint8_t> ScreenEncoder::Store(const std::vector<std::uint8_t>& runs) {
  if (runs.size() <= 10) return runs;
  std::vector<std::uint8_t> stored = Deflate(runs, Z_DEFAULT_COMPRESSION);
  // The decoder only inflates frames longer than 10 bytes; a stored block
  // is always longer.
  if (stored.size() <= 10) stored = Deflate(runs, 0);
  return stored;
}

std::vector<std::uint8_t> ScreenEncoder::EncodeKey(const std::uint8_t* pixels) const { return Store(KeyRuns(pixels)); }

std::vector<std::uint8_t> ScreenEncoder::EncodeDelta(const std::uint8_t* pixels, const std::uint8_t* previous) const {
  return Store(DeltaRuns(pixels, previous));
}

BITMAPINFOHEADER ScreenEncoder::InputFormat(DWORD sizeImage) const {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = m_nWidth;
  h.biHeight = m_nHeight;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(m_nBitCount);
  h.biCompression = SCREEN_CODEC_FOURCC;
  h.biSizeImage = sizeImage;
  return h;
}

BITMAPINFOHEADER ScreenEncoder::OutputFormat() const {
  BITMAPINFOHEADER h = InputFormat(static_cast<DWORD>(ImageBytes()));
  h.biCompression = BI_RGB;
  return h;
}
