// Plays a movie's sound through ALSA's default device into the private sound
// server the test script starts, records the sink's monitor and checks that
// what came out is the movie's sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <sys/wait.h>
#include <vector>

#include "audio/WYXAviAudio.h"
#include "platform/WaveOut.h"
#include "tests/audio/AudioFixtures.h"
#include "tests/support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

pid_t StartRecorder(const std::string& sink, const std::string& out) {
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string device = sink + ".monitor";
    execlp("parec", "parec", "-d", device.c_str(), "--format=s16le", "--rate=22050", "--channels=1", "--raw",
           "--latency-msec=20", out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

std::vector<std::int16_t> ReadSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::int16_t> out(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

std::uintmax_t FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  return f ? static_cast<std::uintmax_t>(f.tellg()) : 0;
}

}  // namespace

TEST(AlsaPlayback, MovieSoundReachesTheSoundServerIntactAndTheClockFollowsRealTime) {
  const char* sink = std::getenv("QUORVIX_TEST_SOUND_SINK");
  if (!sink) GTEST_SKIP() << "no private sound server (run through test.sh)";
  SelectWaveOutDevice(WaveOutDeviceKind::Alsa);
  TempDir dir;
  constexpr int kMs = 1500;
  constexpr std::size_t kSamples = 22050 * kMs / 1000;
  const std::string movie = WriteSoundMovie(dir.File("sound.avi"), kMs);
  const std::string recording = dir.File("out.raw");

  const pid_t recorder = StartRecorder(sink, recording);
  ASSERT_GT(recorder, 0);
  // parec takes a while to connect; the monitor's silence arriving in the
  // file shows it is recording.
  const auto connectBy = Clock::now() + std::chrono::seconds(10);
  while (FileBytes(recording) == 0 && Clock::now() < connectBy)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_GT(FileBytes(recording), 0u) << "parec records nothing";

  // The clock is checked to follow real time while it runs (a stall, which
  // ends it early, is allowed), and the sound is given time to play out whole.
  std::vector<std::pair<double, int>> readings;  // (wall ms, position)
  {
    WYXAviAudio a;
    ASSERT_TRUE(a.OpenFile(movie.c_str(), 0));
    a.SetStartTime(0);
    ASSERT_TRUE(a.IsFormatSupported(false));
    ASSERT_TRUE(a.Resume());
    const auto t0 = Clock::now();
    while (Clock::now() - t0 < std::chrono::milliseconds(kMs + 3000)) {
      const int p = a.GetPosition();
      if (p != -1) readings.emplace_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count(), p);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    a.Stop();
  }
  // The monitor hands its data over in large pieces, so the file lags behind
  // what was played: wait for the last sample to arrive.
  const std::int16_t lastSample = static_cast<std::int16_t>((kSamples - 1) % 32768);
  const auto recordBy = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < recordBy) {
    const std::vector<std::int16_t> so_far = ReadSamples(recording);
    if (std::find(so_far.begin(), so_far.end(), lastSample) != so_far.end()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(recorder, SIGINT);
  waitpid(recorder, nullptr, 0);

  ASSERT_GE(readings.size(), 2u);
  for (std::size_t i = 1; i < readings.size(); ++i) {
    EXPECT_GE(readings[i].second, readings[i - 1].second);
    // Never ahead of real time.
    EXPECT_LE(readings[i].second, readings[i].first + 60.0);
  }
  EXPECT_GT(readings.back().second, 0);

  // The samples came out in order and to the very end. The server fills its
  // own underruns with silence, so zeros are left out on both sides (the
  // counting signal holds a zero only where it wraps); and its monitor misses
  // what the sink takes in its first, long sleep-bounded round, so the sound
  // may be heard from up to a quarter of a second in.
  const std::vector<std::int16_t> got = ReadSamples(recording);
  std::vector<std::int16_t> heard, sent;
  for (std::int16_t v : got)
    if (v != 0) heard.push_back(v);
  for (std::size_t i = 0; i < kSamples; ++i)
    if (i % 32768 != 0) sent.push_back(static_cast<std::int16_t>(i % 32768));
  ASSERT_FALSE(heard.empty()) << "the movie's sound is not in the recording (" << got.size() << " samples)";
  ASSERT_GE(heard[0], 1);
  ASSERT_LE(heard[0], 22050 / 4) << "the beginning of the sound is missing";
  // In order, never repeated, to the end. A loaded machine can
  // make the server drop a few milliseconds in an underrun; more than that is
  // a fault of ours.
  const std::size_t offset = static_cast<std::size_t>(heard[0] - 1);
  std::size_t at = offset, outOfOrder = 0;
  for (std::int16_t v : heard) {
    std::size_t next = at;
    while (next < sent.size() && sent[next] != v) ++next;
    if (next == sent.size()) {
      if (++outOfOrder > 100) break;  // garbage: no need to look further
      continue;
    }
    at = next + 1;
  }
  EXPECT_EQ(outOfOrder, 0u) << "samples out of order or not the movie's";
  // The last chunk must come out too (its last millisecond may still sit in
  // the server when the device closes).
  EXPECT_GE(heard.back(), sent.back() - 1102) << "the end of the sound is missing";
  const std::size_t missing = sent.size() - offset - std::min(heard.size(), sent.size() - offset);
  EXPECT_LE(missing, sent.size() / 100) << missing << " samples lost";
}
