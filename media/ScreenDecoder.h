// Decoder of the suite's lossless screen codec ("wyxc" in biCompression).
//
// A stored frame of more than 10 bytes is a zlib stream whose content is the
// run stream; a frame of 10 bytes or less is the run stream itself. The run
// stream draws into the caller's output bitmap (rows padded to 4 bytes,
// starting at the first byte of the bitmap); pixels a frame does not code keep
// their previous values, so the caller keeps one bitmap from a key frame on.
//
// Run stream instructions (pixels as they lie in memory: 1, 2, 3 or 4 bytes):
//   n (1-255), pixel       n copies of the pixel
//   0, 0                   end of line: continue at the start of the next row
//   0, 1                   end of frame
//   0, 2, dx, dy           skip dx pixels to the right and dy rows up
//   0, n (3-255), n pixels literal pixels; at 8 bits an odd n is followed by a
//                          filler byte
//
// Untrusted input: formats are refused (ICERR_BADFORMAT) unless the bit count
// is 8, 16, 24 or 32, the width is positive, the height non-zero (a negative,
// top-down height decodes with its absolute value, rows in memory order as
// always), a row is shorter than 65536 bytes and the picture is small enough
// to allocate. A run stream is damaged when an instruction is cut off by the
// end of the stream, would run past the end of its row, or would leave the
// bitmap; decoding then abandons the rest of the frame and keeps the pixels
// already written (the decompression still reports success, the frame simply
// shows what was decodable). A run stream that ends without an end-of-frame
// ends the frame. A damaged zlib stream, or one whose content is larger than
// 2 x width x height x bytes per pixel, fails with ICERR_INTERNAL.
#pragma once

#include <cstddef>

#include "platform/BitmapRecords.h"

struct ScreenDecoder;  // opaque decoder instance

constexpr int ICERR_OK = 0, ICERR_BADFORMAT = -2, ICERR_INTERNAL = -4;

// biCompression of a screen-codec stream, compared as four bytes (case matters).
constexpr FOURCC SCREEN_CODEC_FOURCC = MakeFourCC('w', 'y', 'x', 'c');

// A zero-filled instance, or null when out of memory.
ScreenDecoder* ScreenDecoderCreate();
// Frees the instance and its buffers; null is accepted.
void ScreenDecoderFree(ScreenDecoder* d);
// ICERR_OK when the decoder takes `in` (and, when given, produces `out`: BI_RGB
// with the input's bit count, width and height); else ICERR_BADFORMAT.
int ScreenDecoderQuery(ScreenDecoder* d, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out /*nullable*/);
// Query, then start a sequence of frames; fills out->biSizeImage when it is 0.
int ScreenDecoderBegin(ScreenDecoder* d, const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out);
// Decodes one stored frame of in->biSizeImage bytes at inData into outData,
// which must hold DibRowBytes(width, bits) * |height| bytes of `out`'s geometry.
// The inflate buffer is kept from frame to frame until End or the next Begin.
int ScreenDecoderDecompress(ScreenDecoder* d, const BITMAPINFOHEADER* in, const void* inData, const BITMAPINFOHEADER* out, void* outData);
// Frees the inflate buffer and ends the sequence.
int ScreenDecoderEnd(ScreenDecoder* d);

// The run decoder; runs/runsSize is the (inflated) run stream; outData holds
// |biHeight| rows of the pitch. Writes nothing for a format the decoder refuses.
void DecodeRuns(const BITMAPINFOHEADER* out, void* outData, const BYTE* runs, std::size_t runsSize);
