// quorvix-probe: what the player's media code makes of a movie file.
//
//   quorvix-probe FILE                      streams, index and key-frame facts
//   quorvix-probe --samples FILE            one line per video sample of stream 0:
//                                           sample, time (ms), bytes, 1 for a key frame
//   quorvix-probe --index FILE              the large-file index of video stream 0:
//                                           sample, data offset, bytes, key
//   quorvix-probe --frame MS --out PNG FILE the picture shown at MS, as PNG
//
// Errors go to standard error and give exit status 1 (2 for bad usage).
// A sample the file service cannot size prints -1 bytes.
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/WYXAviFile.h"
#include "platform/AviFile.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: quorvix-probe [--samples | --index | --frame MS --out PICTURE.png] FILE\n");
  return 2;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "quorvix-probe: %s\n", text.c_str());
  return 1;
}

std::string FourCC(DWORD v) {
  if (v == 0) return "0";
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((v >> (8 * i)) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '.';
  }
  return s;
}

LONG EndTime(PAVISTREAM s) { return AVIStreamSampleToTime(s, AVIStreamStart(s) + AVIStreamLength(s)); }

int PrintStreams(WYXAviFile& f, const char* path) {
  const WYXAviFile20& index = f.GetIndexReader();
  std::printf("file: %s\n", path);
  std::printf("video streams: %d\naudio streams: %d\n", f.GetVideoStreamCount(), f.GetAudioStreamCount());
  std::printf("all key frames: %s\n", f.AllKeyFrames() ? "yes" : "no");
  std::printf("opendml index: %s\n", index.IsActive() ? "active" : "inactive");
  for (int i = 0; i < f.GetVideoStreamCount(); ++i) {
    const AVISTREAMINFOA* si = f.GetVideoStreamInfo(i);
    const BITMAPINFOHEADER* h = f.GetVideoFormat(i);
    PAVISTREAM s = f.GetVideoStream(i);
    std::printf(
        "video %d: type %s handler %s compression %s width %d height %d bits %u planes %u format %d bytes "
        "scale %u rate %u start %d length %d end %d ms decoder %s\n",
        i, FourCC(si->fccType).c_str(), FourCC(si->fccHandler).c_str(), FourCC(h->biCompression).c_str(),
        h->biWidth, h->biHeight, h->biBitCount, h->biPlanes, f.GetVideoFormatSize(i), si->dwScale, si->dwRate,
        AVIStreamStart(s), AVIStreamLength(s), EndTime(s), f.HasBuiltInDecoder(i) ? "built-in" : "platform");
  }
  for (int i = 0; i < f.GetAudioStreamCount(); ++i) {
    const AVISTREAMINFOA* si = f.GetAudioStreamInfo(i);
    const WAVEFORMATEX* w = f.GetAudioFormat(i);
    PAVISTREAM s = f.GetAudioStream(i);
    std::printf(
        "audio %d: type %s handler %s tag %u channels %u samples/s %u bytes/s %u block %u bits %u extra %u "
        "scale %u rate %u start %d length %d end %d ms\n",
        i, FourCC(si->fccType).c_str(), FourCC(si->fccHandler).c_str(), w->wFormatTag, w->nChannels,
        w->nSamplesPerSec, w->nAvgBytesPerSec, w->nBlockAlign, w->wBitsPerSample, w->cbSize, si->dwScale,
        si->dwRate, AVIStreamStart(s), AVIStreamLength(s), f.GetAudioEndTime(i));
  }
  return 0;
}

const std::vector<WYXAviFile20::IndexEntry>* VideoIndex(const WYXAviFile& f) {
  const WYXAviFile20& index = f.GetIndexReader();
  if (!index.IsActive()) return nullptr;
  return index.GetIndex(index.GetVideoStreamOrdinal(0));
}

int PrintSamples(WYXAviFile& f) {
  if (f.GetVideoStreamCount() == 0) return Fail("no video stream");
  PAVISTREAM s = f.GetVideoStream(0);
  std::printf("# sample time_ms bytes key\n");
  if (const std::vector<WYXAviFile20::IndexEntry>* entries = VideoIndex(f)) {
    for (std::size_t k = 0; k < entries->size(); ++k) {
      const DWORD w = (*entries)[k].sizeWord;
      std::printf("%zu %d %u %d\n", k, AVIStreamSampleToTime(s, static_cast<LONG>(k)),
                  w & ~WYXAviFile20::kNotKeyFrame, (w & WYXAviFile20::kNotKeyFrame) ? 0 : 1);
    }
    return 0;
  }
  const LONG start = AVIStreamStart(s);
  const LONG end = start + AVIStreamLength(s);
  for (LONG n = start; n < end; ++n) {
    LONG bytes = -1;
    if (AVIStreamRead(s, n, 1, nullptr, 0, &bytes, nullptr) != 0) bytes = -1;
    const bool key = AVIStreamFindSample(s, n, FIND_PREV | FIND_KEY) == n;
    std::printf("%d %d %d %d\n", n, AVIStreamSampleToTime(s, n), bytes, key ? 1 : 0);
  }
  return 0;
}

