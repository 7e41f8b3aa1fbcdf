// The movie file: an AVI file opened through the platform's file service,
// its sound and video streams (at most five of each), the picture for a
// moment of the movie, palette changes of 8-bit movies, and sound reads.
// Screen-codec ("wyxc") video is decoded here with the built-in decoder;
// other compressions go to the platform's decompressors. Files over 1 GiB
// are read through the embedded OpenDML index reader where the platform's
// index ends.
//
// Failures are results; Open shows its own message boxes (string table
// 10202-10210, 10240). One object is used by one thread at a time.
#pragma once

#include <vector>

#include "media/WYXAviFile20.h"
#include "platform/AviFile.h"
#include "platform/BitmapRecords.h"
#include "platform/SoundFormat.h"
#include "platform/WinTypes.h"

struct ScreenDecoder;

constexpr unsigned IDS_AVI_CANNOT_OPEN = 10202;
constexpr unsigned IDS_AVI_BADFORMAT = 10203;
constexpr unsigned IDS_AVI_MEMORY = 10204;
constexpr unsigned IDS_AVI_FILEREAD = 10205;
constexpr unsigned IDS_AVI_FILEOPEN = 10206;
constexpr unsigned IDS_AVI_NOT_REGISTERED = 10207;
constexpr unsigned IDS_AVI_NO_DECOMPRESSOR = 10208;
constexpr unsigned IDS_AVI_NO_DECOMPRESSOR_TAIL = 10209;
constexpr unsigned IDS_AVI_NO_STREAMS = 10210;
constexpr unsigned IDS_AVI_DV_UNSUPPORTED = 10240;

class WYXAviFile {
 public:
  static constexpr int kMaxStreams = 5;         // of each type
  static constexpr int kPaletteBlockSize = 1076;  // 40-byte header + 256 colours
  static constexpr int kFormatAreaSize = kMaxStreams * kPaletteBlockSize;

  WYXAviFile();
  virtual ~WYXAviFile();
  WYXAviFile(const WYXAviFile&) = delete;
  WYXAviFile& operator=(const WYXAviFile&) = delete;

  // Closes any open file first. False after a message box (file not opened,
  // no streams) or silently (a stream format could not be read).
  bool Open(const char* fileName);
  // Frame objects must have been closed with CloseVideoStream before.
  void Close();
  bool IsOpen() const { return m_pFile != nullptr; }

  int GetVideoStreamCount() const { return static_cast<int>(m_video.size()); }
  int GetAudioStreamCount() const { return static_cast<int>(m_audio.size()); }

  // Stream i's format as stored (bitmap header and colour table); null when
  // i is out of range.
  const BITMAPINFOHEADER* GetVideoFormat(int i) const;
  LONG GetVideoFormatSize(int i) const;  // 0 when i is out of range
  const AVISTREAMINFOA* GetVideoStreamInfo(int i) const;
  bool HasBuiltInDecoder(int i) const;
  // At least 18 bytes; 14- and 16-byte formats are completed with zeros.
  const WAVEFORMATEX* GetAudioFormat(int i) const;
  LONG GetAudioFormatSize(int i) const;  // 0 when i is out of range
  const AVISTREAMINFOA* GetAudioStreamInfo(int i) const;

  // Time of the sample after the last one, in ms; 0 when i is out of range.
  // The video end time is set by OpenVideoStream.
  LONG GetVideoEndTime(int i) const;
  LONG GetAudioEndTime(int i) const;

  // Video stream i's 256-entry palette (the halftone palette until a colour
  // table was installed by a frame fetch); null when i is out of range.
  const RGBQUAD* GetColourTable(int i) const;

  bool AllKeyFrames() const { return m_bAllKeyFrames; }
  const AVIFILEINFOA& GetFileInfo() const { return m_fileInfo; }
  // The platform's stream handles (null when i is out of range).
  PAVISTREAM GetVideoStream(int i) const;
  PAVISTREAM GetAudioStream(int i) const;
  const WYXAviFile20& GetIndexReader() const { return m_index; }

