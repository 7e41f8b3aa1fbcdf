#include <gtest/gtest.h>

#include <cstring>
#include <atomic>
#include <fstream>
#include <thread>
#include <set>
#include <string>
#include <vector>

#include "media/WYXAviFile.h"
#include "platform/HalftonePalette.h"
#include "res/StringTable.h"
#include "tests/media/MovieFiles.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/OpenDmlWriter.h"
#include "tests/support/ScreenEncoder.h"
#include "tests/support/ScreenPictures.h"

using namespace moviefiles;

namespace {

using Picture = std::vector<std::uint8_t>;

// Screen-codec frames for a stream: pictures[i] is what frame i shows.
// Frames in `keys` are key frames, `empty` ones are stored with 0 bytes (no
// change) and `damaged` ones hold bytes that are not a zlib stream.
struct ScreenFrames {
  int width = 16, height = 8, bits = 24;
  int count = 0;
  std::set<int> keys{0}, empty, damaged;
  std::vector<Picture> pictures;

  void AddTo(AviWriter& w, int stream, int from = 0, int to = -1) {
    if (to < 0) to = count;
    ScreenEncoder enc(width, height, bits);
    if (pictures.empty()) {
      Picture p = MakeScreenPicture(width, height, bits, 1);
      for (int i = 0; i < count; ++i) {
        if (i > 0 && !empty.count(i)) ChangeScreenPicture(p, width, height, bits, 0.2, 100 + i);
        pictures.push_back(p);
      }
    }
    for (int i = from; i < to; ++i) {
      if (empty.count(i)) {
        w.AddFrame(stream, {}, false);
      } else if (damaged.count(i)) {
        w.AddFrame(stream, std::vector<BYTE>(40, 0x5A), keys.count(i) != 0);
      } else if (keys.count(i)) {
        w.AddFrame(stream, enc.EncodeKey(pictures[i].data()), true);
      } else {
        w.AddFrame(stream, enc.EncodeDelta(pictures[i].data(), pictures[i - 1].data()), false);
      }
    }
  }
  AviStreamSpec Spec(std::span<const RGBQUAD> palette = {}) const {
    return AviStreamSpec::Video(kWyxc, width, height, static_cast<WORD>(bits), 15, 1, palette);
  }
};

// The picture a fetch gave, or an empty one.
Picture Bits(const BITMAPINFOHEADER* h, const BYTE* bits) {
  if (!h || !bits) return {};
  return Picture(bits, bits + DibRowBytes(h->biWidth, h->biBitCount) * std::abs(h->biHeight));
}

LONG TimeOf(const WYXAviFile& f, LONG sample) { return AVIStreamSampleToTime(f.GetVideoStream(0), sample); }

struct Fetch {
  bool changed;
  Picture picture;
  LONG last;
};

Fetch FetchAt(WYXAviFile& f, LONG time, LONG last, bool keyFramesOnly = false) {
  BITMAPINFOHEADER* h = nullptr;
  BYTE* bits = nullptr;
  const bool changed = f.GetVideoFrame(0, time, &h, &bits, &last, keyFramesOnly);
  EXPECT_EQ(h == nullptr, bits == nullptr);
  return {changed, Bits(h, bits), last};
}

}  // namespace

