#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "media/ScreenDecoder.h"
#include "tests/support/ScreenEncoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

BITMAPINFOHEADER Format(int width, int height, int bits, DWORD compression = BI_RGB) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bits);
  h.biCompression = compression;
  return h;
}

std::size_t ImageBytes(int width, int height, int bits) {
  return static_cast<std::size_t>(DibRowBytes(width, bits)) * static_cast<std::size_t>(height < 0 ? -height : height);
}

// A run stream stored as a frame; always longer than 10 bytes.
Bytes Zlib(const Bytes& runs) {
  uLongf size = compressBound(static_cast<uLong>(runs.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, runs.data(), static_cast<uLong>(runs.size()), 0), Z_OK);
  out.resize(size);
  return out;
}

// Begin, decode one stored frame into `picture`, end; returns the result.
int DecompressFrame(int width, int height, int bits, const Bytes& stored, Bytes& picture) {
  ScreenDecoder* d = ScreenDecoderCreate();
  BITMAPINFOHEADER in = Format(width, height, bits, SCREEN_CODEC_FOURCC);
  BITMAPINFOHEADER out = Format(width, height, bits);
  EXPECT_EQ(ScreenDecoderBegin(d, &in, &out), ICERR_OK);
  in.biSizeImage = static_cast<DWORD>(stored.size());
  const int result = ScreenDecoderDecompress(d, &in, stored.data(), &out, picture.data());
  ScreenDecoderEnd(d);
  ScreenDecoderFree(d);
  return result;
}

std::string Hex(const Bytes& b) {
  std::string s;
  char buf[4];
  for (std::uint8_t v : b) {
    std::snprintf(buf, sizeof buf, "%02x ", v);
    s += buf;
  }
  return s;
}

Bytes Repeat(std::size_t n, std::uint8_t v) { return Bytes(n, v); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Ramp(std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return out;
}

constexpr std::uint8_t U = 0xEE;  // a byte the frame leaves alone

struct RunCase {
  const char* name;
  int width, height, bits;
  Bytes runs;
  Bytes expected;  // the whole bitmap, starting as all U
};

// Decodes each case directly, and stored as the decoder finds it in a file
// (raw up to 10 bytes, zlib beyond): both must give the expected bitmap. The
// bitmap is followed by guard bytes that no instruction may reach.
void CheckRunCases(const std::vector<RunCase>& cases) {
  constexpr std::size_t kGuard = 256;
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.expected.size(), ImageBytes(c.width, c.height, c.bits));
    const Bytes want = Cat({c.expected, Bytes(kGuard, U)});
    Bytes direct(want.size(), U);
    BITMAPINFOHEADER out = Format(c.width, c.height, c.bits);
    DecodeRuns(&out, direct.data(), c.runs.data(), c.runs.size());
    EXPECT_EQ(Hex(direct), Hex(want));

    Bytes framed(want.size(), U);
    EXPECT_EQ(DecompressFrame(c.width, c.height, c.bits, ScreenEncoder::Store(c.runs), framed), ICERR_OK);
    EXPECT_EQ(Hex(framed), Hex(want));
  }
}

}  // namespace

