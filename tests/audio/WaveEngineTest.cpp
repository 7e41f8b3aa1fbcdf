#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/WYXAudio.h"
#include "platform/NullWaveOut.h"
#include "platform/WaveOut.h"
#include "tests/audio/AudioFixtures.h"
#include "tests/support/MessageBoxRecorder.h"

namespace {

using Clock = std::chrono::steady_clock;

// An engine fed from memory: a counting 16-bit mono signal.
class MemoryAudio : public WYXAudio {
 public:
  MemoryAudio(DWORD rate, std::size_t samples, int bufferSize = 4410, int bufferCount = 8)
      : m_pcm(CountingPcm16(samples)), m_bufferSize(bufferSize), m_bufferCount(bufferCount) {
    m_source = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0};
  }
  ~MemoryAudio() override {
    Stop();
    AbandonDevice();
    m_thread.StopAndWait();
  }
  void GetBufferSpec(int& nSize, int& nCount) override {
    nSize = m_bufferSize;
    nCount = m_bufferCount;
  }
  WAVEFORMATEX* GetFormat() override {
    SetFormat(&m_source);
    return m_pFormat;
  }
  bool OnInputBuffer(WAVEHDR*) override { return false; }
  bool FillBuffer(WAVEHDR* h) override {
    const std::size_t at = static_cast<std::size_t>(m_nReadPos) * 2;
    if (!h->lpData || at >= m_pcm.size()) return false;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(m_nBufferSize), m_pcm.size() - at);
    std::memcpy(h->lpData, m_pcm.data() + at, n);
    h->dwBufferLength = static_cast<DWORD>(n);
    m_nReadPos += static_cast<LONG>(n / 2);
    return true;
  }
  bool QueueBuffers() override {
    if (!m_hWaveOut || m_bStarted) return false;
    if (waveOutPause(m_hWaveOut) != 0) return false;
    m_nReadPos = static_cast<LONG>(static_cast<long long>(m_nStartTime) * m_source.nSamplesPerSec / 1000);
    for (int i = 0; i < m_nBufferCount; ++i) {
      FillBuffer(&m_headers[i]);
      if (waveOutWrite(m_hWaveOut, &m_headers[i], sizeof(WAVEHDR)) != 0) return false;
    }
    return true;
  }
  bool OpenFile(const char*, int) override { return true; }
  bool IsFileOpen() override { return true; }
  bool CloseFile() override { return true; }
  int GetDuration() override { return static_cast<int>(m_pcm.size() / 2 * 1000 / m_source.nSamplesPerSec); }

  int BufferSize() const { return m_nBufferSize; }
  int BufferCount() const { return m_nBufferCount; }
  const WAVEFORMATEX* Format() const { return m_pFormat; }
  bool DeviceOpen() const { return m_bOpen; }
  HWAVEOUT Handle() const { return m_hWaveOut; }

  WAVEFORMATEX m_source;
  std::vector<BYTE> m_pcm;
  int m_bufferSize, m_bufferCount;
};

class WaveEngine : public testing::Test {
 protected:
  void SetUp() override {
    SelectWaveOutDevice(WaveOutDeviceKind::Null);
    SetNullWaveOutOptions({});
    TakeNullWaveOutPlayed();
  }
  void TearDown() override {
    SetNullWaveOutOptions({});
    EXPECT_EQ(OpenWaveOutDeviceCount(), 0) << "a device was left open";
  }
};

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

TEST_F(WaveEngine, BufferSpecIsLimited) {
  struct Case {
    int size, count, wantSize, wantCount;
  } cases[] = {{0, 8, 22800, 8}, {100000, 8, 22800, 8}, {4410, 12, 4410, 8}, {22800, 3, 22800, 3}};
  for (const Case& k : cases) {
    MemoryAudio a(22050, 22050, k.size, k.count);
    ASSERT_TRUE(a.Open(false)) << k.size;
    EXPECT_EQ(a.BufferSize(), k.wantSize);
    EXPECT_EQ(a.BufferCount(), k.wantCount);
    EXPECT_TRUE(a.Stop());
    EXPECT_EQ(a.Handle(), nullptr);
  }
}