TEST(AviFileOpen, FailuresAreShownWithTheirReason) {
  TempPath garbage("garbage"), truncated("truncated"), textOnly("text");
  {
    std::ofstream(garbage.str()) << "this is not a movie at all, just some text";
    AviWriter w;
    ScreenFrames frames;
    frames.count = 2;
    frames.AddTo(w, w.AddStream(frames.Spec()));
    ASSERT_TRUE(w.Write(truncated.str()));
    std::filesystem::resize_file(truncated.str(), 60);
    AviWriter t;
    AviStreamSpec text;
    text.fccType = streamtypeTEXT;
    text.format = {1, 2, 3, 4};
    t.AddFrame(t.AddStream(text), std::vector<BYTE>{'h', 'i'});
    ASSERT_TRUE(t.Write(textOnly.str()));
  }
  const std::string missing = testing::TempDir() + "/no-such-movie.avi";
  struct Case {
    std::string path;
    std::string text;
  } cases[] = {
      {missing, "不能打开 " + missing + " (8004406f)\n打开文件时发生一个磁盘错误。"},
      {garbage.str(), "不能打开 " + garbage.str() + " (80044066)\n文件不能读取，包含一个破坏的文件或不支持的格式。"},
      {truncated.str(), "不能打开 " + truncated.str() + " (8004406d)\n读取文件时发生一个磁盘错误。"},
      {textOnly.str(), "不能在文件中打开音频或视频流\r\n" + textOnly.str() + "。\r\n\r\n注意: DV AVI 文件当前不支持。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    MessageBoxRecorder recorder;
    WYXAviFile f;
    EXPECT_FALSE(f.Open(c.path.c_str()));
    EXPECT_FALSE(f.IsOpen());
    ASSERT_EQ(recorder.Messages().size(), 1u);
    EXPECT_EQ(recorder.Messages()[0].text, c.text);
    EXPECT_EQ(recorder.Messages()[0].flags, MB_OK);
  }
}

TEST(AviFileOpen, ShortSoundFormatsAreCompleted) {
  struct Case {
    std::size_t stored;
    WORD bits;
  } cases[] = {{14, 0}, {16, 16}, {18, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    TempPath path("sound");
    AviWriter w;
    const int a = w.AddStream(AviStreamSpec::Pcm(2, 11025, 16, c.stored));
    w.AddSound(a, Bytes(4 * 11025, 3));  // one second
    ASSERT_TRUE(w.Write(path.str()));
    WYXAviFile f;
    ASSERT_TRUE(f.Open(path.c_str()));
    ASSERT_EQ(f.GetAudioStreamCount(), 1);
    EXPECT_EQ(f.GetVideoStreamCount(), 0);
    EXPECT_EQ(f.GetAudioFormatSize(0), 18);
    const WAVEFORMATEX* wf = f.GetAudioFormat(0);
    ASSERT_NE(wf, nullptr);
    EXPECT_EQ(wf->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wf->nChannels, 2);
    EXPECT_EQ(wf->nBlockAlign, 4);
    EXPECT_EQ(wf->wBitsPerSample, c.bits);
    EXPECT_EQ(wf->cbSize, 0);
    EXPECT_EQ(f.GetAudioEndTime(0), 1000);
    EXPECT_EQ(f.GetAudioEndTime(1), 0);
    EXPECT_EQ(f.AudioTimeToSample(0, 500), 5518);  // the last sample starting at 500 ms
    EXPECT_EQ(f.AudioSampleToTime(0, 11025), 1000);
    EXPECT_EQ(f.AudioTimeToSample(1, 500), 0);
    EXPECT_EQ(f.AudioSampleToTime(1, 10), -1);
  }
}

TEST(AviFileOpen, AnnouncedExtraFormatBytesMustBeStored) {
  // cbSize says 100 extra bytes, none are there: users of the format read cbSize bytes.
  TempPath path("cbsize");
  AviStreamSpec spec = AviStreamSpec::Pcm(1, 8000, 8);
  spec.format[16] = 100;
  AviWriter w;
  w.AddSound(w.AddStream(spec), Bytes(800, 1));
  ASSERT_TRUE(w.Write(path.str()));
  WYXAviFile f;
  ASSERT_TRUE(f.Open(path.c_str()));
  EXPECT_EQ(f.GetAudioFormat(0)->cbSize, 0);
}

TEST(AviFileOpen, AtMostFiveStreamsOfEachType) {
  TempPath path("six");
  AviWriter w;
  ScreenFrames frames;
  frames.count = 2;
  for (int s = 0; s < 6; ++s) {
    frames.width = 8 + 4 * s;
    frames.pictures.clear();
    frames.AddTo(w, w.AddStream(frames.Spec()));
  }
  ASSERT_TRUE(w.Write(path.str()));
  WYXAviFile f;
  ASSERT_TRUE(f.Open(path.c_str()));
  ASSERT_EQ(f.GetVideoStreamCount(), 5);
  for (int s = 0; s < 5; ++s) {
    EXPECT_EQ(f.GetVideoFormat(s)->biWidth, 8 + 4 * s);
    EXPECT_TRUE(f.HasBuiltInDecoder(s));
    EXPECT_NE(f.GetColourTable(s), nullptr);
  }
  EXPECT_EQ(f.GetVideoFormat(5), nullptr);
  EXPECT_EQ(f.GetColourTable(5), nullptr);
  // Each stream decodes on its own picture.
  for (int s = 0; s < 5; ++s) {
    ASSERT_TRUE(f.OpenVideoStream(s));
    BITMAPINFOHEADER* h = nullptr;
    BYTE* bits = nullptr;
    LONG last = -1;
    f.GetVideoFrame(s, 0, &h, &bits, &last, false);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->biWidth, 8 + 4 * s);
    EXPECT_EQ(h->biCompression, BI_RGB);
  }
}

TEST(AviFileOpen, MissingDecompressorIsShownWhenPlaybackBegins) {
  TempPath path("nocodec");
  AviWriter w;
  const int v = w.AddStream(AviStreamSpec::Video(MakeFourCC('Q', 'Q', 'Z', 'Z'), 16, 8, 24, 15));
  w.AddFrame(v, Bytes(30, 1));
  ASSERT_TRUE(w.Write(path.str()));
  MessageBoxRecorder recorder;
  WYXAviFile f;
  ASSERT_TRUE(f.Open(path.c_str()));
  EXPECT_FALSE(f.HasBuiltInDecoder(0));
  EXPECT_FALSE(f.OpenVideoStream(0));
  ASSERT_EQ(recorder.Texts().size(), 1u);
  EXPECT_EQ(recorder.Texts()[0], "不能找到匹配的编码 (vids:QQZZ) 减压您的视频流。\r\n您将不能观看电影。");
}

// 60 screen-codec frames: key frames 0 and 40, frame 20 damaged, frame 30 empty.
class ScreenMovie : public testing::Test {
 protected:
  void SetUp() override {
    m_frames.count = 60;
    m_frames.keys = {0, 40};
    m_frames.damaged = {20};
    m_frames.empty = {30};
    AviWriter w;
    m_frames.AddTo(w, w.AddStream(m_frames.Spec()));
    ASSERT_TRUE(w.Write(m_path.str()));
    ASSERT_TRUE(m_file.Open(m_path.c_str()));
    ASSERT_TRUE(m_file.HasBuiltInDecoder(0));
    ASSERT_TRUE(m_file.OpenVideoStream(0));
  }
  const Picture& P(int i) const { return m_frames.pictures[i]; }

  TempPath m_path{"screen"};
  ScreenFrames m_frames;
  WYXAviFile m_file;
};

TEST_F(ScreenMovie, FramesInOrder) {
  EXPECT_EQ(m_file.GetVideoEndTime(0), 4000);
  LONG last = -1;
  for (int i = 0; i < 60; ++i) {
    SCOPED_TRACE(i);
    const Fetch got = FetchAt(m_file, TimeOf(m_file, i), last);
    EXPECT_FALSE(got.changed);
    EXPECT_EQ(got.last, i);
    last = got.last;
    if (i == 30 || (i >= 20 && i < 40)) {
      // The empty frame and everything from the damaged frame to the next key
      // frame give no picture: the window keeps showing what it has.
      EXPECT_TRUE(got.picture.empty());
    } else {
      EXPECT_EQ(got.picture, P(i));
    }
  }
}

TEST_F(ScreenMovie, SameSampleEndTimeAndBeyond) {
  LONG last = 5;
  const Fetch same = FetchAt(m_file, TimeOf(m_file, 5) + 1, last);
  EXPECT_TRUE(same.picture.empty());
  EXPECT_EQ(same.last, 5);
  const Fetch end = FetchAt(m_file, 4000, -1);
  EXPECT_EQ(end.picture, P(59));
  EXPECT_EQ(end.last, 59);
  const Fetch beyond = FetchAt(m_file, 4001, -1);
  EXPECT_TRUE(beyond.picture.empty());
  EXPECT_EQ(beyond.last, -1);
  EXPECT_TRUE(FetchAt(m_file, -1, -1).picture.empty());
}

TEST_F(ScreenMovie, JumpsCatchUpFromTheKeyFrame) {
  struct Case {
    const char* name;
    std::vector<int> before;  // frames fetched first
    int target;
  } cases[] = {
      {"forward past a key frame (decoding from 10 would meet the damaged frame)", {10}, 50},
      {"forward after the key frame", {40, 41, 42, 43, 44, 45}, 50},
      {"backward", {50}, 12},
      {"from nothing", {}, 59},
      {"to a key frame", {5}, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WYXAviFile f;
    ASSERT_TRUE(f.Open(m_path.c_str()));
    ASSERT_TRUE(f.OpenVideoStream(0));
    LONG last = -1;
    for (int b : c.before) last = FetchAt(f, TimeOf(f, b), last).last;
    const Fetch got = FetchAt(f, TimeOf(f, c.target), last);
    EXPECT_EQ(got.picture, P(c.target));
    EXPECT_EQ(got.last, c.target);
  }
}

TEST_F(ScreenMovie, KeyFramesOnly) {
  struct Case {
    const char* name;
    LONG last;
    int target;
    int shown;  // -1: nothing new
    LONG lastAfter;
  } cases[] = {
      {"forward jump shows the key frame before the target", 10, 50, 40, 40},
      {"already past that key frame", 45, 50, -1, 45},
      {"the target is a key frame: the one before it", -1, 40, 0, 0},
      {"behind the key frame before the target", 10, 40, -1, 10},
      {"backward jump", 50, 12, 0, 0},
      {"the next frame is shown as it is", 44, 45, 45, 45},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WYXAviFile f;
    ASSERT_TRUE(f.Open(m_path.c_str()));
    ASSERT_TRUE(f.OpenVideoStream(0));
    LONG last = -1;
    if (c.last >= 0) last = FetchAt(f, TimeOf(f, c.last), -1).last;
    const Fetch got = FetchAt(f, TimeOf(f, c.target), last, true);
    if (c.shown < 0)
      EXPECT_TRUE(got.picture.empty());
    else
      EXPECT_EQ(got.picture, P(c.shown));
    EXPECT_EQ(got.last, c.lastAfter);
  }
}

namespace {

std::vector<RGBQUAD> Greys(int n, int step) {
  std::vector<RGBQUAD> t(n);
  for (int i = 0; i < n; ++i) t[i] = RGBQUAD{static_cast<BYTE>(i * step), static_cast<BYTE>(i * step), static_cast<BYTE>(i * step), 0};
  return t;
}

bool SameColours(const RGBQUAD* a, const std::vector<RGBQUAD>& b, std::size_t n) {
  return std::memcmp(a, b.data(), n * sizeof(RGBQUAD)) == 0;
}

}  // namespace

// 8-bit screen-codec movies: a 256-colour table, and one palette change at
// sample 100 (entries 0-255 become red steps).
class PaletteMovie : public testing::Test {
 protected:
  void Write(bool withChange, int tableSize = 256) {
    m_frames.count = 120;
    m_frames.width = 8;
    m_frames.height = 4;
    m_frames.bits = 8;
    m_frames.keys = {0, 100};
    m_table = Greys(tableSize, 256 / tableSize);
    AviWriter w;
    const int v = w.AddStream(m_frames.Spec(m_table));
    m_frames.AddTo(w, v, 0, 100);
    for (int i = 0; i < 256; ++i) m_change.push_back(PALETTEENTRY{static_cast<BYTE>(i), 0, 0, 0});
    if (withChange) w.AddPaletteChange(v, 0, m_change);
    m_frames.AddTo(w, v, 100, 120);
    ASSERT_TRUE(w.Write(m_path.str()));
    ASSERT_TRUE(m_file.Open(m_path.c_str()));
    ASSERT_TRUE(m_file.OpenVideoStream(0));
  }
  std::vector<RGBQUAD> Changed(std::size_t n) const {
    std::vector<RGBQUAD> t;
    for (std::size_t i = 0; i < n; ++i) t.push_back(RGBQUAD{0, 0, m_change[i].peRed, 0});
    return t;
  }
  // Fetches frame i and returns whether the table changed; checks that the
  // picture's own table and the stream's palette agree.
  bool FetchFrame(int i) {
    BITMAPINFOHEADER* h = nullptr;
    BYTE* bits = nullptr;
    const bool changed = m_file.GetVideoFrame(0, TimeOf(m_file, i), &h, &bits, &m_last, false);
    EXPECT_NE(h, nullptr);
    if (h && changed) {
      const std::size_t n = m_table.size();
      EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(h) + 40, m_file.GetColourTable(0), n * 4), 0);
    }
    return changed;
  }

  TempPath m_path{"palette"};
  ScreenFrames m_frames;
  std::vector<RGBQUAD> m_table;
  std::vector<PALETTEENTRY> m_change;
  WYXAviFile m_file;
  LONG m_last = -1;
};

