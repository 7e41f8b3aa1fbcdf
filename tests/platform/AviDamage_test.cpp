// Damaged and crafted files: refused with an error or served as far as they
// go, never a crash or an allocation the file cannot justify.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/AviFile.h"
#include "tests/platform/AviFileTestUtil.h"

namespace {

// Touches everything a player would: every stream, format, sample and frame.
void Exercise(const std::string& path) {
  PAVIFILE file = nullptr;
  if (AVIFileOpenA(&file, path.c_str(), OF_SHARE_DENY_WRITE, nullptr) != AVIERR_OK) {
    EXPECT_EQ(file, nullptr);
    return;
  }
  AVIFILEINFOA fi{};
  EXPECT_EQ(AVIFileInfoA(file, &fi, sizeof fi), AVIERR_OK);
  std::vector<BYTE> buffer(1 << 16);
  for (LONG i = 0;; ++i) {
    PAVISTREAM s = nullptr;
    if (AVIFileGetStream(file, &s, 0, i) != AVIERR_OK) break;
    AVISTREAMINFOA si{};
    EXPECT_EQ(AVIStreamInfoA(s, &si, sizeof si), AVIERR_OK);
    const LONG start = AVIStreamStart(s), length = AVIStreamLength(s);
    EXPECT_GE(length, 0);
    EXPECT_LE(static_cast<std::int64_t>(start) + length, INT32_MAX);
    LONG formatSize = 0;
    EXPECT_EQ(AVIStreamReadFormat(s, start, nullptr, &formatSize), AVIERR_OK);
    std::vector<BYTE> format(static_cast<std::size_t>(formatSize));
    LONG room = formatSize;
    AVIStreamReadFormat(s, start < INT32_MAX - 3 ? start + 3 : start, format.data(), &room);
    AVIStreamSampleToTime(s, static_cast<LONG>(std::min<std::int64_t>(std::int64_t{start} + length, INT32_MAX)));
    AVIStreamTimeToSample(s, INT32_MAX);
    PGETFRAME frame = AVIStreamGetFrameOpen(s, nullptr);
    const std::int64_t last = static_cast<std::int64_t>(start) + std::min<LONG>(length, 40);
    for (std::int64_t wide = static_cast<std::int64_t>(start) - 1; wide <= last; ++wide) {
      const LONG pos = static_cast<LONG>(std::clamp<std::int64_t>(wide, INT32_MIN, INT32_MAX));
      LONG bytes = 0, samples = 0;
      AVIStreamRead(s, pos, 1, nullptr, 0, &bytes, &samples);
      if (AVIStreamRead(s, pos, 7, buffer.data(), static_cast<LONG>(buffer.size()), &bytes, &samples) == AVIERR_OK) {
        EXPECT_LE(bytes, static_cast<LONG>(buffer.size()));
      }
      AVIStreamRead(s, pos, AVISTREAMREAD_CONVENIENT, buffer.data(), static_cast<LONG>(buffer.size()), &bytes,
                    &samples);
      for (LONG flags : {FIND_PREV | FIND_KEY, FIND_NEXT | FIND_KEY, FIND_PREV | FIND_FORMAT,
                         FIND_NEXT | FIND_FORMAT, FIND_PREV | FIND_ANY})
        AVIStreamFindSample(s, pos, flags);
      if (frame) AVIStreamGetFrame(frame, static_cast<LONG>(start + (wide * 5) % (last - start + 1)));
    }
    if (frame) {
      EXPECT_EQ(AVIStreamGetFrameClose(frame), AVIERR_OK);
    }
    AVIStreamRelease(s);
  }
  AVIFileRelease(file);
}

class AviDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const RGBQUAD table[4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}};
    const PALETTEENTRY change[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
    AviWriter w;
    const int v8 = w.AddStream(AviStreamSpec::Video(BI_RGB, 4, 2, 8, 15, 1, table));
    const int a = w.AddStream(AviStreamSpec::Pcm(1, 8000, 16));
    const int v24 = w.AddStream(AviStreamSpec::Video(BI_RGB, 2, -2, 24, 15));
    for (int i = 0; i < 6; ++i) {
      if (i == 2) w.AddPaletteChange(v8, 1, change);
      w.AddFrame(v8, i == 3 ? std::vector<BYTE>{} : Payload(i, 8), i % 3 == 0);
      w.AddSound(a, Payload(i, 40));
      w.AddFrame(v24, Payload(i, 16));
    }
    path = dir.File("good.avi");
    ASSERT_TRUE(w.Write(path));
    bytes = ReadWholeFile(path);
    moviOffset = w.MoviOffset();
    idx1Offset = w.Idx1Offset();
    strhOffset = w.StreamHeaderOffset(0);
    strfOffset = w.StreamFormatOffset(0);
    chunks = w.Chunks();
  }

  std::string Variant(const std::vector<BYTE>& data) {
    const std::string p = dir.File("damaged.avi");
    WriteWholeFile(p, data);
    return p;
  }
  std::vector<BYTE> Patched(std::size_t at, DWORD value) const {
    std::vector<BYTE> v = bytes;
    for (int i = 0; i < 4; ++i) v.at(at + i) = static_cast<BYTE>(value >> (8 * i));
    return v;
  }

  AviSession session;
  TempDir dir;
  std::string path;
  std::vector<BYTE> bytes;
  std::uint64_t moviOffset = 0, idx1Offset = 0, strhOffset = 0, strfOffset = 0;
  std::vector<AviWrittenChunk> chunks;
};