TEST_F(WaveEngine, PlaysEverySampleInOrderAcrossPauseAndResume) {
  MemoryAudio a(22050, 22050);  // one second
  EXPECT_EQ(a.GetPosition(), -1);  // not started
  a.SetStartTime(0);
  ASSERT_TRUE(a.Resume());
  SleepMs(300);
  ASSERT_TRUE(a.Pause());
  const int paused = a.GetPosition();
  EXPECT_GT(paused, 150);
  SleepMs(200);
  EXPECT_LE(std::abs(a.GetPosition() - paused), 1) << "the position moved while paused";
  ASSERT_TRUE(a.Resume());
  SleepMs(1200);
  EXPECT_GE(a.GetPosition(), 990);
  const std::vector<BYTE> played = TakeNullWaveOutPlayed();
  ASSERT_EQ(played.size(), a.m_pcm.size());
  EXPECT_TRUE(played == a.m_pcm) << "samples lost or out of order";
  EXPECT_TRUE(a.Stop());
}

TEST_F(WaveEngine, PositionCountsFromTheStartTimeAndScalesWithTheRate) {
  struct Case {
    float rate;
    int start;
  } cases[] = {{1.0f, 0}, {1.0f, 5000}, {2.0f, 0}, {2.0f, 1000}};
  for (const Case& k : cases) {
    MemoryAudio a(22050, 22050 * 3);
    ASSERT_TRUE(a.SetRate(k.rate));
    a.SetStartTime(k.start);
    const auto t0 = Clock::now();
    ASSERT_TRUE(a.Resume());
    SleepMs(400);
    const int pos = a.GetPosition();
    const double wall = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    EXPECT_NEAR(pos - k.start, wall * k.rate, 80 * k.rate) << "rate " << k.rate << " start " << k.start;
    EXPECT_TRUE(a.Stop());
  }
}

TEST_F(WaveEngine, StopReturnsEveryBufferAndClosesTheDevice) {
  MemoryAudio a(22050, 22050 * 5);
  ASSERT_TRUE(a.Resume());
  SleepMs(100);
  EXPECT_TRUE(a.Stop());
  EXPECT_FALSE(a.m_bStarted);
  EXPECT_EQ(a.Handle(), nullptr);
  EXPECT_FALSE(a.DeviceOpen());
  EXPECT_EQ(a.GetPosition(), -1);
  EXPECT_FALSE(a.Stop());  // nothing to stop
  // Playing from another time reopens and queues from there.
  TakeNullWaveOutPlayed();
  a.SetStartTime(2000);
  ASSERT_TRUE(a.Resume());
  SleepMs(150);
  EXPECT_TRUE(a.Stop());
  const std::vector<BYTE> played = TakeNullWaveOutPlayed();
  ASSERT_GE(played.size(), 4u);
  EXPECT_EQ(played[0] | (played[1] << 8), 44100 % 32768);  // sample of 2000 ms
}

TEST_F(WaveEngine, RatesOutsideTheRangeOpenNothing) {
  struct Case {
    float rate;
    bool ok;
  } cases[] = {{0.25f, true}, {4.0f, true}, {0.2f, false}, {5.0f, false}};
  for (const Case& k : cases) {
    MemoryAudio a(22050, 22050);
    EXPECT_EQ(a.SetRate(k.rate), k.ok) << k.rate;
    EXPECT_EQ(a.Resume(), k.ok) << k.rate;
    if (k.ok) {
      ASSERT_NE(a.Format(), nullptr);
      EXPECT_EQ(a.Format()->nSamplesPerSec, static_cast<DWORD>(22050 * k.rate));
      EXPECT_EQ(a.Format()->nAvgBytesPerSec, a.Format()->nSamplesPerSec * 2);
    }
    a.Stop();
  }
}

TEST_F(WaveEngine, FormatRules) {
  MemoryAudio a(22050, 100);
  // A PCM format's extra size is dropped, in the caller's record too.
  WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 22};
  a.SetFormat(&pcm);
  EXPECT_EQ(pcm.cbSize, 0);
  ASSERT_NE(a.Format(), nullptr);
  EXPECT_EQ(a.Format()->cbSize, 0);
  EXPECT_EQ(a.Format()->nSamplesPerSec, 44100u);
  // The rate applies to a format set later and is undone by rate 1.
  EXPECT_TRUE(a.SetRate(0.5f));
  EXPECT_EQ(a.Format()->nSamplesPerSec, 22050u);
  EXPECT_TRUE(a.SetRate(1.0f));
  EXPECT_EQ(a.Format()->nSamplesPerSec, 44100u);
  EXPECT_EQ(a.Format()->nAvgBytesPerSec, 176400u);
}