TEST_F(PaletteMovie, ChangesAreReportedOnceOnEachSide) {
  Write(true);
  struct Step {
    int frame;
    bool changed;
    bool newTable;
  } steps[] = {
      {5, true, false},  {6, false, false}, {99, false, false}, {100, true, true},
      {101, false, true}, {119, false, true}, {3, true, false},   {4, false, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.frame);
    EXPECT_EQ(FetchFrame(s.frame), s.changed);
    EXPECT_TRUE(SameColours(m_file.GetColourTable(0), s.newTable ? Changed(256) : m_table, 256));
  }
}

TEST_F(PaletteMovie, WithoutChangesTheHalftonePaletteStays) {
  Write(false);
  for (int i : {0, 1, 50, 110, 2}) EXPECT_FALSE(FetchFrame(i)) << i;
  const RGBQUAD* t = m_file.GetColourTable(0);
  const PALETTEENTRY* h = HalftonePalette();
  for (int k = 0; k < 256; ++k) {
    EXPECT_EQ(t[k].rgbRed, h[k].peRed);
    EXPECT_EQ(t[k].rgbGreen, h[k].peGreen);
    EXPECT_EQ(t[k].rgbBlue, h[k].peBlue);
  }
}

TEST_F(PaletteMovie, AShortTableTakesOnlyItsOwnEntries) {
  // A 16-colour stream whose change brings 256 entries: the picture's table
  // has room for 16 and the copy stops there.
  Write(true, 16);
  EXPECT_TRUE(FetchFrame(100));
  EXPECT_TRUE(SameColours(m_file.GetColourTable(0), Changed(16), 16));
}

