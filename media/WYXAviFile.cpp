#include "media/WYXAviFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "media/ScreenDecoder.h"
#include "platform/HalftonePalette.h"
#include "platform/MessageBox.h"
#include "res/StringTable.h"

namespace {

constexpr std::size_t kHeaderSize = sizeof(BITMAPINFOHEADER);
// The largest decoded picture we allocate (a 8192 x 8192 picture at 32 bits).
constexpr std::uint64_t kMaxPictureBytes = 256u << 20;

// Bytes of one picture of the format's geometry (rows padded to 4 bytes);
// 0 when the geometry is not a picture or larger than we allocate.
std::uint64_t PictureBytes(const BITMAPINFOHEADER& h) {
  if (h.biWidth <= 0 || h.biBitCount == 0 || h.biHeight == 0) return 0;
  const std::uint64_t row = static_cast<std::uint64_t>(DibRowBytes(h.biWidth, h.biBitCount));
  const std::uint64_t rows = static_cast<std::uint64_t>(std::llabs(static_cast<long long>(h.biHeight)));
  if (row == 0 || row > kMaxPictureBytes || rows > kMaxPictureBytes / row) return 0;
  return row * rows;
}

}  // namespace

WYXAviFile::WYXAviFile() : m_nOpenMode(OF_SHARE_DENY_WRITE) {
  AVIFileInit();
  Empty();
}

WYXAviFile::~WYXAviFile() {
  Close();
  AVIFileExit();
}

void WYXAviFile::Empty() {
  m_pFile = nullptr;
  m_fileInfo = AVIFILEINFOA{};
  m_bAllKeyFrames = false;
  m_audio.clear();
  m_video.clear();
  m_compressed.clear();
  m_compressed.shrink_to_fit();
  m_nLastFormatChange = -1;
  std::memset(m_formatArea, 0, sizeof m_formatArea);
  PALETTEENTRY halftone[kHalftonePaletteSize];
  GetHalftonePaletteEntries(0, kHalftonePaletteSize, halftone);
  for (int block = 0; block < kMaxStreams; ++block) {
    RGBQUAD* table = reinterpret_cast<RGBQUAD*>(m_formatArea + block * kPaletteBlockSize + kHeaderSize);
    for (int k = 0; k < kHalftonePaletteSize; ++k)
      table[k] = RGBQUAD{halftone[k].peBlue, halftone[k].peGreen, halftone[k].peRed, 0};
  }
}

void WYXAviFile::Close() {
  for (AudioStream& s : m_audio)
    if (s.stream) AVIStreamRelease(s.stream);
  for (VideoStream& s : m_video) {
    if (s.decoder) {
      ScreenDecoderEnd(s.decoder);
      ScreenDecoderFree(s.decoder);
    }
    if (s.stream) AVIStreamRelease(s.stream);
  }
  if (m_pFile) AVIFileRelease(m_pFile);
  // The index reader keeps its own descriptor; a closed movie holds no file open.
  m_index.Reset();
  Empty();
}

void WYXAviFile::ShowOpenFailure(const char* fileName, HRESULT hr) const {
  std::string text = ResString(IDS_AVI_CANNOT_OPEN);
  text += FormatPrintf(" %s (%lx)\n", fileName, static_cast<unsigned long>(static_cast<DWORD>(hr)));
  unsigned reason = 0;
  switch (static_cast<DWORD>(hr)) {
    case 0x80040154u: reason = IDS_AVI_NOT_REGISTERED; break;
    case 0x80044066u: reason = IDS_AVI_BADFORMAT; break;
    case 0x80044067u: reason = IDS_AVI_MEMORY; break;
    case 0x8004406Du: reason = IDS_AVI_FILEREAD; break;
    case 0x8004406Fu: reason = IDS_AVI_FILEOPEN; break;
    default: break;
  }
  if (reason) text += ResString(reason);
  ShowMessageBox(text, MB_OK);
}