  // Readies stream i for GetVideoFrame (a decompressor for platform-decoded
  // streams; message box when there is none) and sets its end time.
  bool OpenVideoStream(int i);
  bool CloseVideoStream(int i);

  // The picture of stream i at `time` ms. *header and *bits become the new
  // picture, or both null when there is nothing new to show: the time is
  // past the end, its sample is *last, a key-frames-only jump has no key
  // frame to go to, or the fetch or decode failed. *last (the sample last
  // shown, -1 for none) becomes the sample fetched. The memory stays valid
  // until the next fetch on this object (or CloseVideoStream / Close).
  // Result: true when the colour table of an 8-bit picture changed (the
  // picture's own table and GetColourTable(i) hold the new colours).
  bool GetVideoFrame(int i, LONG time, BITMAPINFOHEADER** header, BYTE** bits, LONG* last, bool keyFramesOnly);

  LONG AudioTimeToSample(int i, LONG ms) const;      // 0 when i is out of range
  LONG AudioSampleToTime(int i, LONG sample) const;  // -1 when i is out of range
  // Bytes a convenient read from sample 0 needs; 0 on failure.
  LONG GetAudioReadSize(int i) const;
  // Reads up to *size samples (and bytes) from *position; on success *size
  // becomes the bytes read and *position moves on by the samples read.
  bool ReadAudio(int i, LONG* position, void* buffer, LONG* size);

  // Bytes stored for a video sample (0: a "no change" frame), through the
  // large-file index where the platform cannot read; -1 when unknown.
  LONG GetVideoSampleSize(int i, LONG sample);

 private:
  struct AudioStream {
    PAVISTREAM stream = nullptr;
    std::vector<BYTE> format;
    AVISTREAMINFOA info{};
    LONG endTime = 0;
  };
  struct VideoStream {
    PAVISTREAM stream = nullptr;
    std::vector<BYTE> format;  // BITMAPINFOHEADER and colour table, as stored (at least 40 bytes)
    LONG formatSize = 0;       // bytes the stream's format has
    PGETFRAME frame = nullptr;
    LONG endTime = 0;
    AVISTREAMINFOA info{};
    std::vector<BYTE> outFormat;  // built-in decoder output: the format with biCompression 0
    ScreenDecoder* decoder = nullptr;
    // Built-in decoder output, kept from frame to frame; each stream has its
    // own, as each decodes on top of its own previous picture.
    std::vector<BYTE> picture;
    LONG lastDecoded = -1;
  };

  bool ReadAudioFormat(AudioStream& s);
  bool ReadVideoFormat(VideoStream& s);
  void Empty();
  void ShowOpenFailure(const char* fileName, HRESULT hr) const;
  bool DecodeFrame(int i, LONG t, BITMAPINFOHEADER** header, BYTE** bits);
  bool DecodeOne(int i, LONG f, bool* empty);
  bool UpdatePalette(int i, LONG d, BITMAPINFOHEADER* header);
  static BITMAPINFOHEADER* Format(VideoStream& s) { return reinterpret_cast<BITMAPINFOHEADER*>(s.format.data()); }
  static BITMAPINFOHEADER* OutFormat(VideoStream& s) {
    return reinterpret_cast<BITMAPINFOHEADER*>(s.outFormat.data());
  }

  WYXAviFile20 m_index;
  UINT m_nOpenMode;
  PAVIFILE m_pFile = nullptr;
  AVIFILEINFOA m_fileInfo{};
  bool m_bAllKeyFrames = false;
  std::vector<AudioStream> m_audio;
  std::vector<VideoStream> m_video;
  std::vector<BYTE> m_compressed;  // shared by all streams; grows, never shrinks
  LONG m_nLastFormatChange = -1;
  alignas(4) BYTE m_formatArea[kFormatAreaSize];
};