TEST(ScreenDecoderRuns, HandMadeStreamsDecodeToTheirPixels) {
  CheckRunCases({
      {"end of frame alone changes nothing", 4, 2, 8, {0, 1}, Repeat(8, U)},
      {"8-bit literal of 3 is followed by a filler byte", 4, 2, 8,
       {0, 3, 1, 2, 3, 0xFF, 0, 0, 2, 9, 0, 1},
       {1, 2, 3, U, 9, 9, U, U}},
      {"16-bit literal of 3 has no filler", 4, 1, 16,
       {0, 3, 1, 0, 2, 0, 3, 0, 1, 0x34, 0x12, 0, 1},
       {1, 0, 2, 0, 3, 0, 0x34, 0x12}},
      {"16-bit run of odd length", 3, 1, 16, {3, 0x34, 0x12, 0, 1}, {0x34, 0x12, 0x34, 0x12, 0x34, 0x12, U, U}},
      {"24-bit run of 5 keeps the blue-green-red order", 5, 1, 24, {5, 1, 2, 3, 0, 1},
       {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, U}},
      {"24-bit literal", 3, 1, 24, {0, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1}, {1, 2, 3, 4, 5, 6, 7, 8, 9, U, U, U}},
      {"32-bit run and end of line", 2, 2, 32, {1, 1, 2, 3, 4, 0, 0, 2, 5, 6, 7, 8, 0, 1},
       {1, 2, 3, 4, U, U, U, U, 5, 6, 7, 8, 5, 6, 7, 8}},
      {"runs fill the rows bottom-up in memory order", 4, 3, 8, {4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 1},
       {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}},
      {"end of line after a partial row lands at the next row's start", 6, 2, 8, {2, 1, 0, 0, 1, 2, 0, 1},
       {1, 1, U, U, U, U, U, U, 2, U, U, U, U, U, U, U}},
      {"skip right and up, then end of line: start of the row after", 4, 3, 8,
       {0, 2, 2, 1, 1, 5, 0, 0, 1, 6, 0, 1},
       {U, U, U, U, U, U, 5, U, 6, U, U, U}},
      {"skip to the row's end, then end of line", 4, 2, 8, {0, 2, 4, 0, 0, 0, 1, 7, 0, 1}, {U, U, U, U, 7, U, U, U}},
      {"a negative height decodes rows in memory order", 4, -2, 8, {4, 1, 0, 0, 4, 2, 0, 1},
       {1, 1, 1, 1, 2, 2, 2, 2}},
      {"a stream without end of frame ends with the stream", 4, 1, 8, {1, 5}, {5, U, U, U}},
      {"255-run at 8 bits", 255, 1, 8, {255, 7, 0, 1}, Cat({Repeat(255, 7), {U}})},
      {"255-run at 32 bits", 255, 1, 32, {255, 1, 2, 3, 4, 0, 1}, [] {
         Bytes b;
         for (int i = 0; i < 255; ++i) b.insert(b.end(), {1, 2, 3, 4});
         return b;
       }()},
      {"255-literal at 8 bits with filler", 256, 1, 8, Cat({{0, 255}, Ramp(255), {0xFF, 1, 9, 0, 1}}),
       Cat({Ramp(255), {9}})},
      {"255-literal at 16 bits", 255, 1, 16, Cat({{0, 255}, Ramp(510), {0, 1}}), Cat({Ramp(510), {U, U}})},
  });
}

TEST(ScreenDecoderRuns, DamagedStreamsEndTheFrameKeepingWhatWasWritten) {
  CheckRunCases({
      {"run past the row", 4, 2, 8, {2, 1, 3, 2, 1, 3, 0, 1}, {1, 1, U, U, U, U, U, U}},
      {"run of 255 into a short row", 4, 1, 8, {255, 1}, Repeat(4, U)},
      {"literal past the row", 4, 2, 8, {1, 1, 0, 4, 1, 2, 3, 4, 0, 0, 1, 2}, {1, U, U, U, U, U, U, U}},
      {"literal cut off by the stream's end", 8, 1, 8, {1, 1, 0, 6, 1, 2, 3}, {1, U, U, U, U, U, U, U}},
      {"pixel of a run cut off at 32 bits", 2, 1, 32, {1, 1, 2}, Repeat(8, U)},
      {"skip cut off", 4, 1, 8, {1, 3, 0, 2, 1}, {3, U, U, U}},
      {"skip past the row's end", 4, 2, 8, {1, 3, 0, 2, 4, 0, 1, 4}, {3, U, U, U, U, U, U, U}},
      {"skip past the top of the bitmap", 4, 2, 8, {0, 2, 0, 3, 1, 4}, Repeat(8, U)},
      {"skip to just above the top, then a run", 4, 2, 8, {1, 3, 0, 2, 0, 2, 1, 4}, {3, U, U, U, U, U, U, U}},
      {"end of line past the top, then a run", 4, 1, 8, {1, 3, 0, 0, 1, 4, 0, 0, 1, 5}, {3, U, U, U}},
      {"end of lines far beyond the top", 4, 1, 32, Cat({Repeat(20, 0), {1, 1, 1, 1, 1}}), Repeat(16, U)},
  });
}