// A screen-codec movie over 1 GiB: frames past 1 GiB and in the AVIX part are
// read through the large-file index, and so is the sound there.
class LargeScreenMovie : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_path = new TempPath("large-screen");
    s_frames = new ScreenFrames();
    s_frames->count = 12;
    s_frames->keys = {0, 8};
    s_sound = new std::vector<BYTE>();
    OpenDmlWriter w;
    const int v = w.AddStream(s_frames->Spec());
    const int a = w.AddStream(AviStreamSpec::Pcm(1, 8000, 16));
    std::vector<BYTE> sound1 = Bytes(300, 1), sound2 = Bytes(500, 2);
    s_frames->AddTo(w, v, 0, 5);
    w.AddSound(a, sound1);
    w.AddHole(1u << 30);
    s_frames->AddTo(w, v, 5, 8);
    w.BeginPart();
    s_frames->AddTo(w, v, 8, 12);
    w.AddSound(a, sound2);
    ASSERT_TRUE(w.Write(s_path->str()));
    s_sound->insert(s_sound->end(), sound1.begin(), sound1.end());
    s_sound->insert(s_sound->end(), sound2.begin(), sound2.end());
  }
  static void TearDownTestSuite() {
    delete s_path;
    delete s_frames;
    delete s_sound;
  }
  static TempPath* s_path;
  static ScreenFrames* s_frames;
  static std::vector<BYTE>* s_sound;
};
TempPath* LargeScreenMovie::s_path = nullptr;
ScreenFrames* LargeScreenMovie::s_frames = nullptr;
std::vector<BYTE>* LargeScreenMovie::s_sound = nullptr;

