// Arbitrary bytes as a screen-codec frame, at every depth and a range of sizes.
//
// Input: byte 0 picks the depth (bits 0-1: 8, 16, 24, 32), a top-down
// picture (bit 2) and a wider picture (bit 3: width + 256); byte 1 is the
// width - 1, byte 2 (low 6 bits) the height - 1; the rest is the stored
// frame. The frame goes through the decoder twice (the second time with the
// kept inflate buffer) and, as a run stream, straight to the run decoder.
// The bitmap is allocated at its exact size, so any stray write is caught.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/ScreenDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static const WORD kDepths[] = {8, 16, 24, 32};
  const WORD bits = kDepths[data[0] & 3];
  const LONG width = 1 + data[1] + ((data[0] & 8) ? 256 : 0);
  LONG height = 1 + (data[2] & 63);
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
  DecodeRuns(&out, picture.data(), frame, frameSize);
  return 0;
}