TEST(ScreenDecoderFrames, StoredSizeDecidesInflation) {
  // 10 bytes are the run stream itself; 11 bytes are always a zlib stream.
  const Bytes runs10 = {1, 1, 1, 2, 1, 3, 1, 4, 0, 1};
  const Bytes runs11 = {1, 1, 1, 2, 1, 3, 1, 4, 0, 1, 0};
  const Bytes want = {1, 2, 3, 4, U, U, U, U};
  Bytes picture(8, U);
  EXPECT_EQ(DecompressFrame(4, 2, 8, runs10, picture), ICERR_OK);
  EXPECT_EQ(picture, want);

  picture.assign(8, U);
  EXPECT_EQ(DecompressFrame(4, 2, 8, runs11, picture), ICERR_INTERNAL);
  EXPECT_EQ(picture, Repeat(8, U));

  picture.assign(8, U);
  EXPECT_EQ(DecompressFrame(4, 2, 8, Zlib(runs11), picture), ICERR_OK);
  EXPECT_EQ(picture, want);
}

TEST(ScreenDecoderFrames, BadZlibFailsWithInternalErrorAndWritesNothing) {
  const Bytes good = Zlib({0, 4, 1, 2, 3, 4, 0, 1});
  struct Case {
    const char* name;
    Bytes stored;
  } cases[] = {
      {"garbage", Bytes{0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0, 0x11, 0x22, 0x33, 0x44}},
      {"truncated", Bytes(good.begin(), good.end() - 3)},
      {"bad checksum", [&] {
         Bytes b = good;
         b.back() ^= 1;
         return b;
       }()},
      // 4 x 2 pixels at 8 bits leave room for 16 inflated bytes.
      {"inflates beyond twice the picture", Zlib(Cat({Repeat(16, 0), {0, 1}}))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes picture(8, U);
    EXPECT_EQ(DecompressFrame(4, 2, 8, c.stored, picture), ICERR_INTERNAL);
    EXPECT_EQ(picture, Repeat(8, U));
  }
  Bytes picture(8, U);
  EXPECT_EQ(DecompressFrame(4, 2, 8, Zlib(Cat({Repeat(14, 0), {0, 1}})), picture), ICERR_OK)
      << "exactly twice the picture fits";
}

TEST(ScreenDecoderFrames, InflateBufferFollowsTheOutputGivenNow) {
  // Begun for a small picture, then handed a larger output: the frame must
  // be inflated into a buffer sized for the larger one.
  ScreenDecoder* d = ScreenDecoderCreate();
  BITMAPINFOHEADER smallIn = Format(4, 1, 8, SCREEN_CODEC_FOURCC);
  BITMAPINFOHEADER smallOut = Format(4, 1, 8);
  ASSERT_EQ(ScreenDecoderBegin(d, &smallIn, &smallOut), ICERR_OK);
  Bytes small(4, U);
  const Bytes tiny = {4, 3, 0, 1};
  smallIn.biSizeImage = 4;
  ASSERT_EQ(ScreenDecoderDecompress(d, &smallIn, tiny.data(), &smallOut, small.data()), ICERR_OK);

  const ScreenEncoder e(64, 64, 32);
  Bytes picture(e.ImageBytes());
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 13 / 7);
  const Bytes stored = e.EncodeKey(picture.data());
  BITMAPINFOHEADER in = e.InputFormat(static_cast<DWORD>(stored.size()));
  BITMAPINFOHEADER out = e.OutputFormat();
  Bytes decoded(e.ImageBytes(), U);
  EXPECT_EQ(ScreenDecoderDecompress(d, &in, stored.data(), &out, decoded.data()), ICERR_OK);
  EXPECT_EQ(decoded, picture);
  ScreenDecoderFree(d);
}

