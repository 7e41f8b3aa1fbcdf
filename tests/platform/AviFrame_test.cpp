#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/AviFile.h"
#include "tests/platform/AviFileTestUtil.h"

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// A pixel of a returned packed bitmap, y counted from the top.
Rgb PixelAt(const void* packed, LONG formatSize, int x, int y) {
  const auto* base = static_cast<const BYTE*>(packed);
  BITMAPINFOHEADER h;
  std::memcpy(&h, base, sizeof h);
  const BYTE* row = base + formatSize + DibRowBytes(h.biWidth, h.biBitCount) * (h.biHeight - 1 - y);
  switch (h.biBitCount) {
    case 8: {
      RGBQUAD q;
      std::memcpy(&q, base + 40 + 4 * row[x], 4);
      return {q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
    case 16: {
      const int v = row[2 * x] | (row[2 * x + 1] << 8);
      return {((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31};
    }
    case 24:
      return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    case 32:
      return {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
    default:
      return {-1, -1, -1};
  }
}

BITMAPINFOHEADER HeaderOf(const void* packed) {
  BITMAPINFOHEADER h;
  std::memcpy(&h, packed, sizeof h);
  return h;
}

LONG FormatSizeOf(PAVISTREAM s) {
  LONG size = 0;
  AVIStreamReadFormat(s, 0, nullptr, &size);
  return size;
}

struct FrameObject {
  PGETFRAME frame;
  explicit FrameObject(PAVISTREAM s) : frame(AVIStreamGetFrameOpen(s, nullptr)) {}
  ~FrameObject() {
    if (frame) {
      EXPECT_EQ(AVIStreamGetFrameClose(frame), AVIERR_OK);
    }
  }
};

class AviFrameTest : public ::testing::Test {
 protected:
  AviSession session;
  TempDir dir;
};

TEST_F(AviFrameTest, UncompressedFramesComeBackBottomUpWithTheStreamsFormatSize) {
  const RGBQUAD palette[4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}};
  const Rgb black{0, 0, 0}, blue{0, 0, 255}, green{0, 255, 0}, red{255, 0, 0}, white{255, 255, 255};
  struct Case {
    const char* name;
    DWORD compression;
    LONG height;  // 2 rows, negative: stored top-down
    WORD bits;
    std::vector<BYTE> extra;  // after the header: colour table or masks
    std::vector<BYTE> frame;  // as stored, rows from the bottom unless top-down
    WORD wantBits;
    Rgb want[4];  // top-left, top-right, bottom-left, bottom-right
  } cases[] = {
      {"24-bit bottom-up", BI_RGB, 2, 24, {},
       {0, 0, 255, 0, 255, 0, 0, 0, /*top*/ 255, 0, 0, 255, 255, 255, 0, 0}, 24, {blue, white, red, green}},
      {"24-bit top-down", BI_RGB, -2, 24, {},
       {255, 0, 0, 255, 255, 255, 0, 0, /*bottom*/ 0, 0, 255, 0, 255, 0, 0, 0}, 24, {blue, white, red, green}},
      {"24-bit rows left unpadded", BI_RGB, 2, 24, {},
       {0, 0, 255, 0, 255, 0, /*top*/ 255, 0, 0, 255, 255, 255}, 24, {blue, white, red, green}},
      {"32-bit", BI_RGB, 2, 32, {},
       {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0}, 32, {blue, black, red, green}},
      {"16-bit 555", BI_RGB, 2, 16, {}, {0x00, 0x7c, 0xe0, 0x03, 0x1f, 0x00, 0xff, 0x7f}, 16,
       {blue, white, red, green}},
      {"8-bit with its colour table", BI_RGB, 2, 8,
       {std::begin(reinterpret_cast<const BYTE(&)[16]>(palette)), std::end(reinterpret_cast<const BYTE(&)[16]>(palette))},
       {3, 2, 0, 0, 1, 0, 0, 0}, 8, {blue, black, red, green}},
      {"4-bit", BI_RGB, 2, 4,
       {std::begin(reinterpret_cast<const BYTE(&)[16]>(palette)), std::end(reinterpret_cast<const BYTE(&)[16]>(palette))},
       {0x32, 0, 0, 0, 0x10, 0, 0, 0}, 4, {blue, black, red, green}},
      {"8-bit without a table becomes grey 24-bit", BI_RGB, 2, 8, {}, {0, 255, 0, 0, 255, 0, 0, 0}, 24,
       {white, black, black, white}},
      {"16-bit 565 bit fields", BI_BITFIELDS, 2, 16,
       {0x00, 0xf8, 0, 0, 0xe0, 0x07, 0, 0, 0x1f, 0, 0, 0}, {0x00, 0xf8, 0xe0, 0x07, 0x1f, 0x00, 0xff, 0xff}, 24,
       {blue, white, red, green}},
      {"32-bit bit fields", BI_BITFIELDS, 2, 32,
       {0, 0, 0xff, 0, 0, 0xff, 0, 0, 0xff, 0, 0, 0}, {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0}, 32,
       {blue, black, red, green}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AviWriter w;
    AviStreamSpec spec = AviStreamSpec::Video(c.compression, 2, c.height, c.bits, 15);
    spec.format.insert(spec.format.end(), c.extra.begin(), c.extra.end());
    if (c.bits <= 8) reinterpret_cast<BITMAPINFOHEADER*>(spec.format.data())->biClrUsed = static_cast<DWORD>(c.extra.size() / 4);
    const int v = w.AddStream(spec);
    w.AddFrame(v, c.frame);
    const std::string path = dir.File("dib.avi");
    ASSERT_TRUE(w.Write(path));
    OpenedAvi avi(path);
    ASSERT_EQ(avi.result, AVIERR_OK);
    PAVISTREAM s = avi.Stream(streamtypeVIDEO);
    FrameObject fo(s);
    ASSERT_NE(fo.frame, nullptr);
    const void* packed = AVIStreamGetFrame(fo.frame, 0);
    ASSERT_NE(packed, nullptr);
    const BITMAPINFOHEADER h = HeaderOf(packed);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biCompression, BI_RGB);
    EXPECT_EQ(h.biWidth, 2);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biBitCount, c.wantBits);
    EXPECT_EQ(h.biSizeImage, static_cast<DWORD>(DibRowBytes(2, c.wantBits) * 2));
    if (c.wantBits == 4) {
      // Two 4-bit pixels per byte: check the stored indices instead.
      const BYTE* bits = static_cast<const BYTE*>(packed) + FormatSizeOf(s);
      EXPECT_EQ(bits[0], 0x32);
      EXPECT_EQ(bits[4], 0x10);
      continue;
    }
    const Rgb got[4] = {PixelAt(packed, FormatSizeOf(s), 0, 0), PixelAt(packed, FormatSizeOf(s), 1, 0),
                        PixelAt(packed, FormatSizeOf(s), 0, 1), PixelAt(packed, FormatSizeOf(s), 1, 1)};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], c.want[i]) << "pixel " << i;
  }
}

TEST_F(AviFrameTest, EmptySamplesRepeatThePictureAndTheBlockNeverMoves) {
  const RGBQUAD table[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  const PALETTEENTRY toRed[1] = {{255, 0, 0, 0}};
  AviWriter w;
  AviStreamSpec spec = AviStreamSpec::Video(BI_RGB, 4, 1, 8, 15, 1, table);
  spec.lengthOverride = 10;  // more samples than this part holds
  const int v = w.AddStream(spec);
  w.AddFrame(v, {}, false);               // 0: nothing shown yet
  w.AddFrame(v, std::vector<BYTE>{1, 0, 0, 0});            // 1
  w.AddFrame(v, {}, false);               // 2: repeats 1
  w.AddPaletteChange(v, 1, toRed);        // from 3 on, entry 1 is red
  w.AddFrame(v, std::vector<BYTE>{0, 1, 0, 0});            // 3
  const PALETTEENTRY toGreen[1] = {{0, 255, 0, 0}};
  w.AddPaletteChange(v, 0, toGreen);      // from 4 on, entry 0 is green
  w.AddFrame(v, {}, false);               // 4: repeats 3 under the new table
  const std::string path = dir.File("empty.avi");
  ASSERT_TRUE(w.Write(path));
  OpenedAvi avi(path);
  PAVISTREAM s = avi.Stream(streamtypeVIDEO);
  const LONG fs = FormatSizeOf(s);
  EXPECT_EQ(fs, 48);
  FrameObject fo(s);
  ASSERT_NE(fo.frame, nullptr);
  EXPECT_EQ(AVIStreamGetFrame(fo.frame, 0), nullptr);
  void* first = AVIStreamGetFrame(fo.frame, 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(PixelAt(first, fs, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(AVIStreamGetFrame(fo.frame, 2), first);
  EXPECT_EQ(PixelAt(first, fs, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(AVIStreamGetFrame(fo.frame, 3), first);  // same block, new content
  EXPECT_EQ(PixelAt(first, fs, 0, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(PixelAt(first, fs, 1, 0), (Rgb{255, 0, 0}));  // the table in force at sample 3
  EXPECT_EQ(AVIStreamGetFrame(fo.frame, 4), first);
  EXPECT_EQ(PixelAt(first, fs, 0, 0), (Rgb{0, 255, 0}));
  EXPECT_EQ(PixelAt(first, fs, 1, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(AVIStreamGetFrame(fo.frame, 5), nullptr);     // past this part's index
  EXPECT_EQ(AVIStreamGetFrame(fo.frame, -1), nullptr);
  EXPECT_EQ(AVIStreamGetFrame(fo.frame, 1), first);
  EXPECT_EQ(PixelAt(first, fs, 0, 0), (Rgb{255, 255, 255}));  // back before the change: white again
}

TEST_F(AviFrameTest, StreamsWithoutADecompressorGiveNoFrameObject) {
  AviWriter w;
  w.AddStream(AviStreamSpec::Video(MakeFourCC('w', 'y', 'x', 'c'), 4, 4, 16, 15));
  w.AddStream(AviStreamSpec::Video(MakeFourCC('W', 'Y', 'X', 'C'), 4, 4, 16, 15));
  w.AddStream(AviStreamSpec::Video(MakeFourCC('M', 'J', 'P', 'G'), 4, 4, 24, 15, 1, {},
                                   MakeFourCC('w', 'y', 'x', 'c')));
  w.AddStream(AviStreamSpec::Video(MakeFourCC('z', 'q', '9', '!'), 4, 4, 24, 15));
  w.AddStream(AviStreamSpec::Video(BI_RGB, 4, 4, 7, 15));             // no such depth
  w.AddStream(AviStreamSpec::Video(BI_RGB, 100000, 100000, 24, 15));  // far too large
  w.AddStream(AviStreamSpec::Video(MakeFourCC('M', 'J', 'P', 'G'), -4, 4, 24, 15));
  w.AddStream(AviStreamSpec::Pcm(1, 8000, 8));
  const std::string path = dir.File("none.avi");
  ASSERT_TRUE(w.Write(path));
  OpenedAvi avi(path);
  ASSERT_EQ(avi.result, AVIERR_OK);
  for (LONG i = 0; i < 7; ++i) {
    FrameObject fo(avi.Stream(streamtypeVIDEO, i));
    EXPECT_EQ(fo.frame, nullptr) << "video stream " << i;
  }
  FrameObject sound(avi.Stream(streamtypeAUDIO));
  EXPECT_EQ(sound.frame, nullptr);
  EXPECT_EQ(AVIStreamGetFrame(nullptr, 0), nullptr);
}

// Movies made by ffmpeg from its test pattern and a tone, once for the suite.
class FfmpegAviTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 64, kHeight = 48, kFrames = 20;

  static void SetUpTestSuite() {
    s_dir = std::make_unique<TempDir>();
    s_ready = HaveFfmpeg();
    if (!s_ready) return;
    const std::string in =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=2 "
        "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 ";
    const struct {
      const char* name;
      const char* video;
    } movies[] = {
        {"raw", "-c:v rawvideo -pix_fmt bgr24"},
        {"mjpeg", "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p"},
        {"mpeg4", "-c:v mpeg4 -g 6 -bf 0 -q:v 3"},
        {"png8", "-vf format=pal8 -c:v png"},
    };
    for (const auto& m : movies) {
      const std::string avi = s_dir->File(std::string(m.name) + ".avi");
      s_ready = s_ready && RunQuietly(in + m.video + " -c:a pcm_s16le " + avi) &&
                RunQuietly("ffmpeg -v error -y -i " + avi +
                           " -sws_flags bilinear+accurate_rnd+full_chroma_int -f rawvideo -pix_fmt bgr24 " + avi +
                           ".bgr") &&
                RunQuietly("ffmpeg -v error -y -i " + avi + " -f s16le -c:a pcm_s16le " + avi + ".pcm");
    }
  }
  static void TearDownTestSuite() { s_dir.reset(); }

  void SetUp() override {
    if (!s_ready) GTEST_SKIP() << "ffmpeg is not available";
  }

  static std::string Movie(const char* name) { return s_dir->File(std::string(name) + ".avi"); }
  // ffmpeg's own picture of frame n, rows from the top.
  static std::vector<BYTE> Reference(const char* name, int n) {
    const std::vector<BYTE> all = ReadWholeFile(Movie(name) + ".bgr");
    const std::size_t size = kWidth * kHeight * 3;
    if (all.size() < (n + 1) * size) return {};
    return {all.begin() + n * size, all.begin() + (n + 1) * size};
  }
  // Mean and largest channel difference (the reference is converted with the
  // same scaler settings, so chroma edges compare) between a packed 24-bit frame and a reference.
  static std::pair<double, int> Difference(const void* packed, LONG formatSize, const std::vector<BYTE>& ref) {
    double sum = 0;
    int most = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const Rgb p = PixelAt(packed, formatSize, x, y);
        const BYTE* r = &ref[(y * kWidth + x) * 3];
        for (int d : {std::abs(p.b - r[0]), std::abs(p.g - r[1]), std::abs(p.r - r[2])}) {
          sum += d;
          most = std::max(most, d);
        }
      }
    return {sum / (kWidth * kHeight * 3), most};
  }

  AviSession session;
  static inline std::unique_ptr<TempDir> s_dir;
  static inline bool s_ready = false;
};

TEST_F(FfmpegAviTest, RawMovieFramesAndSoundMatchFfmpeg) {
  OpenedAvi avi(Movie("raw"));
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM video = avi.Stream(streamtypeVIDEO);
  PAVISTREAM sound = avi.Stream(streamtypeAUDIO);
  ASSERT_NE(video, nullptr);
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(AVIStreamLength(video), kFrames);
  EXPECT_EQ(AVIStreamSampleToTime(video, kFrames), 2000);
  AVIFILEINFOA info{};
  ASSERT_EQ(AVIFileInfoA(avi.file, &info, sizeof info), AVIERR_OK);
  EXPECT_NE(info.dwCaps & AVIFILECAPS_ALLKEYFRAMES, 0u);
  EXPECT_EQ(info.dwWidth, static_cast<DWORD>(kWidth));

  FrameObject fo(video);
  ASSERT_NE(fo.frame, nullptr);
  for (int n : {0, 7, 19, 3}) {
    const void* packed = AVIStreamGetFrame(fo.frame, n);
    ASSERT_NE(packed, nullptr) << n;
    EXPECT_EQ(HeaderOf(packed).biBitCount, 24);
    const auto [mean, most] = Difference(packed, FormatSizeOf(video), Reference("raw", n));
    EXPECT_EQ(most, 0) << "frame " << n;
  }

  // The whole sound, read in convenient pieces, is what ffmpeg decodes.
  const std::vector<BYTE> pcm = ReadWholeFile(Movie("raw") + ".pcm");
  std::vector<BYTE> got;
  LONG pos = AVIStreamStart(sound);
  const LONG end = pos + AVIStreamLength(sound);
  while (pos < end) {
    LONG need = 0;
    ASSERT_EQ(AVIStreamRead(sound, pos, AVISTREAMREAD_CONVENIENT, nullptr, 0, &need, nullptr), AVIERR_OK);
    std::vector<BYTE> buf(need);
    LONG bytes = 0, samples = 0;
    ASSERT_EQ(AVIStreamRead(sound, pos, AVISTREAMREAD_CONVENIENT, buf.data(), need, &bytes, &samples), AVIERR_OK);
    ASSERT_GT(samples, 0);
    got.insert(got.end(), buf.begin(), buf.begin() + bytes);
    pos += samples;
  }
  EXPECT_EQ(got.size(), pcm.size());
  EXPECT_TRUE(got == pcm);
}

TEST_F(FfmpegAviTest, MjpegFramesAreCloseToFfmpegsPictures) {
  OpenedAvi avi(Movie("mjpeg"));
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM video = avi.Stream(streamtypeVIDEO);
  FrameObject fo(video);
  ASSERT_NE(fo.frame, nullptr);
  for (int n : {0, 1, 12, 5}) {
    const void* packed = AVIStreamGetFrame(fo.frame, n);
    ASSERT_NE(packed, nullptr) << n;
    EXPECT_EQ(HeaderOf(packed).biCompression, BI_RGB);
    EXPECT_EQ(HeaderOf(packed).biHeight, kHeight);
    const auto [mean, most] = Difference(packed, FormatSizeOf(video), Reference("mjpeg", n));
    EXPECT_LT(mean, 3.0) << "frame " << n;
  }
}

TEST_F(FfmpegAviTest, JumpsDecodeFromTheKeyFrameBefore) {
  OpenedAvi avi(Movie("mpeg4"));
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM video = avi.Stream(streamtypeVIDEO);
  AVIFILEINFOA info{};
  ASSERT_EQ(AVIFileInfoA(avi.file, &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.dwCaps & AVIFILECAPS_ALLKEYFRAMES, 0u);
  EXPECT_EQ(AVIStreamFindSample(video, 10, FIND_PREV | FIND_KEY), 6);
  EXPECT_EQ(AVIStreamFindSample(video, 13, FIND_PREV | FIND_KEY), 12);

  // Frames in playing order, then the same frames reached by jumps.
  const LONG fs = FormatSizeOf(video);
  const std::size_t size = fs + DibRowBytes(kWidth, 24) * kHeight;
  std::vector<std::vector<BYTE>> inOrder;
  {
    FrameObject fo(video);
    ASSERT_NE(fo.frame, nullptr);
    for (int n = 0; n < kFrames; ++n) {
      const auto* p = static_cast<const BYTE*>(AVIStreamGetFrame(fo.frame, n));
      ASSERT_NE(p, nullptr) << n;
      inOrder.emplace_back(p, p + size);
      EXPECT_LT(Difference(p, fs, Reference("mpeg4", n)).first, 3.0) << "frame " << n;
    }
  }
  FrameObject fo(video);
  for (int n : {17, 10, 11, 3, 19, 13, 12}) {
    const auto* p = static_cast<const BYTE*>(AVIStreamGetFrame(fo.frame, n));
    ASSERT_NE(p, nullptr) << n;
    EXPECT_TRUE(std::equal(p, p + size, inOrder[n].begin())) << "frame " << n << " reached by a jump";
  }
}

TEST_F(FfmpegAviTest, PalettisedCodecFramesStayEightBit) {
  OpenedAvi avi(Movie("png8"));
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM video = avi.Stream(streamtypeVIDEO);
  const LONG fs = FormatSizeOf(video);
  EXPECT_EQ(fs, 40 + 1024);
  FrameObject fo(video);
  ASSERT_NE(fo.frame, nullptr);
  for (int n : {0, 9, 4}) {
    const void* packed = AVIStreamGetFrame(fo.frame, n);
    ASSERT_NE(packed, nullptr) << n;
    EXPECT_EQ(HeaderOf(packed).biBitCount, 8);
    EXPECT_EQ(HeaderOf(packed).biClrUsed, 256u);
    EXPECT_EQ(Difference(packed, fs, Reference("png8", n)).second, 0) << "frame " << n;
  }
}

// What a reader sees of a whole movie: frames and sound folded into one number each.
std::pair<std::uint64_t, std::uint64_t> Digest(const std::string& path) {
  std::uint64_t frames = 1469598103934665603ull, sound = frames;
  auto fold = [](std::uint64_t& h, const BYTE* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  };
  OpenedAvi avi(path);
  if (avi.result != AVIERR_OK) return {0, 0};
  PAVISTREAM video = avi.Stream(streamtypeVIDEO);
  PAVISTREAM audio = avi.Stream(streamtypeAUDIO);
  const LONG fs = FormatSizeOf(video);
  PGETFRAME frame = AVIStreamGetFrameOpen(video, nullptr);
  for (int round = 0; round < 3; ++round)
    for (LONG n = 0; n < AVIStreamLength(video); ++n) {
      const auto* p = static_cast<const BYTE*>(AVIStreamGetFrame(frame, (n * 7 + round) % AVIStreamLength(video)));
      if (p) fold(frames, p, fs + HeaderOf(p).biSizeImage);
    }
  AVIStreamGetFrameClose(frame);
  std::vector<BYTE> buf(4096);
  for (LONG pos = 0; pos < AVIStreamLength(audio);) {
    LONG bytes = 0, samples = 0;
    if (AVIStreamRead(audio, pos, 1000, buf.data(), 4096, &bytes, &samples) != AVIERR_OK || samples == 0) break;
    fold(sound, buf.data(), bytes);
    pos += samples;
  }
  return {frames, sound};
}

TEST_F(FfmpegAviTest, TwoOpensOfOneFileWorkFromTwoThreadsAtOnce) {
  for (const char* name : {"mpeg4", "raw"}) {
    const auto expected = Digest(Movie(name));
    ASSERT_NE(expected.first, 0u);
    std::pair<std::uint64_t, std::uint64_t> got[2];
    std::thread a([&] { got[0] = Digest(Movie(name)); });
    std::thread b([&] { got[1] = Digest(Movie(name)); });
    a.join();
    b.join();
    EXPECT_EQ(got[0], expected) << name;
    EXPECT_EQ(got[1], expected) << name;
  }
}

}  // namespace
