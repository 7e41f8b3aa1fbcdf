#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "audio/WYXAviAudio.h"
#include "media/WYXAviFile.h"
#include "platform/NullWaveOut.h"
#include "platform/WaveOut.h"
#include "tests/audio/AudioFixtures.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Reads the clock until it ends (returns -1) or the time runs out; the last
// position seen before the end.
int LastPositionBeforeTheEnd(WYXAviAudio& a, int maxMs) {
  int last = -1;
  const auto end = Clock::now() + std::chrono::milliseconds(maxMs);
  while (Clock::now() < end) {
    const int p = a.GetPosition();
    if (p == -1) break;
    last = p;
    SleepMs(10);
  }
  return last;
}

class AviAudio : public testing::Test {
 protected:
  void SetUp() override {
    SelectWaveOutDevice(WaveOutDeviceKind::Null);
    SetNullWaveOutOptions({});
    TakeNullWaveOutPlayed();
  }
  void TearDown() override {
    SetNullWaveOutOptions({});
    EXPECT_EQ(OpenWaveOutDeviceCount(), 0);
  }
  TempDir m_dir;
};

}  // namespace

TEST_F(AviAudio, PlaysTheStreamFromAnyStartTimeAndEndsItsClockAtTheEnd) {
  const std::string movie = WriteSoundMovie(m_dir.File("sound.avi"), 1500, 22050, 2205, /*withVideo=*/true);
  WYXAviAudio a;
  ASSERT_TRUE(a.OpenFile(movie.c_str(), 0));
  EXPECT_EQ(a.GetDuration(), 1500);
  a.SetStartTime(0);
  ASSERT_TRUE(a.IsFormatSupported(false));

  a.Stop();
  a.SetStartTime(1000);
  ASSERT_TRUE(a.Resume());
  const int last = LastPositionBeforeTheEnd(a, 3000);
  EXPECT_GE(last, 1400);
  EXPECT_LT(last, 1600);
  EXPECT_FALSE(a.m_bStarted);  // the end stopped the clock
  EXPECT_EQ(a.GetPosition(), -1);
  SleepMs(100);  // the clock rounds up: let the last millisecond play out
  a.Stop();
  const std::vector<BYTE> played = TakeNullWaveOutPlayed();
  // Playing starts at the last sample whose time rounds to 1000 ms or less.
  const std::size_t first = 22061, total = 33075;
  const std::vector<BYTE> expected = CountingPcm16(total - first, first);
  ASSERT_EQ(played.size(), expected.size());
  EXPECT_TRUE(played == expected);
}

TEST_F(AviAudio, BuffersFollowTheStreamsChunkSize) {
  struct Case {
    std::size_t chunkSamples;
    int wantSize;
  } cases[] = {{2205, 4410}, {50000, 22800}};
  for (const Case& k : cases) {
    const std::string movie = WriteSoundMovie(m_dir.File("chunks.avi"), 3000, 22050, k.chunkSamples);
    struct Probe : WYXAviAudio {
      int Size() const { return m_nBufferSize; }
      int Count() const { return m_nBufferCount; }
    } a;
    ASSERT_TRUE(a.OpenFile(movie.c_str(), 0));
    ASSERT_TRUE(a.Resume());
    EXPECT_EQ(a.Size(), k.wantSize);
    EXPECT_EQ(a.Count(), 8);
    a.Stop();
  }
}

TEST_F(AviAudio, AStuckDeviceEndsTheClockOnTheFifthEqualPosition) {
  const std::string movie = WriteSoundMovie(m_dir.File("stuck.avi"), 3000);
  WYXAviAudio a;
  ASSERT_TRUE(a.OpenFile(movie.c_str(), 0));
  ASSERT_TRUE(a.Resume());
  SleepMs(100);
  NullWaveOutOptions o;
  o.freezePosition = true;
  SetNullWaveOutOptions(o);
  SleepMs(20);
  const int p = a.GetPosition();
  ASSERT_NE(p, -1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a.GetPosition(), p) << i;  // four equal readings
  EXPECT_TRUE(a.m_bStarted);
  EXPECT_EQ(a.GetPosition(), p);  // the fifth ends the clock
  EXPECT_FALSE(a.m_bStarted);
  EXPECT_EQ(a.GetPosition(), -1);
  SetNullWaveOutOptions({});
  a.Stop();
}

TEST_F(AviAudio, RefusesAStreamTheFileDoesNotHave) {
  const std::string movie = WriteSoundMovie(m_dir.File("one.avi"), 500);
  WYXAviAudio a;
  EXPECT_FALSE(a.OpenFile(movie.c_str(), 1));
  EXPECT_FALSE(a.IsFileOpen());
  EXPECT_EQ(a.GetDuration(), 0);
  EXPECT_EQ(a.GetFormat(), nullptr);
  EXPECT_TRUE(a.OpenFile(movie.c_str(), 0));
  EXPECT_TRUE(a.IsFileOpen());
  EXPECT_TRUE(a.CloseFile());
  EXPECT_FALSE(a.CloseFile());
}

TEST_F(AviAudio, CompressedSoundIsDecodedByTheDevice) {
  // IMA ADPCM, mono, 22050 Hz, 512-byte blocks of 1017 samples, made by ffmpeg.
  const std::string movie = m_dir.File("adpcm.avi");
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -c:a adpcm_ima_wav " +
                          movie + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "ffmpeg cannot make the fixture";
  WYXAviAudio a;
  ASSERT_TRUE(a.OpenFile(movie.c_str(), 0));
  ASSERT_TRUE(a.IsFormatSupported(false));
  ASSERT_TRUE(a.Resume());
  const int last = LastPositionBeforeTheEnd(a, 3000);
  EXPECT_GE(last, 900);
  a.Stop();
  const std::vector<BYTE> played = TakeNullWaveOutPlayed();
  EXPECT_GE(played.size(), 22050u * 2 * 9 / 10);  // decoded to 16-bit
}

TEST_F(AviAudio, NoSuchFileShowsTheOpenMessage) {
  MessageBoxRecorder boxes;
  WYXAviAudio a;
  EXPECT_FALSE(a.OpenFile(m_dir.File("missing.avi").c_str(), 0));
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0].rfind("不能打开", 0), 0u);
}

TEST_F(AviAudio, TheFileDeliversEverySampleOfTheStream) {
  const std::string movie = WriteSoundMovie(m_dir.File("all.avi"), 1500);
  WYXAviFile file;
  ASSERT_TRUE(file.Open(movie.c_str()));
  std::vector<BYTE> all;
  LONG position = 0;
  std::vector<BYTE> buffer(4410);
  for (int guard = 0; guard < 100; ++guard) {
    LONG size = static_cast<LONG>(buffer.size());
    if (!file.ReadAudio(0, &position, buffer.data(), &size)) break;
    all.insert(all.end(), buffer.begin(), buffer.begin() + size);
  }
  EXPECT_EQ(position, 33075);
  EXPECT_TRUE(all == CountingPcm16(33075)) << all.size() << " bytes";
}