int PrintIndex(WYXAviFile& f) {
  const std::vector<WYXAviFile20::IndexEntry>* entries = VideoIndex(f);
  if (!entries) return Fail("no large-file index for this movie");
  std::printf("# sample offset bytes key\n");
  for (std::size_t k = 0; k < entries->size(); ++k) {
    const DWORD w = (*entries)[k].sizeWord;
    std::printf("%zu %llu %u %d\n", k, static_cast<unsigned long long>((*entries)[k].offset),
                w & ~WYXAviFile20::kNotKeyFrame, (w & WYXAviFile20::kNotKeyFrame) ? 0 : 1);
  }
  return 0;
}

// Upright RGB picture of a packed bitmap (bottom-up rows unless the height
// is negative). colours: the table for 8-bit pictures.
bool ToImage(const BITMAPINFOHEADER* h, const BYTE* bits, const RGBQUAD* colours, int colourCount, QImage& out) {
  const int width = h->biWidth;
  const int height = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  const int bpp = h->biBitCount;
  if (width <= 0 || height <= 0 || (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)) return false;
  const std::size_t pitch = static_cast<std::size_t>(DibRowBytes(width, bpp));
  out = QImage(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    const BYTE* row = bits + pitch * static_cast<std::size_t>(h->biHeight < 0 ? y : height - 1 - y);
    uchar* line = out.scanLine(y);
    for (int x = 0; x < width; ++x) {
      BYTE r = 0, g = 0, b = 0;
      if (bpp == 8) {
        const int k = row[x];
        if (k < colourCount) r = colours[k].rgbRed, g = colours[k].rgbGreen, b = colours[k].rgbBlue;
      } else if (bpp == 16) {
        const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);  // 5-5-5
        r = static_cast<BYTE>(((v >> 10) & 31) * 255 / 31);
        g = static_cast<BYTE>(((v >> 5) & 31) * 255 / 31);
        b = static_cast<BYTE>((v & 31) * 255 / 31);
      } else {
        const BYTE* p = row + static_cast<std::size_t>(x) * (bpp / 8);
        b = p[0], g = p[1], r = p[2];
      }
      line[3 * x] = r;
      line[3 * x + 1] = g;
      line[3 * x + 2] = b;
    }
  }
  return true;
}

int WriteFrame(WYXAviFile& f, const char* msText, const char* outPath) {
  char* endp = nullptr;
  const long ms = std::strtol(msText, &endp, 10);
  if (!*msText || *endp || ms < 0 || ms > 0x7FFFFFFF) return Fail(std::string("bad time: ") + msText);
  if (f.GetVideoStreamCount() == 0) return Fail("no video stream");
  if (!f.OpenVideoStream(0)) return Fail("the video stream cannot be decoded");
  const LONG end = f.GetVideoEndTime(0);
  if (ms > end) return Fail("time " + std::to_string(ms) + " ms is past the end (" + std::to_string(end) + " ms)");
  PAVISTREAM s = f.GetVideoStream(0);
  LONG d = AVIStreamTimeToSample(s, static_cast<LONG>(ms == end ? end - 1 : ms));
  // A stored frame of 0 bytes changes nothing: the window keeps showing the
  // picture of the last frame before it that has data.
  const LONG first = AVIStreamStart(s);
  while (d > first) {
    if (f.GetVideoSampleSize(0, d) != 0) break;
    --d;
  }
  BITMAPINFOHEADER* h = nullptr;
  BYTE* bits = nullptr;
  LONG last = -1;
  f.GetVideoFrame(0, AVIStreamSampleToTime(s, d), &h, &bits, &last, false);
  if (!h) return Fail("no picture at " + std::to_string(ms) + " ms");
  const RGBQUAD* colours = f.GetColourTable(0);
  int colourCount = 256;
  if (f.GetVideoFormatSize(0) > static_cast<LONG>(sizeof(BITMAPINFOHEADER))) {
    colours = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(h) + sizeof(BITMAPINFOHEADER));
    colourCount = std::min<int>(256, (f.GetVideoFormatSize(0) - static_cast<LONG>(sizeof(BITMAPINFOHEADER))) / 4);
  }
  QImage image;
  if (!ToImage(h, bits, colours, colourCount, image)) return Fail("unsupported picture format");
  f.CloseVideoStream(0);
  if (!image.save(QString::fromLocal8Bit(outPath), "PNG")) return Fail(std::string("cannot write ") + outPath);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  enum { kStreams, kSamples, kIndex, kFrame } mode = kStreams;
  const char* ms = nullptr;
  const char* out = nullptr;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--samples") {
      mode = kSamples;
    } else if (a == "--index") {
      mode = kIndex;
    } else if (a == "--frame" && i + 1 < argc) {
      mode = kFrame;
      ms = argv[++i];
    } else if (a == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else if (!path) {
      path = argv[i];
    } else {
      return Usage();
    }
  }
  if (!path || (mode == kFrame && !out)) return Usage();

  // Open shows its reasons through the message-box helper, which writes to
  // standard error when no window system is installed.
  WYXAviFile file;
  if (!file.Open(path)) return 1;
  switch (mode) {
    case kStreams: return PrintStreams(file, path);
    case kSamples: return PrintSamples(file);
    case kIndex: return PrintIndex(file);
    case kFrame: return WriteFrame(file, ms, out);
  }
  return 1;
}
