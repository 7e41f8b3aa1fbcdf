#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/AviFile.h"
#include "tests/platform/AviFileTestUtil.h"

namespace {

class AviFileTest : public ::testing::Test {
 protected:
  AviSession session;
  TempDir dir;
};

AviWriterOptions Idx1(bool write, bool fromFileStart) {
  AviWriterOptions o;
  o.writeIdx1 = write;
  o.idx1FromFileStart = fromFileStart;
  return o;
}

// Video stream 0 with frames of 100 + n bytes; key frames where keys says so.
std::string WriteKeyedMovie(const TempDir& dir, const std::string& name, const std::vector<bool>& keys,
                            AviWriterOptions options = {}) {
  AviWriter w(options);
  const int v = w.AddStream(AviStreamSpec::Video(MakeFourCC('t', 'e', 's', 't'), 8, 8, 24, 15));
  for (std::size_t i = 0; i < keys.size(); ++i) w.AddFrame(v, Payload(static_cast<int>(i), 100 + i), keys[i]);
  const std::string path = dir.File(name);
  EXPECT_TRUE(w.Write(path));
  return path;
}

TEST_F(AviFileTest, SampleTimeConversionRoundsToNearestAndSamplesOwnTheirInterval) {
  struct Case {
    DWORD scale, rate;
    LONG sample, time;
  } cases[] = {
      {1, 15, 1, 67},         {1, 15, 2, 133},          {1, 15, 15, 1000},    {1001, 30000, 1, 33},
      {1001, 30000, 3, 100},  {1, 22050, 11025, 500},   {1, 22050, 11, 0},    {1, 22050, 12, 1},
      {1, 44100, 441000, 10000}, {1, 15, 54000, 3600000}, {1000, 1, 3000, 0x7fffffff},  // 3e9 ms does not fit: clamped
  };
  AviWriter w;
  for (const Case& c : cases) {
    AviStreamSpec s = AviStreamSpec::Video(BI_RGB, 2, 2, 24, c.rate, c.scale);
    w.AddStream(s);
  }
  const std::string path = dir.File("rates.avi");
  ASSERT_TRUE(w.Write(path));
  OpenedAvi avi(path);
  ASSERT_EQ(avi.result, AVIERR_OK);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    PAVISTREAM s = avi.Stream(streamtypeVIDEO, static_cast<LONG>(i));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(AVIStreamSampleToTime(s, c.sample), c.time) << c.scale << "/" << c.rate << " sample " << c.sample;
    // TimeToSample(t) is the sample whose interval holds t.
    for (LONG t : {0, 1, 33, 66, 67, 499, 500, 1000, 99999}) {
      const LONG got = AVIStreamTimeToSample(s, t);
      EXPECT_LE(AVIStreamSampleToTime(s, got), t) << c.scale << "/" << c.rate << " t=" << t;
      EXPECT_GT(AVIStreamSampleToTime(s, got + 1), t) << c.scale << "/" << c.rate << " t=" << t;
    }
  }
  PAVISTREAM fps15 = avi.Stream(streamtypeVIDEO, 0);
  EXPECT_EQ(AVIStreamTimeToSample(fps15, 66), 0);
  EXPECT_EQ(AVIStreamTimeToSample(fps15, 67), 1);
  EXPECT_EQ(AVIStreamTimeToSample(fps15, 133), 2);
}

TEST_F(AviFileTest, ZeroRateGivesNoTimes) {
  AviWriter w;
  w.AddStream(AviStreamSpec::Video(BI_RGB, 2, 2, 24, 0));
  const std::string path = dir.File("zero.avi");
  ASSERT_TRUE(w.Write(path));
  OpenedAvi avi(path);
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM s = avi.Stream(streamtypeVIDEO);
  EXPECT_EQ(AVIStreamSampleToTime(s, 10), -1);
  EXPECT_EQ(AVIStreamTimeToSample(s, 10), -1);
}