bool WYXAviFile::Open(const char* fileName) {
  Close();
  if (!fileName) fileName = "";
  PAVIFILE file = nullptr;
  const HRESULT hr = AVIFileOpenA(&file, fileName, m_nOpenMode, nullptr);
  if (hr != 0 || !file) {
    ShowOpenFailure(fileName, hr != 0 ? hr : AVIERR_FILEOPEN);
    return false;
  }
  m_pFile = file;
  if (AVIFileInfoA(m_pFile, &m_fileInfo, sizeof m_fileInfo) == 0)
    m_bAllKeyFrames = (m_fileInfo.dwCaps & AVIFILECAPS_ALLKEYFRAMES) != 0;

  for (LONG n = 0; n < kMaxStreams; ++n) {
    PAVISTREAM s = nullptr;
    if (AVIFileGetStream(m_pFile, &s, streamtypeAUDIO, n) != 0 || !s) break;
    m_audio.emplace_back().stream = s;
  }
  for (LONG n = 0; n < kMaxStreams; ++n) {
    PAVISTREAM s = nullptr;
    if (AVIFileGetStream(m_pFile, &s, streamtypeVIDEO, n) != 0 || !s) break;
    m_video.emplace_back().stream = s;
  }

  bool ok = true;
  for (AudioStream& s : m_audio) ok = ok && ReadAudioFormat(s);
  for (VideoStream& s : m_video) ok = ok && ReadVideoFormat(s);
  if (!ok) {
    Close();
    return false;
  }
  if (m_audio.empty() && m_video.empty()) {
    ShowMessageBox(FormatPrintf(LoadResString(IDS_AVI_NO_STREAMS), fileName) + "\r\n\r\n" +
                       ResString(IDS_AVI_DV_UNSUPPORTED),
                   MB_OK);
    Close();
    return false;
  }
  m_index.Open(fileName);  // only files over 1 GiB get an index; either way the movie plays
  return true;
}