TEST_F(AviDamageTest, EveryTruncationIsRefusedOrServedAsFarAsItGoes) {
  for (std::size_t size = 0; size <= bytes.size(); ++size) {
    SCOPED_TRACE(size);
    Exercise(Variant({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)}));
  }
}

TEST_F(AviDamageTest, EveryDamagedHeaderOrIndexByteIsSurvived) {
  // Each byte of the headers and of the index, set to values that make
  // sizes, counts and offsets large, small or odd.
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const bool header = at < moviOffset + 12, index = at >= idx1Offset;
    if (!header && !index && at % 5 != 0) continue;
    for (BYTE value : {BYTE{0x00}, BYTE{0x7F}, BYTE{0xFF}}) {
      SCOPED_TRACE(::testing::Message() << "byte " << at << " = " << int(value));
      std::vector<BYTE> v = bytes;
      v[at] = value;
      Exercise(Variant(v));
    }
  }
}

TEST_F(AviDamageTest, CraftedSizesAndCounts) {
  const std::size_t strh = strhOffset + 8, strf = strfOffset;
  const std::size_t entry0 = idx1Offset + 8;  // first idx1 entry: video stream 0, sample 0
  const std::size_t entry3 = entry0 + 16 * 3;  // video stream 0, sample 1
  struct Case {
    const char* name;
    std::vector<BYTE> data;
    HRESULT open;
    LONG videoLength;  // -1: not checked
    LONG readable;     // samples of video stream 0 that read, -1: not checked
  } cases[] = {
      {"untouched", bytes, AVIERR_OK, 6, 6},
      {"length 0xFFFFFFFF", Patched(strh + 32, 0xFFFFFFFF), AVIERR_OK,
       static_cast<LONG>(bytes.size() / 8), 6},
      {"start near the top", Patched(strh + 28, 0x7FFFFFFD), AVIERR_OK, 2, -1},
      {"sample 1 far beyond the end", Patched(entry3 + 8, 0x7FFFFFF0), AVIERR_OK, 6, 1},
      {"sample 1 huge", Patched(entry3 + 12, 0xFFFFFFF0), AVIERR_OK, 6, 1},
      {"idx1 longer than the file", Patched(idx1Offset + 4, 0xFFFFFFF0), AVIERR_OK, 6, 6},
      {"idx1 offsets lead nowhere: movi is walked", Patched(entry0 + 8, 0x00FFFFFF), AVIERR_OK, 6, 6},
      {"strf larger than the file", Patched(strf + 4, 0xFFFFFFF0), AVIERR_BADFORMAT, -1, -1},
      {"RIFF size far too large", Patched(4, 0xFFFFFFFF), AVIERR_OK, 6, 6},
      {"RIFF size too small for the headers", Patched(4, 8), AVIERR_BADFORMAT, -1, -1},
      {"hdrl larger than the file", Patched(16, 0x7FFFFFFF), AVIERR_FILEREAD, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedAvi avi(Variant(c.data));
    EXPECT_EQ(avi.result, c.open);
    if (avi.result != AVIERR_OK) continue;
    PAVISTREAM s = avi.Stream(streamtypeVIDEO);
    ASSERT_NE(s, nullptr);
    if (c.videoLength >= 0) {
      EXPECT_EQ(AVIStreamLength(s), c.videoLength);
    }
    if (c.readable >= 0) {
      LONG readable = 0;
      std::vector<BYTE> buf(64);
      for (LONG i = 0; i < 6; ++i) {
        LONG got = 0;
        if (AVIStreamRead(s, AVIStreamStart(s) + i, 1, buf.data(), 64, &got, nullptr) == AVIERR_OK) ++readable;
      }
      EXPECT_EQ(readable, c.readable);
    }
    Exercise(dir.File("damaged.avi"));
  }
}

TEST_F(AviDamageTest, ShortPaletteChangesAndShortFramesAreCutOff) {
  const RGBQUAD table[4] = {{0, 0, 0, 0}, {1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}};
  AviWriter w;
  const int v = w.AddStream(AviStreamSpec::Video(BI_RGB, 4, 2, 8, 15, 1, table));
  w.AddFrame(v, Payload(0, 8));
  // Claims 200 entries from entry 2 on but holds one.
  const BYTE change[8] = {2, 200, 0, 0, 90, 91, 92, 0};
  w.AddRawChunk(AviChunkId(v, kChunkKindPalette), change);
  w.AddFrame(v, Payload(1, 5));  // shorter than a 4x2 picture
  const std::string p = dir.File("short.avi");
  ASSERT_TRUE(w.Write(p));
  OpenedAvi avi(p);
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM s = avi.Stream(streamtypeVIDEO);
  // The raw chunk is not in idx1, so the index keeps one change-less run;
  // without idx1 the walk finds it.
  EXPECT_EQ(AVIStreamFindSample(s, 1, FIND_PREV | FIND_FORMAT), -1);
  PGETFRAME frame = AVIStreamGetFrameOpen(s, nullptr);
  ASSERT_NE(frame, nullptr);
  EXPECT_NE(AVIStreamGetFrame(frame, 0), nullptr);
  EXPECT_EQ(AVIStreamGetFrame(frame, 1), nullptr);
  AVIStreamGetFrameClose(frame);

  std::vector<BYTE> noIdx1 = ReadWholeFile(p);
  std::memcpy(noIdx1.data() + w.Idx1Offset(), "JUNK", 4);
  const std::string q = dir.File("short-walked.avi");
  WriteWholeFile(q, noIdx1);
  OpenedAvi walk(q);
  ASSERT_EQ(walk.result, AVIERR_OK);
  PAVISTREAM ws = walk.Stream(streamtypeVIDEO);
  EXPECT_EQ(AVIStreamFindSample(ws, 1, FIND_PREV | FIND_FORMAT), 1);
  BYTE format[56];
  LONG size = sizeof format;
  ASSERT_EQ(AVIStreamReadFormat(ws, 1, format, &size), AVIERR_OK);
  const RGBQUAD want[4] = {table[0], table[1], {92, 91, 90, 0}, table[3]};
  EXPECT_EQ(0, std::memcmp(format + 40, want, 16));
}

}  // namespace