TEST_F(AviFileTest, KeyFrameSearchesInEveryIndexLayout) {
  // Samples 0 and 1 are delta frames: nothing before them is a key frame.
  const std::vector<bool> keys = {false, false, true, false, false, true, false};
  struct Layout {
    const char* name;
    AviWriterOptions options;
    bool keysKnown;  // false: without idx1 every sample counts as key
  } layouts[] = {
      {"relative idx1", Idx1(true, false), true},
      {"absolute idx1", Idx1(true, true), true},
      {"no idx1", Idx1(false, false), false},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    OpenedAvi avi(WriteKeyedMovie(dir, "keys.avi", keys, l.options));
    ASSERT_EQ(avi.result, AVIERR_OK);
    PAVISTREAM s = avi.Stream(streamtypeVIDEO);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(AVIStreamLength(s), 7);
    struct Find {
      LONG pos, flags, want, wantUnkeyed;
    } finds[] = {
        {0, FIND_PREV | FIND_KEY, -1, 0}, {1, FIND_PREV | FIND_KEY, -1, 1}, {2, FIND_PREV | FIND_KEY, 2, 2},
        {4, FIND_PREV | FIND_KEY, 2, 4},  {6, FIND_PREV | FIND_KEY, 5, 6},  {-1, FIND_PREV | FIND_KEY, -1, -1},
        {0, FIND_NEXT | FIND_KEY, 2, 0},  {3, FIND_NEXT | FIND_KEY, 5, 3},  {6, FIND_NEXT | FIND_KEY, -1, 6},
        {7, FIND_PREV | FIND_KEY, -1, -1},  // past the index
    };
    for (const Find& f : finds)
      EXPECT_EQ(AVIStreamFindSample(s, f.pos, f.flags), l.keysKnown ? f.want : f.wantUnkeyed)
          << "pos " << f.pos << " flags " << f.flags;
    // Every sample reads back as written.
    for (LONG i = 0; i < 7; ++i) {
      std::vector<BYTE> buf(200);
      LONG bytes = 0, samples = 0;
      ASSERT_EQ(AVIStreamRead(s, i, 1, buf.data(), 200, &bytes, &samples), AVIERR_OK);
      EXPECT_EQ(bytes, 100 + i);
      EXPECT_EQ(samples, 1);
      buf.resize(bytes);
      EXPECT_EQ(buf, Payload(i, 100 + i));
    }
    AVIFILEINFOA info{};
    ASSERT_EQ(AVIFileInfoA(avi.file, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ((info.dwCaps & AVIFILECAPS_ALLKEYFRAMES) != 0, !l.keysKnown);
    EXPECT_EQ(info.dwStreams, 1u);
  }
}

TEST_F(AviFileTest, AllKeyFramesOnlyWhenTheIndexCoversEveryKeyedSample) {
  struct Case {
    const char* name;
    std::vector<bool> keys;
    std::optional<DWORD> length;
    bool want;
  } cases[] = {
      {"all key", {true, true, true}, {}, true},
      {"one delta", {true, false, true}, {}, false},
      {"length beyond the index", {true, true, true}, 10u, false},
  };
  for (const Case& c : cases) {
    AviWriter w;
    AviStreamSpec spec = AviStreamSpec::Video(BI_RGB, 2, 2, 24, 15);
    spec.lengthOverride = c.length;
    const int v = w.AddStream(spec);
    for (bool k : c.keys) w.AddFrame(v, Payload(1, 16), k);
    w.AddFrame(v, {}, false);  // a 0-byte "no change" sample is not a delta frame
    const std::string path = dir.File("caps.avi");
    ASSERT_TRUE(w.Write(path));
    OpenedAvi avi(path);
    ASSERT_EQ(avi.result, AVIERR_OK);
    AVIFILEINFOA info{};
    ASSERT_EQ(AVIFileInfoA(avi.file, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ((info.dwCaps & AVIFILECAPS_ALLKEYFRAMES) != 0, c.want) << c.name;
  }
}

TEST_F(AviFileTest, SamplesPastTheFirstPartsIndexFailButLengthCountsThem) {
  // The header counts 20 samples, the index of this part holds 5.
  AviWriter w;
  AviStreamSpec spec = AviStreamSpec::Video(MakeFourCC('t', 'e', 's', 't'), 8, 8, 24, 15);
  spec.lengthOverride = 20;
  const int v = w.AddStream(spec);
  for (int i = 0; i < 5; ++i) w.AddFrame(v, Payload(i, 50), true);
  const std::string path = dir.File("parts.avi");
  ASSERT_TRUE(w.Write(path));
  OpenedAvi avi(path);
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM s = avi.Stream(streamtypeVIDEO);
  EXPECT_EQ(AVIStreamStart(s), 0);
  EXPECT_EQ(AVIStreamLength(s), 20);
  std::vector<BYTE> buf(100);
  LONG bytes = 7, samples = 7;
  EXPECT_EQ(AVIStreamRead(s, 4, 1, nullptr, 0, &bytes, &samples), AVIERR_OK);
  EXPECT_EQ(bytes, 50);
  for (LONG pos : {5, 12, 19}) {
    EXPECT_LT(AVIStreamRead(s, pos, 1, nullptr, 0, &bytes, &samples), 0) << pos;
    EXPECT_LT(AVIStreamRead(s, pos, 1, buf.data(), 100, &bytes, &samples), 0) << pos;
    EXPECT_EQ(bytes, 0);
    EXPECT_LT(AVIStreamFindSample(s, pos, FIND_PREV | FIND_KEY), 0) << pos;
  }
  EXPECT_EQ(AVIStreamFindSample(s, 4, FIND_PREV | FIND_KEY), 4);
  AVISTREAMINFOA info{};
  ASSERT_EQ(AVIStreamInfoA(s, &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.dwLength, 20u);
}

TEST_F(AviFileTest, VideoReadsAndSizeQueries) {
  OpenedAvi avi(WriteKeyedMovie(dir, "reads.avi", {true, true, true, true}));
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM s = avi.Stream(streamtypeVIDEO);
  struct Case {
    LONG start, count, bufferSize;
    bool buffer;
    HRESULT want;
    LONG bytes, samples;
  } cases[] = {
      {1, 1, 0, false, AVIERR_OK, 101, 1},            // size query
      {1, 2, 0, false, AVIERR_OK, 203, 2},
      {0, AVISTREAMREAD_CONVENIENT, 0, false, AVIERR_OK, 100, 1},
      {1, 2, 1000, true, AVIERR_OK, 203, 2},
      {1, 2, 150, true, AVIERR_OK, 101, 1},           // the second does not fit
      {1, 1, 100, true, AVIERR_BUFFERTOOSMALL, 0, 0},  // the first does not fit
      {3, 5, 1000, true, AVIERR_OK, 103, 1},          // clipped at the end
      {-1, 1, 1000, true, AVIERR_BADPARAM, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> buf(1000);
    LONG bytes = -5, samples = -5;
    const HRESULT hr =
        AVIStreamRead(s, c.start, c.count, c.buffer ? buf.data() : nullptr, c.bufferSize, &bytes, &samples);
    EXPECT_EQ(hr, c.want) << c.start << "+" << c.count << " in " << c.bufferSize;
    EXPECT_EQ(bytes, c.bytes) << c.start << "+" << c.count << " in " << c.bufferSize;
    EXPECT_EQ(samples, c.samples) << c.start << "+" << c.count << " in " << c.bufferSize;
  }
  // Outputs may be left out.
  std::vector<BYTE> buf(200);
  EXPECT_EQ(AVIStreamRead(s, 0, 1, buf.data(), 200, nullptr, nullptr), AVIERR_OK);
}

TEST_F(AviFileTest, FixedSizeSoundReadsRunAcrossChunks) {
  // 16-bit stereo: 4-byte samples in chunks of 10, 0, 5 and 20 samples.
  AviWriter w;
  const int a = w.AddStream(AviStreamSpec::Pcm(2, 8000, 16));
  std::vector<BYTE> all;
  for (int n : {10, 0, 5, 20}) {
    std::vector<BYTE> chunk = Payload(n, static_cast<std::size_t>(n) * 4);
    all.insert(all.end(), chunk.begin(), chunk.end());
    w.AddSound(a, chunk);
  }
  const std::string path = dir.File("sound.avi");
  ASSERT_TRUE(w.Write(path));
  OpenedAvi avi(path);
  ASSERT_EQ(avi.result, AVIERR_OK);
  PAVISTREAM s = avi.Stream(streamtypeAUDIO);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(avi.Stream(streamtypeVIDEO), nullptr);
  EXPECT_EQ(AVIStreamLength(s), 35);
  struct Case {
    LONG start, count, bufferSize;
    HRESULT want;
    LONG samples;
  } cases[] = {
      {0, 35, 1000, AVIERR_OK, 35},
      {8, 10, 1000, AVIERR_OK, 10},                      // 2 + 5 + 3 across three chunks
      {8, AVISTREAMREAD_CONVENIENT, 1000, AVIERR_OK, 2},  // the rest of the first chunk
      {12, AVISTREAMREAD_CONVENIENT, 1000, AVIERR_OK, 3},
      {15, AVISTREAMREAD_CONVENIENT, 1000, AVIERR_OK, 20},
      {0, 35, 30, AVIERR_OK, 7},                         // whole samples that fit
      {0, 35, 3, AVIERR_BUFFERTOOSMALL, 0},
      {30, 10, 1000, AVIERR_OK, 5},                      // clipped at the end
      {35, 1, 1000, AVIERR_NODATA, 0},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> buf(1000);
    LONG bytes = 0, samples = 0;
    EXPECT_EQ(AVIStreamRead(s, c.start, c.count, buf.data(), c.bufferSize, &bytes, &samples), c.want)
        << c.start << "+" << c.count;
    EXPECT_EQ(samples, c.samples) << c.start << "+" << c.count;
    EXPECT_EQ(bytes, c.samples * 4) << c.start << "+" << c.count;
    if (c.samples > 0) {
      EXPECT_EQ(0, std::memcmp(buf.data(), all.data() + c.start * 4, static_cast<std::size_t>(bytes)))
          << c.start << "+" << c.count;
    }
  }
  LONG bytes = 0, samples = 0;
  EXPECT_EQ(AVIStreamRead(s, 0, AVISTREAMREAD_CONVENIENT, nullptr, 0, &bytes, &samples), AVIERR_OK);
  EXPECT_EQ(bytes, 40);
  EXPECT_EQ(AVIStreamRead(s, 3, 100, nullptr, 0, &bytes, &samples), AVIERR_OK);
  EXPECT_EQ(samples, 32);
  // Every sample counts as a key frame.
  EXPECT_EQ(AVIStreamFindSample(s, 17, FIND_PREV | FIND_KEY), 17);
}

TEST_F(AviFileTest, SoundFormatsAreHandedOnAsStored) {
  for (std::size_t size : {14u, 16u, 18u}) {
    AviWriter w;
    const int a = w.AddStream(AviStreamSpec::Pcm(1, 11025, 8, size));
    w.AddSound(a, Payload(1, 100));
    const std::string path = dir.File("fmt.avi");
    ASSERT_TRUE(w.Write(path));
    OpenedAvi avi(path);
    ASSERT_EQ(avi.result, AVIERR_OK);
    PAVISTREAM s = avi.Stream(streamtypeAUDIO);
    LONG formatSize = 0;
    ASSERT_EQ(AVIStreamReadFormat(s, 0, nullptr, &formatSize), AVIERR_OK);
    EXPECT_EQ(formatSize, static_cast<LONG>(size));
    WAVEFORMATEX wf{};
    LONG room = sizeof wf;
    ASSERT_EQ(AVIStreamReadFormat(s, 0, &wf, &room), AVIERR_OK);
    EXPECT_EQ(room, static_cast<LONG>(size));
    EXPECT_EQ(wf.nSamplesPerSec, 11025u);
    EXPECT_EQ(wf.nBlockAlign, 1);
    AVISTREAMINFOA info{};
    ASSERT_EQ(AVIStreamInfoA(s, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccType, streamtypeAUDIO);
    EXPECT_EQ(info.dwSampleSize, 1u);
    EXPECT_EQ(info.dwRate, 11025u);
  }
}

TEST_F(AviFileTest, StreamsAreFoundByTypeInFileOrder) {
  AviWriter w;
  w.AddStream(AviStreamSpec::Pcm(1, 8000, 8));
  AviStreamSpec v0 = AviStreamSpec::Video(BI_RGB, 4, 4, 24, 15);
  v0.name = "first picture";
  w.AddStream(v0);
  w.AddStream(AviStreamSpec::Pcm(2, 8000, 16));
  AviStreamSpec v1 = AviStreamSpec::Video(MakeFourCC('w', 'y', 'x', 'c'), 6, 2, 16, 10);
  v1.name = std::string(100, 'n');
  w.AddStream(v1);
  const std::string path = dir.File("order.avi");
  ASSERT_TRUE(w.Write(path));
  OpenedAvi avi(path);
  ASSERT_EQ(avi.result, AVIERR_OK);
  AVISTREAMINFOA info{};
  ASSERT_EQ(AVIStreamInfoA(avi.Stream(streamtypeVIDEO, 1), &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.fccHandler, MakeFourCC('w', 'y', 'x', 'c'));
  EXPECT_EQ(std::string(info.szName), std::string(63, 'n'));
  EXPECT_EQ(info.rcFrame.right, 6);
  EXPECT_EQ(info.rcFrame.bottom, 2);
  ASSERT_EQ(AVIStreamInfoA(avi.Stream(streamtypeVIDEO, 0), &info, sizeof info), AVIERR_OK);
  EXPECT_STREQ(info.szName, "first picture");
  ASSERT_EQ(AVIStreamInfoA(avi.Stream(streamtypeAUDIO, 1), &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.dwSampleSize, 4u);
  EXPECT_EQ(avi.Stream(streamtypeVIDEO, 2), nullptr);
  EXPECT_EQ(avi.Stream(streamtypeAUDIO, 2), nullptr);
  EXPECT_NE(avi.Stream(0, 3), nullptr);  // any type
}

TEST_F(AviFileTest, PaletteChangesBelongToTheNextSample) {
  // 8-bit, 4-entry table; changes before sample 3 and before sample 5.
  const RGBQUAD table[4] = {{0, 0, 0, 0}, {10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}};
  const PALETTEENTRY change1[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};  // entries 1 and 2
  const PALETTEENTRY change2[1] = {{200, 201, 202, 0}};          // entry 3
  struct Layout {
    const char* name;
    AviWriterOptions options;
  } layouts[] = {{"idx1", Idx1(true, false)}, {"movi walk", Idx1(false, false)}};
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    AviWriter w(l.options);
    const int v = w.AddStream(AviStreamSpec::Video(BI_RGB, 4, 2, 8, 15, 1, table));
    for (int i = 0; i < 8; ++i) {
      if (i == 3) w.AddPaletteChange(v, 1, change1);
      if (i == 5) w.AddPaletteChange(v, 3, change2);
      w.AddFrame(v, Payload(i, 8), true);
    }
    const std::string path = dir.File("pal.avi");
    ASSERT_TRUE(w.Write(path));
    OpenedAvi avi(path);
    ASSERT_EQ(avi.result, AVIERR_OK);
    PAVISTREAM s = avi.Stream(streamtypeVIDEO);
    EXPECT_EQ(AVIStreamLength(s), 8);
    struct Find {
      LONG pos, flags, want;
    } finds[] = {
        {0, FIND_PREV | FIND_FORMAT, -1}, {2, FIND_PREV | FIND_FORMAT, -1}, {3, FIND_PREV | FIND_FORMAT, 3},
        {4, FIND_PREV | FIND_FORMAT, 3},  {7, FIND_PREV | FIND_FORMAT, 5},  {0, FIND_NEXT | FIND_FORMAT, 3},
        {4, FIND_NEXT | FIND_FORMAT, 5},  {6, FIND_NEXT | FIND_FORMAT, -1},
    };
    for (const Find& f : finds)
      EXPECT_EQ(AVIStreamFindSample(s, f.pos, f.flags), f.want) << f.pos << " " << f.flags;
    struct Format {
      LONG pos;
      RGBQUAD want[4];
    } formats[] = {
        {0, {table[0], table[1], table[2], table[3]}},
        {2, {table[0], table[1], table[2], table[3]}},
        {3, {table[0], {3, 2, 1, 0}, {6, 5, 4, 0}, table[3]}},
        {7, {table[0], {3, 2, 1, 0}, {6, 5, 4, 0}, {202, 201, 200, 0}}},
    };
    for (const Format& f : formats) {
      BYTE buf[40 + 16];
      LONG size = sizeof buf;
      ASSERT_EQ(AVIStreamReadFormat(s, f.pos, buf, &size), AVIERR_OK);
      EXPECT_EQ(size, 56);
      EXPECT_EQ(0, std::memcmp(buf + 40, f.want, 16)) << "format at " << f.pos;
    }
    AVISTREAMINFOA info{};
    ASSERT_EQ(AVIStreamInfoA(s, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwFormatChangeCount, 2u);
  }
}

TEST_F(AviFileTest, PaletteChangeAtTheFirstSample) {
  const RGBQUAD table[2] = {{1, 1, 1, 0}, {2, 2, 2, 0}};
  const PALETTEENTRY change[1] = {{9, 8, 7, 0}};
  AviWriter w;
  const int v = w.AddStream(AviStreamSpec::Video(BI_RGB, 4, 1, 8, 15, 1, table));
  w.AddPaletteChange(v, 0, change);
  w.AddFrame(v, Payload(0, 4));
  w.AddFrame(v, Payload(1, 4));
  const std::string path = dir.File("pal0.avi");
  ASSERT_TRUE(w.Write(path));
  OpenedAvi avi(path);
  PAVISTREAM s = avi.Stream(streamtypeVIDEO);
  EXPECT_EQ(AVIStreamFindSample(s, 1, FIND_PREV | FIND_FORMAT), 0);
  EXPECT_EQ(AVIStreamFindSample(s, 0, FIND_NEXT | FIND_FORMAT), 0);
  BYTE buf[48];
  LONG size = 20;  // too small: filled as far as it goes
  EXPECT_EQ(AVIStreamReadFormat(s, 0, buf, &size), AVIERR_BUFFERTOOSMALL);
  EXPECT_EQ(size, 48);
  size = 48;
  ASSERT_EQ(AVIStreamReadFormat(s, 0, buf, &size), AVIERR_OK);
  const RGBQUAD want = {7, 8, 9, 0};
  EXPECT_EQ(0, std::memcmp(buf + 40, &want, 4));
}

TEST_F(AviFileTest, OpenResults) {
  const std::string good = WriteKeyedMovie(dir, "good.avi", {true, true});
  const std::vector<BYTE> bytes = ReadWholeFile(good);
  ASSERT_GT(bytes.size(), 300u);
  auto variant = [&](const std::string& name, std::vector<BYTE> data) {
    WriteWholeFile(dir.File(name), data);
    return dir.File(name);
  };
  auto patched = [&](std::size_t at, const char* four) {
    std::vector<BYTE> v = bytes;
    for (std::size_t i = 0; i < 4; ++i) v.at(at + i) = static_cast<BYTE>(four[i]);
    return v;
  };
  const std::vector<BYTE> wave = patched(8, "WAVE");
  const std::vector<BYTE> noHdrl = patched(20, "xxxx");  // the hdrl list's type
  const std::uint64_t strf = [&] {
    AviWriter w;
    w.AddStream(AviStreamSpec::Video(MakeFourCC('t', 'e', 's', 't'), 8, 8, 24, 15));
    w.Write(dir.File("probe.avi"));
    return w.StreamFormatOffset(0);
  }();
  const std::vector<BYTE> noStrf = patched(strf, "strF");
  std::vector<BYTE> shortFormat = bytes;
  shortFormat[strf + 4] = 20;  // a bitmap header cut to 20 bytes
  std::filesystem::create_directory(dir.File("folder.avi"));

  struct Case {
    const char* name;
    std::string path;
    HRESULT want;
  } cases[] = {
      {"good", good, AVIERR_OK},
      {"missing", dir.File("missing.avi"), AVIERR_FILEOPEN},
      {"folder", dir.File("folder.avi"), AVIERR_FILEOPEN},
      {"empty", variant("empty.avi", {}), AVIERR_FILEREAD},
      {"RIFF header only", variant("riff.avi", {bytes.begin(), bytes.begin() + 8}), AVIERR_FILEREAD},
      {"cut inside hdrl", variant("cut.avi", {bytes.begin(), bytes.begin() + 100}), AVIERR_FILEREAD},
      {"text", variant("text.avi", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'}),
       AVIERR_BADFORMAT},
      {"RIFF WAVE", variant("wave.avi", wave), AVIERR_BADFORMAT},
      {"no hdrl", variant("nohdrl.avi", noHdrl), AVIERR_BADFORMAT},
      {"no strf", variant("nostrf.avi", noStrf), AVIERR_BADFORMAT},
      {"short bitmap header", variant("shortfmt.avi", shortFormat), AVIERR_BADFORMAT},
  };
  for (const Case& c : cases) {
    PAVIFILE f = reinterpret_cast<PAVIFILE>(1);
    EXPECT_EQ(AVIFileOpenA(&f, c.path.c_str(), OF_SHARE_DENY_WRITE, nullptr), c.want) << c.name;
    EXPECT_EQ(f != nullptr, c.want == AVIERR_OK) << c.name;
    if (f) AVIFileRelease(f);
  }
  PAVIFILE f = nullptr;
  EXPECT_EQ(AVIFileOpenA(&f, good.c_str(), OF_WRITE, nullptr), AVIERR_READONLY);
  EXPECT_EQ(f, nullptr);
}

TEST(AviFileService, OpeningNeedsTheServiceAndCountingIsThreadSafe) {
  TempDir dir;
  AviWriter w;
  w.AddStream(AviStreamSpec::Video(BI_RGB, 2, 2, 24, 15));
  ASSERT_TRUE(w.Write(dir.File("a.avi")));
  const std::string path = dir.File("a.avi");
  PAVIFILE f = nullptr;
  EXPECT_EQ(AVIFileOpenA(&f, path.c_str(), OF_SHARE_DENY_WRITE, nullptr), REGDB_E_CLASSNOTREG);

  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 1000; ++i) AVIFileInit();
      for (int i = 0; i < 999; ++i) AVIFileExit();
    });
  for (auto& t : threads) t.join();
  ASSERT_EQ(AVIFileOpenA(&f, path.c_str(), OF_SHARE_DENY_WRITE, nullptr), AVIERR_OK);
  AVIFileRelease(f);
  for (int t = 0; t < 7; ++t) AVIFileExit();
  ASSERT_EQ(AVIFileOpenA(&f, path.c_str(), OF_SHARE_DENY_WRITE, nullptr), AVIERR_OK);  // one left
  AVIFileRelease(f);
  AVIFileExit();
  EXPECT_EQ(AVIFileOpenA(&f, path.c_str(), OF_SHARE_DENY_WRITE, nullptr), REGDB_E_CLASSNOTREG);
  AVIFileExit();  // unpaired: ignored
  AVIFileInit();
  EXPECT_EQ(AVIFileOpenA(&f, path.c_str(), OF_SHARE_DENY_WRITE, nullptr), AVIERR_OK);
  AVIFileRelease(f);
  AVIFileExit();
}

TEST_F(AviFileTest, HandlesOutliveTheirFile) {
  OpenedAvi* avi = new OpenedAvi(WriteKeyedMovie(dir, "life.avi", {true, true}));
  PAVISTREAM s = nullptr;
  ASSERT_EQ(AVIFileGetStream(avi->file, &s, streamtypeVIDEO, 0), AVIERR_OK);
  delete avi;  // releases the file first
  LONG bytes = 0;
  EXPECT_EQ(AVIStreamRead(s, 1, 1, nullptr, 0, &bytes, nullptr), AVIERR_OK);
  EXPECT_EQ(bytes, 101);
  EXPECT_EQ(AVIStreamRelease(s), 0u);
}

}  // namespace