bool WYXAviFile::ReadAudioFormat(AudioStream& s) {
  const LONG start = AVIStreamStart(s.stream);
  LONG size = 0;
  if (AVIStreamReadFormat(s.stream, start, nullptr, &size) != 0 || size <= 0) return false;
  try {
    s.format.assign(std::max<std::size_t>(static_cast<std::size_t>(size), sizeof(WAVEFORMATEX)), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  LONG got = size;
  if (AVIStreamReadFormat(s.stream, start, s.format.data(), &got) != 0) return false;
  if (AVIStreamInfoA(s.stream, &s.info, sizeof s.info) != 0) return false;
  WAVEFORMATEX* wf = reinterpret_cast<WAVEFORMATEX*>(s.format.data());
  // A plain WAVEFORMAT (14 bytes) has no bit count, a PCMWAVEFORMAT (16) no
  // extra size; whatever follows a short format in our buffer is zeros.
  if (size < 16) wf->wBitsPerSample = 0;
  if (size < 18) wf->cbSize = 0;
  // The extra bytes the format announces must be there: users of the format
  // read cbSize bytes after it.
  if (wf->cbSize > s.format.size() - sizeof(WAVEFORMATEX))
    wf->cbSize = static_cast<WORD>(s.format.size() - sizeof(WAVEFORMATEX));
  s.endTime = AVIStreamSampleToTime(s.stream, start + AVIStreamLength(s.stream));
  return true;
}

bool WYXAviFile::ReadVideoFormat(VideoStream& s) {
  const LONG start = AVIStreamStart(s.stream);
  LONG size = 0;
  if (AVIStreamReadFormat(s.stream, start, nullptr, &size) != 0 || size <= 0) return false;
  try {
    s.format.assign(std::max<std::size_t>(static_cast<std::size_t>(size), kHeaderSize), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  LONG got = size;
  if (AVIStreamReadFormat(s.stream, start, s.format.data(), &got) != 0) return false;
  s.formatSize = size;
  if (AVIStreamInfoA(s.stream, &s.info, sizeof s.info) != 0) return false;

  const BITMAPINFOHEADER* in = Format(s);
  if (in->biCompression == SCREEN_CODEC_FOURCC) {
    // The decoder's output format carries the stream's colour table, so an
    // 8-bit picture can be painted with the colours in force.
    s.outFormat.assign(s.format.begin(), s.format.end());
    BITMAPINFOHEADER* out = OutFormat(s);
    out->biCompression = BI_RGB;
    const std::uint64_t image = PictureBytes(*in) * (in->biPlanes > 1 ? in->biPlanes : 1);
    out->biSizeImage = image <= kMaxPictureBytes ? static_cast<DWORD>(image) : 0;
    s.decoder = ScreenDecoderCreate();
    if (s.decoder) ScreenDecoderBegin(s.decoder, in, out);  // a refused format fails each frame instead
  }
  return true;
}

const BITMAPINFOHEADER* WYXAviFile::GetVideoFormat(int i) const {
  return i >= 0 && i < GetVideoStreamCount() ? reinterpret_cast<const BITMAPINFOHEADER*>(m_video[i].format.data())
                                             : nullptr;
}

LONG WYXAviFile::GetVideoFormatSize(int i) const {
  return i >= 0 && i < GetVideoStreamCount() ? m_video[i].formatSize : 0;
}

const AVISTREAMINFOA* WYXAviFile::GetVideoStreamInfo(int i) const {
  return i >= 0 && i < GetVideoStreamCount() ? &m_video[i].info : nullptr;
}

bool WYXAviFile::HasBuiltInDecoder(int i) const {
  return i >= 0 && i < GetVideoStreamCount() && m_video[i].decoder != nullptr;
}

const WAVEFORMATEX* WYXAviFile::GetAudioFormat(int i) const {
  return i >= 0 && i < GetAudioStreamCount() ? reinterpret_cast<const WAVEFORMATEX*>(m_audio[i].format.data())
                                             : nullptr;
}

LONG WYXAviFile::GetAudioFormatSize(int i) const {
  return i >= 0 && i < GetAudioStreamCount() ? static_cast<LONG>(m_audio[i].format.size()) : 0;
}

const AVISTREAMINFOA* WYXAviFile::GetAudioStreamInfo(int i) const {
  return i >= 0 && i < GetAudioStreamCount() ? &m_audio[i].info : nullptr;
}

LONG WYXAviFile::GetVideoEndTime(int i) const { return i >= 0 && i < GetVideoStreamCount() ? m_video[i].endTime : 0; }

LONG WYXAviFile::GetAudioEndTime(int i) const { return i >= 0 && i < GetAudioStreamCount() ? m_audio[i].endTime : 0; }

const RGBQUAD* WYXAviFile::GetColourTable(int i) const {
  if (i < 0 || i >= GetVideoStreamCount()) return nullptr;
  return reinterpret_cast<const RGBQUAD*>(m_formatArea + i * kPaletteBlockSize + kHeaderSize);
}

PAVISTREAM WYXAviFile::GetVideoStream(int i) const {
  return i >= 0 && i < GetVideoStreamCount() ? m_video[i].stream : nullptr;
}

PAVISTREAM WYXAviFile::GetAudioStream(int i) const {
  return i >= 0 && i < GetAudioStreamCount() ? m_audio[i].stream : nullptr;
}

bool WYXAviFile::OpenVideoStream(int i) {
  if (i < 0 || i >= GetVideoStreamCount()) return false;
  VideoStream& s = m_video[i];
  if (!s.decoder && !s.frame) {
    s.frame = AVIStreamGetFrameOpen(s.stream, nullptr);
    if (!s.frame) {
      char type[5] = {}, handler[5] = {};
      std::memcpy(type, &s.info.fccType, 4);
      std::memcpy(handler, &s.info.fccHandler, 4);
      ShowMessageBox(ResString(IDS_AVI_NO_DECOMPRESSOR) + FormatPrintf(" (%4.4s:%4.4s) ", type, handler) +
                         ResString(IDS_AVI_NO_DECOMPRESSOR_TAIL),
                     MB_OK);
      return false;
    }
  }
  s.endTime = AVIStreamSampleToTime(s.stream, AVIStreamStart(s.stream) + AVIStreamLength(s.stream));
  return true;
}

bool WYXAviFile::CloseVideoStream(int i) {
  if (i < 0 || i >= GetVideoStreamCount()) return false;
  VideoStream& s = m_video[i];
  if (!s.frame) return true;  // built-in streams have no frame object
  if (AVIStreamGetFrameClose(s.frame) != 0) return false;
  s.frame = nullptr;
  return true;
}

bool WYXAviFile::GetVideoFrame(int i, LONG time, BITMAPINFOHEADER** header, BYTE** bits, LONG* last,
                               bool keyFramesOnly) {
  BITMAPINFOHEADER* h = nullptr;
  BYTE* b = nullptr;
  if (header) *header = nullptr;
  if (bits) *bits = nullptr;
  LONG noLast = -1;
  LONG& L = last ? *last : noLast;
  if (i < 0 || i >= GetVideoStreamCount()) return false;
  VideoStream& s = m_video[i];
  if (time > s.endTime) return false;
  if (time == s.endTime) time = s.endTime - 1;
  if (time < 0) return false;

  LONG d = AVIStreamTimeToSample(s.stream, time);
  if (d < 0 || d == L) return false;
  if (keyFramesOnly && static_cast<LONGLONG>(d) != static_cast<LONGLONG>(L) + 1) {
    const LONG k = m_index.FindKeyFrameBefore(s.stream, i, d);
    if (k >= 0) {
      if (d > L) {
        if (L > k || d == k) return false;
        d = k;
      } else {
        d = k;
      }
    }
  }

  if (s.decoder) {
    DecodeFrame(i, d, &h, &b);
  } else if (s.frame) {
    h = static_cast<BITMAPINFOHEADER*>(AVIStreamGetFrame(s.frame, d));
    if (h) b = reinterpret_cast<BYTE*>(h) + s.formatSize;
  }
  L = d;
  if (header) *header = h;
  if (bits) *bits = b;
  if (h && h->biBitCount == 8) return UpdatePalette(i, d, h);
  return false;
}

bool WYXAviFile::DecodeFrame(int i, LONG t, BITMAPINFOHEADER** header, BYTE** bits) {
  VideoStream& s = m_video[i];
  const LONG L = s.lastDecoded;
  bool empty = false;
  if (t != 0 && L != t - 1 && !m_bAllKeyFrames) {
    // The key frame at or before t: a key frame codes every pixel, so
    // fetching one needs nothing decoded before it.
    LONG k = AVIStreamFindSample(s.stream, t, FIND_PREV | FIND_KEY);
    if (k < 0) k = m_index.FindKeyFrameInIndex(i, t);
    if (k >= 0 && k <= t) {
      // Going forward past the key frame, the picture already holds frame L.
      if (L < t && k < L) k = L;
      for (LONG f = k; f < t; ++f)
        if (!DecodeOne(i, f, &empty)) return false;
    }
  }
  if (!DecodeOne(i, t, &empty) || empty) return false;
  *header = OutFormat(s);
  *bits = s.picture.data();
  return true;
}

bool WYXAviFile::DecodeOne(int i, LONG f, bool* empty) {
  VideoStream& s = m_video[i];
  *empty = false;
  LONG size = 0;
  if (FAILED(m_index.ReadVideo(s.stream, i, f, 1, nullptr, 0, &size, nullptr)) || size < 0) {
    s.lastDecoded = -1;
    return false;
  }
  if (size == 0) {  // "no change": the picture stays as it is
    *empty = true;
    if (s.lastDecoded == f - 1) s.lastDecoded = f;
    return true;
  }
  const BITMAPINFOHEADER* out = OutFormat(s);
  // The decoder writes a whole picture of the output geometry.
  const std::uint64_t need = PictureBytes(*out);
  const std::uint64_t image = need == 0 ? 0 : std::max<std::uint64_t>(need, out->biSizeImage);
  // A stored frame is at most a zlib stream of twice the picture's bytes;
  // anything larger is damage and must not size our buffer.
  if (image == 0 || image > kMaxPictureBytes ||
      static_cast<std::uint64_t>(size) > compressBound(static_cast<uLong>(2 * image)) + 64) {
    s.lastDecoded = -1;
    return false;
  }
  try {
    if (m_compressed.size() < static_cast<std::size_t>(size)) m_compressed.resize(static_cast<std::size_t>(size));
    if (s.picture.empty()) s.picture.assign(static_cast<std::size_t>(image), 0);
  } catch (const std::bad_alloc&) {
    s.lastDecoded = -1;
    return false;
  }
  LONG got = 0;
  if (FAILED(m_index.ReadVideo(s.stream, i, f, 1, m_compressed.data(), size, &got, nullptr)) || got <= 0 ||
      got > size) {
    s.lastDecoded = -1;
    return false;
  }
  Format(s)->biSizeImage = static_cast<DWORD>(got);
  if (ScreenDecoderDecompress(s.decoder, Format(s), m_compressed.data(), out, s.picture.data()) != ICERR_OK) {
    s.lastDecoded = -1;
    return false;
  }
  s.lastDecoded = f;
  return true;
}

bool WYXAviFile::UpdatePalette(int i, LONG d, BITMAPINFOHEADER* header) {
  VideoStream& s = m_video[i];
  LONG f = AVIStreamFindSample(s.stream, d, FIND_PREV | FIND_FORMAT);
  if (f < 0) {
    const LONG g = AVIStreamFindSample(s.stream, 0, FIND_NEXT | FIND_FORMAT);
    if (g != -1 && d < g) f = 0;
  }
  if (f == m_nLastFormatChange) return false;

  // The format is read with the room from this stream's block to the end of
  // the area, but only this stream's block takes its colours: a table
  // longer than 256 entries must not spill into the next stream's palette.
  const LONG room = kFormatAreaSize - i * kPaletteBlockSize;
  BYTE read[kFormatAreaSize];
  LONG size = room;
  if (AVIStreamReadFormat(s.stream, f, read, &size) != 0) return false;
  if (size < static_cast<LONG>(kHeaderSize) || size > room - static_cast<LONG>(kHeaderSize)) return false;
  BYTE* block = m_formatArea + i * kPaletteBlockSize;
  std::memcpy(block, read, std::min<LONG>(size, kPaletteBlockSize));

  // The frame's own colour table ends where its bits begin: at the stream's
  // format size (built-in output formats carry a table of the same size).
  const std::size_t tableRoom = s.formatSize > static_cast<LONG>(kHeaderSize) ? s.formatSize - kHeaderSize : 0;
  const std::size_t n = std::min(static_cast<std::size_t>(size) - kHeaderSize, tableRoom);
  std::memcpy(reinterpret_cast<BYTE*>(header) + kHeaderSize, read + kHeaderSize, n);
  m_nLastFormatChange = f;
  return true;
}

LONG WYXAviFile::AudioTimeToSample(int i, LONG ms) const {
  return i >= 0 && i < GetAudioStreamCount() ? AVIStreamTimeToSample(m_audio[i].stream, ms) : 0;
}

LONG WYXAviFile::AudioSampleToTime(int i, LONG sample) const {
  return i >= 0 && i < GetAudioStreamCount() ? AVIStreamSampleToTime(m_audio[i].stream, sample) : -1;
}

LONG WYXAviFile::GetAudioReadSize(int i) const {
  if (i < 0 || i >= GetAudioStreamCount()) return 0;
  LONG bytes = 0;
  if (AVIStreamRead(m_audio[i].stream, 0, AVISTREAMREAD_CONVENIENT, nullptr, 0, &bytes, nullptr) != 0) return 0;
  return bytes > 0 ? bytes : 0;
}

bool WYXAviFile::ReadAudio(int i, LONG* position, void* buffer, LONG* size) {
  // Without a buffer the platform would answer a size query, which must not
  // pass for a read.
  if (i < 0 || i >= GetAudioStreamCount() || !position || !size || !buffer || *size <= 0) return false;
  LONG bytes = 0, samples = 0;
  if (FAILED(m_index.ReadAudio(m_audio[i].stream, i, *position, *size, buffer, *size, &bytes, &samples))) return false;
  *size = bytes;
  *position += samples;
  return true;
}

LONG WYXAviFile::GetVideoSampleSize(int i, LONG sample) {
  if (i < 0 || i >= GetVideoStreamCount()) return -1;
  LONG bytes = 0;
  if (FAILED(m_index.ReadVideo(m_video[i].stream, i, sample, 1, nullptr, 0, &bytes, nullptr))) return -1;
  return bytes;
}
