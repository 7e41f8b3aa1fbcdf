// quorvix-probe on our own fixtures (ffmpeg-made files: tests/process/probe_ffmpeg.sh).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/media/MovieFiles.h"
#include "tests/support/OpenDmlWriter.h"
#include "tests/support/ScreenEncoder.h"
#include "tests/support/ScreenPictures.h"

using namespace moviefiles;

namespace {

struct ProbeRun {
  int status;
  std::string out;
};

// The build tree: from the environment, else two levels above this test
// program (build/tests/media_tests).
std::string BinaryDir() {
  if (const char* dir = std::getenv("QUORVIX_BINARY_DIR")) return dir;
  return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path().string();
}

ProbeRun Probe(const std::string& args) {
  const std::string cmd = BinaryDir() + "/tools/probe/quorvix-probe " + args + " 2>/dev/null";
  ProbeRun r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Six 24-bit frames, key frames 0 and 4, frame 3 stored empty.
void WriteScreenMovie(AviWriter& w, const std::string& path) {
  ScreenEncoder enc(16, 8, 24);
  const int v = w.AddStream(AviStreamSpec::Video(kWyxc, 16, 8, 24, 15));
  std::vector<std::uint8_t> p = MakeScreenPicture(16, 8, 24, 3), prev;
  for (int i = 0; i < 6; ++i) {
    prev = p;
    if (i == 3) {
      w.AddFrame(v, {}, false);
      continue;
    }
    if (i > 0) ChangeScreenPicture(p, 16, 8, 24, 0.3, 10 + i);
    const bool key = i == 0 || i == 4;
    w.AddFrame(v, key ? enc.EncodeKey(p.data()) : enc.EncodeDelta(p.data(), prev.data()), key);
  }
  ASSERT_TRUE(w.Write(path));
}

}  // namespace

TEST(ProbeTool, StreamsSamplesAndFramesOfAScreenMovie) {
  TempPath movie("probe");
  AviWriter w;
  WriteScreenMovie(w, movie.str());

  const ProbeRun streams = Probe(movie.str());
  ASSERT_EQ(streams.status, 0);
  EXPECT_NE(streams.out.find("video 0: type vids handler wyxc compression wyxc width 16 height 8 bits 24"),
            std::string::npos)
      << streams.out;
  EXPECT_NE(streams.out.find("length 6 end 400 ms decoder built-in"), std::string::npos) << streams.out;
  EXPECT_NE(streams.out.find("all key frames: no"), std::string::npos);
  EXPECT_NE(streams.out.find("opendml index: inactive"), std::string::npos);

  const ProbeRun samples = Probe("--samples " + movie.str());
  ASSERT_EQ(samples.status, 0);
  std::istringstream lines(samples.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line.rfind('#', 0), 0u);
  std::vector<const AviWrittenChunk*> frames;
  for (const AviWrittenChunk& c : w.Chunks())
    if (c.stream == 0) frames.push_back(&c);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    ASSERT_TRUE(std::getline(lines, line));
    const int time = static_cast<int>((k * 1000 + 7) / 15);
    const int key = (frames[k]->idx1Flags & AVIIF_KEYFRAME) ? 1 : 0;
    EXPECT_EQ(line, std::to_string(k) + " " + std::to_string(time) + " " + std::to_string(frames[k]->size) + " " +
                        std::to_string(key));
  }
  EXPECT_FALSE(std::getline(lines, line));

  // Frame 3 is empty: the picture shown is frame 2's.
  TempPath png2("f2"), png3("f3"), png4("f4"), pngEnd("end");
  ASSERT_EQ(Probe("--frame 140 --out " + png2.str() + " " + movie.str()).status, 0);
  ASSERT_EQ(Probe("--frame 210 --out " + png3.str() + " " + movie.str()).status, 0);
  ASSERT_EQ(Probe("--frame 270 --out " + png4.str() + " " + movie.str()).status, 0);
  ASSERT_EQ(Probe("--frame 400 --out " + pngEnd.str() + " " + movie.str()).status, 0);
  EXPECT_EQ(ReadAll(png2.str()).substr(1, 3), "PNG");
  EXPECT_EQ(ReadAll(png2.str()), ReadAll(png3.str()));
  EXPECT_NE(ReadAll(png2.str()), ReadAll(png4.str()));

  EXPECT_NE(Probe("--frame 401 --out " + png2.str() + " " + movie.str()).status, 0);
  EXPECT_NE(Probe("--frame 100 " + movie.str()).status, 0);  // no --out
  EXPECT_NE(Probe(movie.str() + ".missing").status, 0);
}

TEST(ProbeTool, SamplesOfALargeMovieComeFromTheIndex) {
  TempPath movie("probe-large");
  OpenDmlWriter w;
  const int v = w.AddStream(AviStreamSpec::Video(kWyxc, 16, 8, 24, 15));
  w.AddFrame(v, Bytes(20, 1), true);
  w.AddHole(1u << 30);
  w.AddFrame(v, Bytes(21, 1), false);
  w.BeginPart();
  w.AddFrame(v, Bytes(22, 1), true);
  ASSERT_TRUE(w.Write(movie.str()));
  EXPECT_NE(Probe(movie.str()).out.find("opendml index: active"), std::string::npos);
  EXPECT_EQ(Probe("--samples " + movie.str()).out, "# sample time_ms bytes key\n0 0 20 1\n1 67 21 0\n2 133 22 1\n");
  const ProbeRun index = Probe("--index " + movie.str());
  EXPECT_NE(index.out.find("\n2 " + std::to_string(w.Chunks().back().headerOffset + 8) + " 22 1\n"),
            std::string::npos)
      << index.out;
}