TEST_F(LargeScreenMovie, EveryFrameDecodes) {
  WYXAviFile f;
  ASSERT_TRUE(f.Open(s_path->c_str()));
  EXPECT_TRUE(f.GetIndexReader().IsActive());
  ASSERT_TRUE(f.OpenVideoStream(0));
  EXPECT_EQ(f.GetVideoEndTime(0), 800);
  LONG last = -1;
  for (int i = 0; i < 12; ++i) {
    const Fetch got = FetchAt(f, TimeOf(f, i), last);
    EXPECT_EQ(got.picture, s_frames->pictures[i]) << i;
    last = got.last;
  }
  // Jumps: the key frame in the AVIX part is found in the large-file index.
  for (int target : {11, 6, 10}) {
    WYXAviFile g;
    ASSERT_TRUE(g.Open(s_path->c_str()));
    ASSERT_TRUE(g.OpenVideoStream(0));
    EXPECT_EQ(FetchAt(g, TimeOf(g, target), -1).picture, s_frames->pictures[target]) << target;
  }
}

TEST_F(LargeScreenMovie, SoundReadsContinueInTheNextPart) {
  WYXAviFile f;
  ASSERT_TRUE(f.Open(s_path->c_str()));
  ASSERT_EQ(f.GetAudioStreamCount(), 1);
  EXPECT_EQ(f.GetAudioEndTime(0), 50);  // 400 samples at 8000 per second
  EXPECT_GT(f.GetAudioReadSize(0), 0);
  std::vector<BYTE> all;
  LONG pos = 0;
  for (int reads = 0; reads < 10; ++reads) {
    std::vector<BYTE> buffer(128);
    LONG size = static_cast<LONG>(buffer.size());
    if (!f.ReadAudio(0, &pos, buffer.data(), &size)) break;
    ASSERT_GT(size, 0);
    all.insert(all.end(), buffer.begin(), buffer.begin() + size);
  }
  EXPECT_EQ(pos, 400);
  EXPECT_EQ(all, *s_sound);
  // A read without a buffer is refused rather than taken for a size query.
  LONG size = 100;
  pos = 0;
  EXPECT_FALSE(f.ReadAudio(0, &pos, nullptr, &size));
  EXPECT_EQ(pos, 0);
}

