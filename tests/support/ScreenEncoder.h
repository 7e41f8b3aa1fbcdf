// Encoder of the screen codec ("wyxc"), for fixtures: test movies, the demo
// movie and benchmarks. Output decodes with media/ScreenDecoder.h.
//
// Pictures are DIBs as the decoder writes them: rows in memory order (for a
// positive height the first row is the bottom line), each row padded to a
// multiple of 4 bytes (Pitch()), pixels of 1 (palette index), 2 (16-bit,
// little-endian), 3 (blue, green, red) or 4 bytes. Padding bytes are ignored.
//
// EncodeKey codes every pixel; EncodeDelta codes only the pixels that differ
// from `previous` and skips the rest (a delta with no change is the 2-byte
// end-of-frame 0, 1). Rows are coded as runs where at least a few equal pixels
// follow each other and as literals otherwise. The returned stored frame is
// the run stream itself when that is 10 bytes or less, else its zlib stream
// (always longer than 10 bytes, so the decoder inflates it).
//
// Limitation of the format: the decoder's inflate buffer holds
// 2 x width x height x bytes per pixel, so pictures narrower than 4 pixels at
// 8 bits (2 pixels at 16 bits) cannot always be coded once they have a few
// rows; the encoder still returns the stream, which the decoder refuses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/BitmapRecords.h"

class ScreenEncoder {
 public:
  // bitCount: 8, 16, 24 or 32; width > 0; height != 0 (its sign only goes
  // into the formats: rows are coded in memory order either way).
  ScreenEncoder(int width, int height, int bitCount);

  int Width() const { return m_nWidth; }
  int Height() const { return m_nHeight; }
  int BitCount() const { return m_nBitCount; }
  std::size_t Pitch() const { return m_pitch; }
  std::size_t ImageBytes() const { return m_pitch * m_rows; }  // size of one picture

  // Stored frames.
  std::vector<std::uint8_t> EncodeKey(const std::uint8_t* pixels) const;
  std::vector<std::uint8_t> EncodeDelta(const std::uint8_t* pixels, const std::uint8_t* previous) const;

  // The bare run streams behind EncodeKey / EncodeDelta.
  std::vector<std::uint8_t> KeyRuns(const std::uint8_t* pixels) const;
  std::vector<std::uint8_t> DeltaRuns(const std::uint8_t* pixels, const std::uint8_t* previous) const;

  // A run stream as it is stored: unchanged up to 10 bytes, else zlib.
  static std::vector<std::uint8_t> Store(const std::vector<std::uint8_t>& runs);

  // The stream format ("wyxc", biSizeImage = sizeImage) and the decoder's
  // output format (BI_RGB, biSizeImage = ImageBytes()).
  BITMAPINFOHEADER InputFormat(DWORD sizeImage = 0) const;
  BITMAPINFOHEADER OutputFormat() const;

 private:
  void CodeSpan(std::vector<std::uint8_t>& out, const std::uint8_t* row, std::size_t from, std::size_t to) const;

  int m_nWidth;
  int m_nHeight;
  int m_nBitCount;
  std::size_t m_bpp;
  std::size_t m_rows;
  std::size_t m_pitch;
};