TEST_F(WaveEngine, ZeroSampleRateNeverOpens) {
  MemoryAudio a(0, 100);
  const auto t0 = Clock::now();
  EXPECT_FALSE(a.Open(false));
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(1900));  // waited for a device that never came
  EXPECT_EQ(a.Handle(), nullptr);
}

TEST_F(WaveEngine, UnconfirmedOpenReleasesTheDevice) {
  NullWaveOutOptions o;
  o.confirmOpen = false;
  SetNullWaveOutOptions(o);
  MemoryAudio a(22050, 100);
  EXPECT_FALSE(a.Open(false));
  EXPECT_EQ(a.Handle(), nullptr);
  EXPECT_EQ(OpenWaveOutDeviceCount(), 0);
}

TEST_F(WaveEngine, LastResultKeepsTheDevicesAnswer) {
  MemoryAudio a(22050, 22050);
  EXPECT_EQ(a.m_lastResult, MMSYSERR_NOERROR);
  ASSERT_TRUE(a.Resume());
  NullWaveOutOptions o;
  o.pauseResult = MMSYSERR_NOTSUPPORTED;
  SetNullWaveOutOptions(o);
  EXPECT_FALSE(a.Pause());
  EXPECT_EQ(a.m_lastResult, MMSYSERR_NOTSUPPORTED);
  SetNullWaveOutOptions({});
  EXPECT_TRUE(a.Resume());
  EXPECT_EQ(a.m_lastResult, MMSYSERR_NOERROR);
  a.Stop();
}

TEST_F(WaveEngine, UnplayableFormatShowsItsMessage) {
  MessageBoxRecorder boxes;
  MemoryAudio a(22050, 100);
  WAVEFORMATEX odd{0x7777, 1, 22050, 22050, 1, 8, 0};
  a.SetFormat(&odd);
  EXPECT_FALSE(a.IsFormatSupported(false));
  EXPECT_EQ(a.m_lastResult, WAVERR_BADFORMAT);
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0], "没有找到匹配的编码解压缩音频流。\r\n您将不能听到音频流。");
  a.SetFormat(&a.m_source);
  EXPECT_TRUE(a.IsFormatSupported(false));
  EXPECT_EQ(boxes.Texts().size(), 1u);
}

// Devices may answer a position query in bytes or milliseconds instead of
// samples; after a pause the device stands still, so the expected value is
// exact up to the rounding of each type.
TEST_F(WaveEngine, PositionInEveryTypeTheDeviceMayGive) {
  struct Case {
    UINT type;
  } cases[] = {{TIME_SAMPLES}, {TIME_BYTES}, {TIME_MS}};
  for (const Case& c : cases) {
    NullWaveOutOptions o;
    o.positionType = c.type;
    SetNullWaveOutOptions(o);
    MemoryAudio a(10000, 40000, 4000);
    ASSERT_TRUE(a.Resume());
    SleepMs(120);
    ASSERT_TRUE(a.Pause());
    const int p = a.GetPosition();
    const std::size_t frames = TakeNullWaveOutPlayed().size() / 2;
    ASSERT_GT(frames, 0u);
    // 10 frames a millisecond: samples and bytes round up, milliseconds come as given.
    const int want = c.type == TIME_MS ? static_cast<int>(frames / 10) : static_cast<int>((frames + 9) / 10);
    EXPECT_EQ(p, want) << "type " << c.type;
    EXPECT_TRUE(a.Stop());
  }
}

// A stop that arrives while the feeding thread refills small buffers as fast
// as the device returns them must neither hang nor leave the device open.
TEST_F(WaveEngine, StopWhileTheFeedingThreadWritesDoesNotHang) {
  NullWaveOutOptions o;
  o.speed = 50.0;
  SetNullWaveOutOptions(o);
  for (int i = 0; i < 20; ++i) {
    MemoryAudio a(44100, 44100 * 5, 512);
    ASSERT_TRUE(a.Resume());
    SleepMs(i % 5);
    EXPECT_TRUE(a.Stop());
    EXPECT_FALSE(a.DeviceOpen());
    EXPECT_EQ(OpenWaveOutDeviceCount(), 0);
  }
}
