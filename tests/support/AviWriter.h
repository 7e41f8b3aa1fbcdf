// Fixture writer for AVI 1.0 files: RIFF 'AVI ' with hdrl (avih, one strl per
// stream with strh, strf and an optional strn), a movi list holding the
// chunks in the order they were added (interleaved as the test adds them),
// and an idx1 index with key-frame flags. Palette changes are "##pc" chunks.
//
// Chunks are collected first and laid out by Write, which records where each
// one landed (Chunks(), the offsets of the headers) so tests can damage a file
// on purpose and larger-file writers can reuse the pieces: the hdrl, movi and
// idx1 steps are separate protected members, and AddHole puts a JUNK chunk
// whose content is skipped by seeking, so later chunks can sit far into a
// sparse file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/AviRecords.h"
#include "platform/BitmapRecords.h"
#include "platform/SoundFormat.h"
#include "platform/WinTypes.h"
#include "tests/support/RiffWriter.h"

struct AviStreamSpec {
  FOURCC fccType = 0;
  FOURCC fccHandler = 0;
  DWORD dwFlags = 0;
  DWORD dwScale = 1;
  DWORD dwRate = 15;
  DWORD dwStart = 0;
  DWORD dwSampleSize = 0;  // 0: one sample per chunk (video); block size for sound
  DWORD dwQuality = 0xFFFFFFFF;
  DWORD dwSuggestedBufferSize = 0;   // 0: the largest chunk written
  std::optional<DWORD> lengthOverride;  // dwLength; default: the samples written
  std::vector<BYTE> format;             // the strf content as stored
  std::string name;                     // strn; empty: no strn chunk
  WORD chunkKind = kChunkKindCompressed;  // "dc", "db" or "wb"

  // A video stream; biCompression = compression, fccHandler = handler (0: the
  // compression). palette: the colour table stored after the header.
  static AviStreamSpec Video(FOURCC compression, LONG width, LONG height, WORD bitCount, DWORD rate,
                             DWORD scale = 1, std::span<const RGBQUAD> palette = {}, FOURCC handler = 0);
  // PCM sound: dwSampleSize = block align, rate = samples per second.
  // formatSize 14, 16 or 18 stores WAVEFORMAT, PCMWAVEFORMAT or WAVEFORMATEX.
  static AviStreamSpec Pcm(WORD channels, DWORD samplesPerSec, WORD bitsPerSample, std::size_t formatSize = 18);
  // Any fixed-sample-size sound format stored as given.
  static AviStreamSpec Sound(std::span<const BYTE> format, DWORD sampleSize, DWORD scale, DWORD rate);
};

struct AviWriterOptions {
  bool writeIdx1 = true;
  bool idx1FromFileStart = false;  // idx1 offsets from the file start instead of the movi list
  std::optional<DWORD> mainHeaderStreams;  // avih dwStreams; default: the streams added
  DWORD mainHeaderFlags = AVIF_HASINDEX | AVIF_ISINTERLEAVED;
};

// Where a chunk landed (filled by Write).
struct AviWrittenChunk {
  int stream = -1;  // -1: a hole
  FOURCC id = 0;
  std::uint64_t headerOffset = 0;  // of the 8-byte chunk header
  DWORD size = 0;                  // data bytes
  DWORD idx1Flags = 0;
  bool palette = false;
  std::vector<BYTE> data;  // empty for holes
  std::uint64_t holeSize = 0;
};

class AviWriter {
 public:
  explicit AviWriter(AviWriterOptions options = {});
  virtual ~AviWriter() = default;

  // Streams are numbered in the order added (their file order).
  int AddStream(const AviStreamSpec& spec);
  // One video sample (empty data: a 0-byte "no change" sample).
  void AddFrame(int stream, std::span<const BYTE> data, bool key = true);
  // One sound chunk holding data.size() / dwSampleSize samples.
  void AddSound(int stream, std::span<const BYTE> data);
  // A "##pc" chunk changing entries first.. of the colour table from the next
  // video sample of the stream on.
  void AddPaletteChange(int stream, BYTE first, std::span<const PALETTEENTRY> entries);
  // A JUNK chunk in the movi list of dataSize bytes that are not written.
  void AddHole(std::uint64_t dataSize);
  // Any other chunk in the movi list (not indexed).
  void AddRawChunk(FOURCC id, std::span<const BYTE> data);

  bool Write(const std::string& path);

  const std::vector<AviWrittenChunk>& Chunks() const { return m_chunks; }
  std::uint64_t HdrlOffset() const { return m_hdrlOffset; }
  std::uint64_t MainHeaderOffset() const { return m_avihOffset; }  // of the avih chunk header
  std::uint64_t StreamHeaderOffset(int stream) const { return m_strhOffsets.at(stream); }  // strh header
  std::uint64_t StreamFormatOffset(int stream) const { return m_strfOffsets.at(stream); }  // strf header
  std::uint64_t MoviOffset() const { return m_moviOffset; }  // of the LIST header
  std::uint64_t Idx1Offset() const { return m_idx1Offset; }  // of the idx1 header, 0 without
  std::uint64_t FileSize() const { return m_fileSize; }

  // Samples written so far to a stream (frames, or sound bytes / dwSampleSize).
  DWORD SamplesOf(int stream) const;
  const AviStreamSpec& Spec(int stream) const { return m_streams.at(stream); }
  int StreamCount() const { return static_cast<int>(m_streams.size()); }

 protected:
  AviMainHeader MakeMainHeader() const;
  AviStreamHeader MakeStreamHeader(int stream) const;
  // Writes LIST hdrl; WriteStreamExtras may add chunks to each strl (after strn).
  void WriteHdrl(RiffWriter& out);
  virtual void WriteStreamExtras(RiffWriter& /*out*/, int /*stream*/) {}
  // Writes the chunks [first, last) of Chunks() at the current position,
  // filling in their offsets.
  void WriteChunks(RiffWriter& out, std::size_t first, std::size_t last);
  // idx1 over the chunks [first, last) relative to moviListOffset (or the file start).
  void WriteIdx1(RiffWriter& out, std::size_t first, std::size_t last, std::uint64_t moviListOffset);

  AviWriterOptions m_options;
  std::vector<AviStreamSpec> m_streams;
  std::vector<AviWrittenChunk> m_chunks;
  std::vector<DWORD> m_largestChunk;
  std::uint64_t m_hdrlOffset = 0;
  std::uint64_t m_avihOffset = 0;
  std::vector<std::uint64_t> m_strhOffsets;
  std::vector<std::uint64_t> m_strfOffsets;
  std::uint64_t m_moviOffset = 0;
  std::uint64_t m_idx1Offset = 0;
  std::uint64_t m_fileSize = 0;
};

// Bytes of a record or array, for AddFrame and patches.
template <typename T>
std::span<const BYTE> AsBytes(const T& value) {
  return {reinterpret_cast<const BYTE*>(&value), sizeof(T)};
}