TEST(AviFileClose, EmptiesEverything) {
  TempPath path("close");
  AviWriter w;
  ScreenFrames frames;
  frames.count = 3;
  frames.AddTo(w, w.AddStream(frames.Spec()));
  w.AddSound(w.AddStream(AviStreamSpec::Pcm(1, 8000, 8)), Bytes(800, 1));
  ASSERT_TRUE(w.Write(path.str()));
  WYXAviFile f;
  ASSERT_TRUE(f.Open(path.c_str()));
  ASSERT_TRUE(f.OpenVideoStream(0));
  EXPECT_TRUE(f.CloseVideoStream(0));
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(f.GetVideoStreamCount(), 0);
  EXPECT_EQ(f.GetAudioStreamCount(), 0);
  EXPECT_EQ(f.GetVideoEndTime(0), 0);
  EXPECT_EQ(f.GetAudioFormat(0), nullptr);
  LONG last = -1;
  BITMAPINFOHEADER* h = reinterpret_cast<BITMAPINFOHEADER*>(1);
  BYTE* bits = reinterpret_cast<BYTE*>(1);
  EXPECT_FALSE(f.GetVideoFrame(0, 0, &h, &bits, &last, false));
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(bits, nullptr);
  LONG pos = 0, size = 10;
  BYTE buffer[10];
  EXPECT_FALSE(f.ReadAudio(0, &pos, buffer, &size));
  // Reopening works on the same object.
  EXPECT_TRUE(f.Open(path.c_str()));
}

TEST_F(LargeScreenMovie, TwoObjectsOnOneFileFromTwoThreads) {
  // The movie window's object fetches pictures while the sound source's
  // object reads sound; each has its own descriptor, index and decoder.
  std::atomic<int> pictureErrors{0}, soundErrors{0};
  std::thread pictures([&] {
    WYXAviFile f;
    if (!f.Open(s_path->c_str()) || !f.OpenVideoStream(0)) {
      ++pictureErrors;
      return;
    }
    for (int round = 0; round < 20; ++round) {
      LONG last = -1;
      for (int i = (round % 2) * 6; i < 12; ++i)
        if (FetchAt(f, TimeOf(f, i), last).picture != s_frames->pictures[i]) ++pictureErrors;
    }
  });
  std::thread sound([&] {
    WYXAviFile f;
    if (!f.Open(s_path->c_str())) {
      ++soundErrors;
      return;
    }
    for (int round = 0; round < 50; ++round) {
      std::vector<BYTE> all;
      LONG pos = 0;
      for (int reads = 0; reads < 10; ++reads) {
        std::vector<BYTE> buffer(96);
        LONG size = static_cast<LONG>(buffer.size());
        if (!f.ReadAudio(0, &pos, buffer.data(), &size)) break;
        all.insert(all.end(), buffer.begin(), buffer.begin() + size);
      }
      if (all != *s_sound) ++soundErrors;
    }
  });
  pictures.join();
  sound.join();
  EXPECT_EQ(pictureErrors, 0);
  EXPECT_EQ(soundErrors, 0);
}