TEST(ScreenDecoderFormats, QueryAcceptsOnlyWyxcAtWholeByteDepthsAndSaneSizes) {
  const DWORD wyxc = SCREEN_CODEC_FOURCC;
  struct Case {
    const char* name;
    BITMAPINFOHEADER in;
    int want;
  } cases[] = {
      {"8 bits", Format(640, 480, 8, wyxc), ICERR_OK},
      {"16 bits", Format(640, 480, 16, wyxc), ICERR_OK},
      {"24 bits", Format(641, 3, 24, wyxc), ICERR_OK},
      {"32 bits", Format(1, 1, 32, wyxc), ICERR_OK},
      {"top-down", Format(640, -480, 32, wyxc), ICERR_OK},
      {"4 bits", Format(640, 480, 4, wyxc), ICERR_BADFORMAT},
      {"12 bits", Format(640, 480, 12, wyxc), ICERR_BADFORMAT},
      {"48 bits", Format(640, 480, 48, wyxc), ICERR_BADFORMAT},
      {"capital WYXC", Format(640, 480, 16, MakeFourCC('W', 'Y', 'X', 'C')), ICERR_BADFORMAT},
      {"uncompressed", Format(640, 480, 16, BI_RGB), ICERR_BADFORMAT},
      {"zero width", Format(0, 480, 16, wyxc), ICERR_BADFORMAT},
      {"negative width", Format(-640, 480, 16, wyxc), ICERR_BADFORMAT},
      {"zero height", Format(640, 0, 16, wyxc), ICERR_BADFORMAT},
      {"8-bit row of 65532 bytes", Format(65532, 2, 8, wyxc), ICERR_OK},
      {"8-bit row of 65536 bytes", Format(65533, 2, 8, wyxc), ICERR_BADFORMAT},
      {"32-bit row of 65532 bytes", Format(16383, 2, 32, wyxc), ICERR_OK},
      {"32-bit row of 65536 bytes", Format(16384, 2, 32, wyxc), ICERR_BADFORMAT},
      {"huge width", Format(INT_MAX, 1, 32, wyxc), ICERR_BADFORMAT},
      {"picture too large to allocate", Format(16383, 1 << 20, 32, wyxc), ICERR_BADFORMAT},
      {"most negative height", Format(4, INT_MIN, 8, wyxc), ICERR_BADFORMAT},
  };
  ScreenDecoder* d = ScreenDecoderCreate();
  ASSERT_NE(d, nullptr);
  for (const Case& c : cases) {
    EXPECT_EQ(ScreenDecoderQuery(d, &c.in, nullptr), c.want) << c.name;
    BITMAPINFOHEADER out = c.in;
    out.biCompression = BI_RGB;
    EXPECT_EQ(ScreenDecoderBegin(d, &c.in, &out), c.want) << c.name;
  }
  EXPECT_EQ(ScreenDecoderQuery(d, nullptr, nullptr), ICERR_BADFORMAT);
  ScreenDecoderFree(d);
}

TEST(ScreenDecoderFormats, OutputMustBeUncompressedWithTheInputsGeometry) {
  const BITMAPINFOHEADER in = Format(320, 200, 16, SCREEN_CODEC_FOURCC);
  struct Case {
    const char* name;
    void (*change)(BITMAPINFOHEADER&);
    int want;
  } cases[] = {
      {"same", [](BITMAPINFOHEADER&) {}, ICERR_OK},
      {"compressed", [](BITMAPINFOHEADER& h) { h.biCompression = SCREEN_CODEC_FOURCC; }, ICERR_BADFORMAT},
      {"other depth", [](BITMAPINFOHEADER& h) { h.biBitCount = 32; }, ICERR_BADFORMAT},
      {"other width", [](BITMAPINFOHEADER& h) { h.biWidth = 321; }, ICERR_BADFORMAT},
      {"flipped height", [](BITMAPINFOHEADER& h) { h.biHeight = -200; }, ICERR_BADFORMAT},
  };
  for (const Case& c : cases) {
    BITMAPINFOHEADER out = Format(320, 200, 16);
    c.change(out);
    EXPECT_EQ(ScreenDecoderQuery(nullptr, &in, &out), c.want) << c.name;
  }
}

