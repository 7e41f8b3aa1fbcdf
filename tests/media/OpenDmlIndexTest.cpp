#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "media/WYXAviFile20.h"
#include "tests/media/MovieFiles.h"
#include "tests/support/OpenDmlWriter.h"

using namespace moviefiles;

namespace {

// Video stream 0 ("wyxc" unless told otherwise) with `frames` frames of
// 3 + i bytes, a key frame every fifth.
void AddVideo(OpenDmlWriter& w, int frames, FOURCC handler = kWyxc) {
  const int s = w.AddStream(AviStreamSpec::Video(kWyxc, 16, 8, 24, 15, 1, {}, handler));
  for (int i = 0; i < frames; ++i) w.AddFrame(s, Bytes(3 + i, static_cast<BYTE>(i)), i % 5 == 0);
}

// What Open gave and, when it raised, why.
struct Opened {
  HRESULT hr;
  bool active;
  std::string why;
};

template <typename Reader = AnySizeIndex>
Opened OpenWith(const std::string& path) {
  Reader r;
  const HRESULT hr = r.Open(path.c_str());
  return {hr, r.IsActive(), r.GetLastError()};
}

}  // namespace

TEST(OpenDmlIndex, OnlyFilesLargerThanOneGibibyteAreIndexed) {
  struct Case {
    std::uint64_t size;
    bool active;
  } cases[] = {{1073741824, false}, {1073741825, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    TempPath path("threshold");
    OpenDmlWriter w;
    AddVideo(w, 4);
    ASSERT_TRUE(w.Write(path.str()));
    std::filesystem::resize_file(path.str(), c.size);  // sparse: costs no disk
    const Opened o = OpenWith<WYXAviFile20>(path.str());
    EXPECT_EQ(o.hr, c.active ? S_OK : E_FAIL);
    EXPECT_EQ(o.active, c.active);
  }
}

TEST(OpenDmlIndex, RefusesFilesItCannotServe) {
  struct Case {
    const char* name;
    std::optional<DWORD> declaredStreams;  // avih dwStreams
    int extraSoundStreams;
    FOURCC handler;
    OpenDmlOptions odml;
    const char* why;  // null: accepted
  };
  OpenDmlOptions valid;
  OpenDmlOptions longs = valid, subType = valid, type = valid;
  longs.superLongsPerEntry = 2;
  subType.superSubType = 1;
  type.superType = 1;
  const Case cases[] = {
      {"valid", std::nullopt, 0, kWyxc, valid, nullptr},
      {"no streams declared", 0u, 0, kWyxc, valid, "Invalid number of streams"},
      {"1001 streams declared", 1001u, 0, kWyxc, valid, "Invalid number of streams"},
      {"1000 streams declared", 1000u, 0, kWyxc, valid, nullptr},
      {"three stream lists, two declared", 2u, 2, kWyxc, valid,
       "More streams actually present than indicated in AVIMAINHEADER"},
      {"handler in capitals", std::nullopt, 0, MakeFourCC('W', 'Y', 'X', 'C'), valid, "video codec is NOT WYXC"},
      {"another codec", std::nullopt, 0, MakeFourCC('M', 'J', 'P', 'G'), valid, "video codec is NOT WYXC"},
      {"two longs per entry", std::nullopt, 0, kWyxc, longs, "AVISUPERINDEX::wLongsPerEntry != 4"},
      {"sub type 1", std::nullopt, 0, kWyxc, subType, "only AVISUPERINDEX::SubType 0 supported"},
      {"index of chunks", std::nullopt, 0, kWyxc, type,
       "only AVISUPERINDEX::bIndexType == AVI_INDEX_OF_INDEXES supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempPath path("refuse");
    OpenDmlOptions options = c.odml;
    options.avi.mainHeaderStreams = c.declaredStreams;
    OpenDmlWriter w(options);
    AddVideo(w, 3, c.handler);
    for (int k = 0; k < c.extraSoundStreams; ++k) {
      const int s = w.AddStream(AviStreamSpec::Pcm(1, 8000, 16));
      w.AddSound(s, Bytes(64, 1));
    }
    ASSERT_TRUE(w.Write(path.str()));
    const Opened o = OpenWith(path.str());
    EXPECT_EQ(o.hr, c.why ? E_FAIL : S_OK);
    EXPECT_EQ(o.active, c.why == nullptr);
    EXPECT_EQ(o.why, c.why ? c.why : "");
  }
}

TEST(OpenDmlIndex, AnAvi10FileStaysInactive) {
  TempPath path("avi10");
  OpenDmlOptions options;
  options.writeSuperIndex = false;
  OpenDmlWriter w(options);
  AddVideo(w, 3);
  ASSERT_TRUE(w.Write(path.str()));
  const Opened o = OpenWith(path.str());
  EXPECT_EQ(o.hr, E_FAIL);
  EXPECT_FALSE(o.active);
  EXPECT_EQ(o.why, "");
}

// The limits on the index sizes, and the bound that keeps a crafted index
// from claiming more entries than the file holds.
TEST(OpenDmlIndex, EntryLimits) {
  struct Case {
    const char* name;
    int frames;
    std::size_t perStdIndex;
    std::size_t superRepeat;
    const char* why;
  } cases[] = {
      {"100000 standard indexes", 100000, 1, 1, nullptr},
      {"100001 standard indexes", 100001, 1, 1, "too many superindex entries"},
      {"200000 entries in one standard index", 200000, 200001, 1, nullptr},
      {"200001 entries in one standard index", 200001, 200001, 1, "too many subindex entries"},
      // 600000 entries claimed in a file of about 3.2 MB (room for 400000).
      {"one standard index listed three times", 200000, 200000, 3, "too many subindex entries"},
      {"one standard index listed twice", 200000, 200000, 2, "standard indexes overlap"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempPath path("limits");
    OpenDmlOptions options;
    options.avi.writeIdx1 = false;
    options.maxEntriesPerStdIndex = c.perStdIndex;
    options.superRepeat = c.superRepeat;
    OpenDmlWriter w(options);
    const int s = w.AddStream(AviStreamSpec::Video(kWyxc, 16, 8, 24, 15));
    for (int i = 0; i < c.frames; ++i) w.AddFrame(s, {}, i == 0);
    ASSERT_TRUE(w.Write(path.str()));
    const Opened o = OpenWith(path.str());
    EXPECT_EQ(o.hr, c.why ? E_FAIL : S_OK);
    EXPECT_EQ(o.why, c.why ? c.why : "");
  }
}

TEST(OpenDmlIndex, MoviListsAreNotEntered) {
  // A main header inside movi that would refuse the file if it were read.
  TempPath path("movi");
  OpenDmlWriter w;
  AddVideo(w, 2);
  w.AddRawChunk(kFourCCAvih, std::vector<BYTE>(56, 0));
  ASSERT_TRUE(w.Write(path.str()));
  const Opened o = OpenWith(path.str());
  EXPECT_EQ(o.hr, S_OK);
  EXPECT_EQ(o.why, "");
}

TEST(OpenDmlIndex, DeeplyNestedListsAreRefusedWithoutExhaustingTheStack) {
  TempPath path("nested");
  {
    RiffWriter out;
    ASSERT_TRUE(out.Open(path.str()));
    std::vector<std::uint64_t> lists;
    lists.push_back(out.BeginList(kFourCCRiff, kFourCCAvi));
    for (int i = 0; i < 200000; ++i) lists.push_back(out.BeginList(kFourCCList, kFourCCHdrl));
    for (auto it = lists.rbegin(); it != lists.rend(); ++it) out.EndList(*it);
    ASSERT_TRUE(out.Close());
  }
  EXPECT_EQ(OpenWith(path.str()).hr, E_FAIL);
}

// A movie over 1 GiB: frames 0-2, a hole, frames 3-4 past 1 GiB in the first
// RIFF part, then an AVIX part with frames 5-7 and sound.
class LargeMovie : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_path = new TempPath("large");
    s_writer = new OpenDmlWriter();
    OpenDmlWriter& w = *s_writer;
    const int v = w.AddStream(AviStreamSpec::Video(kWyxc, 16, 8, 24, 15));
    const int a = w.AddStream(AviStreamSpec::Pcm(1, 8000, 16));
    for (int i = 0; i < 3; ++i) w.AddFrame(v, Bytes(10 + i, static_cast<BYTE>(i)), i == 0);
    w.AddSound(a, Bytes(100, 50));  // samples 0-49
    w.AddHole(1u << 30);
    for (int i = 3; i < 5; ++i) w.AddFrame(v, Bytes(10 + i, static_cast<BYTE>(i)), i == 3);
    w.AddSound(a, Bytes(50, 60));  // samples 50-74
    w.BeginPart();
    for (int i = 5; i < 8; ++i) w.AddFrame(v, i == 6 ? std::vector<BYTE>{} : Bytes(10 + i, static_cast<BYTE>(i)), false);
    w.AddSound(a, Bytes(200, 70));  // samples 75-174
    ASSERT_TRUE(w.Write(s_path->str()));
  }
  static void TearDownTestSuite() {
    delete s_writer;
    delete s_path;
  }
  void SetUp() override { ASSERT_EQ(m_index.Open(s_path->c_str()), S_OK) << m_index.GetLastError(); }

  // The data of the stream's chunks in file order, one vector per chunk.
  static std::vector<std::vector<BYTE>> ChunksOf(int stream) {
    std::vector<std::vector<BYTE>> out;
    for (const AviWrittenChunk& c : s_writer->Chunks())
      if (c.stream == stream && !c.palette) out.push_back(c.data);
    return out;
  }

  static TempPath* s_path;
  static OpenDmlWriter* s_writer;
  WYXAviFile20 m_index;
};
TempPath* LargeMovie::s_path = nullptr;
OpenDmlWriter* LargeMovie::s_writer = nullptr;

TEST_F(LargeMovie, IndexHoldsEveryChunkOfEveryPart) {
  EXPECT_GT(s_writer->FileSize(), 1073741824u);
  EXPECT_EQ(s_writer->PartCount(), 2u);
  ASSERT_EQ(m_index.GetVideoStreamCount(), 1);
  ASSERT_EQ(m_index.GetAudioStreamCount(), 1);
  EXPECT_EQ(m_index.GetVideoStreamOrdinal(0), 0);
  EXPECT_EQ(m_index.GetAudioStreamOrdinal(0), 1);
  for (int s = 0; s < 2; ++s) {
    SCOPED_TRACE(s);
    std::vector<const AviWrittenChunk*> written;
    for (const AviWrittenChunk& c : s_writer->Chunks())
      if (c.stream == s) written.push_back(&c);
    const std::vector<WYXAviFile20::IndexEntry>* index = m_index.GetIndex(s);
    ASSERT_NE(index, nullptr);
    ASSERT_EQ(index->size(), written.size());
    for (std::size_t k = 0; k < written.size(); ++k) {
      EXPECT_EQ((*index)[k].offset, written[k]->headerOffset + 8) << k;
      const bool key = s == 1 || (written[k]->idx1Flags & AVIIF_KEYFRAME);
      EXPECT_EQ((*index)[k].sizeWord, written[k]->size | (key ? 0 : WYXAviFile20::kNotKeyFrame)) << k;
    }
  }
}

TEST_F(LargeMovie, VariableSizeReads) {
  const std::vector<std::vector<BYTE>> frames = ChunksOf(0);
  struct Case {
    const char* name;
    LONG first, count, bufferSize;
    HRESULT hr;
    LONG bytes, samples;
  } cases[] = {
      {"one frame past 1 GiB", 4, 1, 100, S_OK, 14, 1},
      {"frames across the parts", 3, 3, 100, S_OK, 13 + 14 + 15, 3},
      {"stops before a frame that does not fit", 3, 3, 30, S_OK, 27, 2},
      {"first frame does not fit", 4, 1, 13, E_FAIL, 0, 0},
      {"an empty frame is one sample", 6, 1, 100, S_OK, 0, 1},
      {"count below 1", 0, 0, 100, E_FAIL, 0, 0},
      {"past the last frame", 8, 1, 100, E_FAIL, 0, 0},
      {"count reaching past the end", 7, 5, 100, S_OK, 17, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<BYTE> buffer(static_cast<std::size_t>(c.bufferSize), 0xCC);
    LONG bytes = -1, samples = -1;
    EXPECT_EQ(m_index.ReadSamples(0, c.first, c.count, buffer.data(), c.bufferSize, &bytes, &samples), c.hr);
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(samples, c.samples);
    std::vector<BYTE> want;
    for (LONG f = c.first; f < c.first + c.samples; ++f) want.insert(want.end(), frames[f].begin(), frames[f].end());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), buffer.begin()));
    // The same read without a buffer is a size query.
    LONG qBytes = -1, qSamples = -1;
    const HRESULT q = m_index.ReadSamples(0, c.first, c.count, nullptr, 0, &qBytes, &qSamples);
    if (c.bufferSize >= 100) {
      EXPECT_EQ(q, c.hr);
      EXPECT_EQ(qBytes, c.bytes);
      EXPECT_EQ(qSamples, c.samples);
    }
  }
}

