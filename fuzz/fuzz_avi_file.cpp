// Whole movie files through the movie file object: open, stream formats,
// frame fetches (in order, jumps, key frames only), palette updates and
// sound reads; and the large-file index reader on the same bytes as if the
// file were large, with its reads and key-frame searches.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "media/WYXAviFile.h"
#include "media/WYXAviFile20.h"
#include "platform/MessageBox.h"

namespace {

class Silent : public MessageBoxPresenter {
 public:
  int Present(const std::string&, unsigned) override { return IDOK; }
};

class AnySizeIndex : public WYXAviFile20 {
 public:
  bool IndexLargeFilesOnly() const override { return false; }
};

const std::string& InputPath() {
  static const std::string path = "/tmp/quorvix-fuzz-avi-" + std::to_string(::getpid()) + ".avi";
  return path;
}

void FetchFrames(WYXAviFile& f) {
  for (int i = 0; i < f.GetVideoStreamCount(); ++i) {
    if (!f.OpenVideoStream(i)) continue;
    const LONG end = f.GetVideoEndTime(i);
    const LONG after = end < 0x7FFFFFFF ? end + 1 : end;
    const LONG times[] = {0, end / 3, end / 3 + 1, end, end / 2, 0, after, -5};
    LONG last = -1;
    for (LONG t : times) {
      BITMAPINFOHEADER* h = nullptr;
      BYTE* bits = nullptr;
      f.GetVideoFrame(i, t, &h, &bits, &last, false);
      if (h && bits) {
        // Touch the picture the way a painter would.
        volatile BYTE sink = bits[0];
        (void)sink;
      }
    }
    last = 0;
    for (LONG t : {end, end / 4, end / 2}) {
      BITMAPINFOHEADER* h = nullptr;
      BYTE* bits = nullptr;
      f.GetVideoFrame(i, t, &h, &bits, &last, true);
    }
    (void)f.GetColourTable(i);
    f.CloseVideoStream(i);
  }
}

void ReadSound(WYXAviFile& f) {
  for (int i = 0; i < f.GetAudioStreamCount(); ++i) {
    (void)f.GetAudioReadSize(i);
    LONG pos = f.AudioTimeToSample(i, 0);
    BYTE buffer[4096];
    for (int n = 0; n < 4; ++n) {
      LONG size = sizeof buffer;
      if (!f.ReadAudio(i, &pos, buffer, &size)) break;
    }
  }
}

void ProbeIndex(const char* path) {
  AnySizeIndex index;
  if (index.Open(path) != S_OK) return;
  BYTE buffer[8192];
  for (int s = 0; s < index.GetStreamCount() && s < 8; ++s) {
    LONG bytes = 0, samples = 0;
    index.ReadSamples(s, 0, 1, nullptr, 0, &bytes, &samples);
    index.ReadSamples(s, 0, 3, buffer, sizeof buffer, &bytes, &samples);
    index.ReadSamples(s, 5, 1000, buffer, sizeof buffer, &bytes, &samples);
    index.ReadSamples(s, 0x7FFFFFF0, 100, buffer, sizeof buffer, &bytes, &samples);
  }
  for (int n = 0; n < index.GetVideoStreamCount() && n < 8; ++n)
    for (LONG p : {0, 1, 7, 1000000, -1}) (void)index.FindKeyFrameInIndex(n, p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Silent silent;
  static bool installed = (SetMessageBoxPresenter(&silent), true);
  (void)installed;
  const std::string& path = InputPath();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return 0;
  if (size) std::fwrite(data, 1, size, out);
  std::fclose(out);

  {
    WYXAviFile f;
    if (f.Open(path.c_str())) {
      FetchFrames(f);
      ReadSound(f);
      f.Close();
    }
  }
  ProbeIndex(path.c_str());
  std::remove(path.c_str());
  return 0;
}