TEST(ScreenDecoderFormats, BeginFillsAnEmptyImageSizeOnly) {
  ScreenDecoder* d = ScreenDecoderCreate();
  struct Case {
    int width, height, bits;
    DWORD given, want;
  } cases[] = {
      {5, 3, 24, 0, 48},      // rows of 15 bytes padded to 16
      {5, -3, 8, 0, 24},      // top-down: the absolute height
      {1920, 1080, 32, 0, 1920 * 1080 * 4},
      {5, 3, 24, 1234, 1234},  // kept
  };
  for (const Case& c : cases) {
    BITMAPINFOHEADER in = Format(c.width, c.height, c.bits, SCREEN_CODEC_FOURCC);
    BITMAPINFOHEADER out = Format(c.width, c.height, c.bits);
    out.biSizeImage = c.given;
    EXPECT_EQ(ScreenDecoderBegin(d, &in, &out), ICERR_OK);
    EXPECT_EQ(out.biSizeImage, c.want) << c.width << "x" << c.height << "x" << c.bits;
  }
  ScreenDecoderFree(d);
}

TEST(ScreenDecoderFormats, DecompressChecksFormatsWithoutABegin) {
  ScreenDecoder* d = ScreenDecoderCreate();
  Bytes picture(8, U);
  const Bytes runs = {2, 9, 0, 1};
  BITMAPINFOHEADER in = Format(4, 2, 8, SCREEN_CODEC_FOURCC);
  in.biSizeImage = static_cast<DWORD>(runs.size());
  BITMAPINFOHEADER out = Format(4, 2, 8);

  BITMAPINFOHEADER capitals = in;
  capitals.biCompression = MakeFourCC('W', 'Y', 'X', 'C');
  EXPECT_EQ(ScreenDecoderDecompress(d, &capitals, runs.data(), &out, picture.data()), ICERR_BADFORMAT);
  BITMAPINFOHEADER wider = out;
  wider.biWidth = 8;
  EXPECT_EQ(ScreenDecoderDecompress(d, &in, runs.data(), &wider, picture.data()), ICERR_BADFORMAT);
  EXPECT_EQ(picture, Repeat(8, U));

  EXPECT_EQ(ScreenDecoderDecompress(d, &in, runs.data(), &out, picture.data()), ICERR_OK);
  EXPECT_EQ(picture, (Bytes{9, 9, U, U, U, U, U, U}));

  // After an end the checks apply again.
  EXPECT_EQ(ScreenDecoderBegin(d, &in, &out), ICERR_OK);
  EXPECT_EQ(ScreenDecoderEnd(d), ICERR_OK);
  EXPECT_EQ(ScreenDecoderDecompress(d, &capitals, runs.data(), &out, picture.data()), ICERR_BADFORMAT);
  ScreenDecoderFree(d);
}

TEST(ScreenDecoderFormats, NullArgumentsAreRefused) {
  ScreenDecoder* d = ScreenDecoderCreate();
  Bytes picture(8, U);
  const Bytes runs = {2, 9, 0, 1};
  BITMAPINFOHEADER in = Format(4, 2, 8, SCREEN_CODEC_FOURCC);
  in.biSizeImage = 4;
  BITMAPINFOHEADER out = Format(4, 2, 8);
  EXPECT_EQ(ScreenDecoderBegin(d, &in, nullptr), ICERR_BADFORMAT);
  EXPECT_EQ(ScreenDecoderBegin(d, nullptr, &out), ICERR_BADFORMAT);
  EXPECT_EQ(ScreenDecoderDecompress(d, &in, nullptr, &out, picture.data()), ICERR_BADFORMAT);
  EXPECT_EQ(ScreenDecoderDecompress(d, &in, runs.data(), &out, nullptr), ICERR_BADFORMAT);
  EXPECT_EQ(ScreenDecoderDecompress(nullptr, &in, runs.data(), &out, picture.data()), ICERR_BADFORMAT);
  EXPECT_EQ(picture, Repeat(8, U));
  // The run decoder writes nothing for a depth it has no decoder for.
  BITMAPINFOHEADER four = Format(8, 2, 4);
  DecodeRuns(&four, picture.data(), runs.data(), runs.size());
  EXPECT_EQ(picture, Repeat(8, U));
  ScreenDecoderFree(d);
  ScreenDecoderFree(nullptr);
}