TEST_F(LargeMovie, FixedSizeReadsRunAcrossChunks) {
  std::vector<BYTE> sound;
  for (const std::vector<BYTE>& c : ChunksOf(1)) sound.insert(sound.end(), c.begin(), c.end());
  ASSERT_EQ(sound.size(), 350u);  // 175 samples of 2 bytes
  struct Case {
    const char* name;
    LONG first, count, bufferSize;
    HRESULT hr;
    LONG samples;
  } cases[] = {
      {"inside the first chunk", 10, 20, 1000, S_OK, 20},
      {"rest of one chunk, then the next ones", 30, 100, 1000, S_OK, 100},
      {"limited by whole samples in the buffer", 30, 100, 41, S_OK, 20},
      {"to the end", 170, 100, 1000, S_OK, 5},
      {"starting at a chunk boundary", 50, 25, 1000, S_OK, 25},
      {"past the end", 175, 10, 1000, E_FAIL, 0},
      {"buffer below one sample", 0, 10, 1, E_FAIL, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<BYTE> buffer(static_cast<std::size_t>(c.bufferSize), 0xCC);
    LONG bytes = -1, samples = -1;
    EXPECT_EQ(m_index.ReadSamples(1, c.first, c.count, buffer.data(), c.bufferSize, &bytes, &samples), c.hr);
    EXPECT_EQ(samples, c.samples);
    EXPECT_EQ(bytes, 2 * c.samples);
    if (c.samples > 0) {
      EXPECT_EQ(0, std::memcmp(buffer.data(), sound.data() + 2 * c.first, 2 * static_cast<std::size_t>(c.samples)));
    }
  }
  // Without a buffer: what the stream length allows.
  LONG bytes = -1, samples = -1;
  EXPECT_EQ(m_index.ReadSamples(1, 170, 100, nullptr, 0, &bytes, &samples), S_OK);
  EXPECT_EQ(samples, 5);
  EXPECT_EQ(bytes, 10);
}

TEST_F(LargeMovie, KeyFramesInTheIndex) {
  struct Case {
    int n;
    LONG sample, key;
  } cases[] = {
      {0, 0, 0}, {0, 2, 0}, {0, 3, 3}, {0, 7, 3}, {0, 100, 3},  // past the end: from the last entry
      {0, -5, 0},                                               // nothing to search
      {1, 0, -1},                                               // only one video stream
      {-1, 0, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(m_index.FindKeyFrameInIndex(c.n, c.sample), c.key) << c.n << " " << c.sample;
}

TEST_F(LargeMovie, ResetLeavesNothingToRead) {
  m_index.Reset();
  EXPECT_FALSE(m_index.IsActive());
  EXPECT_EQ(m_index.GetVideoStreamCount(), 0);
  EXPECT_EQ(m_index.ReadSamples(0, 0, 1, nullptr, 0, nullptr, nullptr), E_FAIL);
  EXPECT_EQ(m_index.FindKeyFrameInIndex(0, 3), -1);
}
