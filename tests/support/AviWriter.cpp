#include "tests/support/AviWriter.h"

#include <algorithm>
#include <cstring>

#include "platform/AviFile.h"

namespace {

template <typename T>
void Append(std::vector<BYTE>& out, const T& value) {
  const BYTE* p = reinterpret_cast<const BYTE*>(&value);
  out.insert(out.end(), p, p + sizeof(T));
}

}  // namespace

AviStreamSpec AviStreamSpec::Video(FOURCC compression, LONG width, LONG height, WORD bitCount, DWORD rate,
                                   DWORD scale, std::span<const RGBQUAD> palette, FOURCC handler) {
  AviStreamSpec s;
  s.fccType = streamtypeVIDEO;
  s.fccHandler = handler ? handler : compression;
  s.dwRate = rate;
  s.dwScale = scale;
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bitCount;
  h.biCompression = compression;
  h.biSizeImage = static_cast<DWORD>(DibRowBytes(width, bitCount) * (height < 0 ? -height : height));
  h.biClrUsed = static_cast<DWORD>(palette.size());
  Append(s.format, h);
  for (const RGBQUAD& q : palette) Append(s.format, q);
  s.chunkKind = (compression == BI_RGB || compression == BI_BITFIELDS) ? kChunkKindUncompressed
                                                                        : kChunkKindCompressed;
  return s;
}

AviStreamSpec AviStreamSpec::Pcm(WORD channels, DWORD samplesPerSec, WORD bitsPerSample, std::size_t formatSize) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = samplesPerSec;
  f.nBlockAlign = static_cast<WORD>(channels * ((bitsPerSample + 7) / 8));
  f.nAvgBytesPerSec = samplesPerSec * f.nBlockAlign;
  f.wBitsPerSample = bitsPerSample;
  f.cbSize = 0;
  std::vector<BYTE> bytes;
  Append(bytes, f);
  bytes.resize(std::min<std::size_t>(formatSize, bytes.size()));
  return Sound(bytes, f.nBlockAlign, 1, samplesPerSec);
}

AviStreamSpec AviStreamSpec::Sound(std::span<const BYTE> format, DWORD sampleSize, DWORD scale, DWORD rate) {
  AviStreamSpec s;
  s.fccType = streamtypeAUDIO;
  s.fccHandler = 0;
  s.dwScale = scale;
  s.dwRate = rate;
  s.dwSampleSize = sampleSize;
  s.dwQuality = 0xFFFFFFFF;
  s.format.assign(format.begin(), format.end());
  s.chunkKind = kChunkKindWave;
  return s;
}

AviWriter::AviWriter(AviWriterOptions options) : m_options(options) {}

int AviWriter::AddStream(const AviStreamSpec& spec) {
  m_streams.push_back(spec);
  m_largestChunk.push_back(0);
  return static_cast<int>(m_streams.size()) - 1;
}

void AviWriter::AddFrame(int stream, std::span<const BYTE> data, bool key) {
  AviWrittenChunk c;
  c.stream = stream;
  c.id = AviChunkId(stream, m_streams.at(stream).chunkKind);
  c.size = static_cast<DWORD>(data.size());
  c.idx1Flags = key ? AVIIF_KEYFRAME : 0;
  c.data.assign(data.begin(), data.end());
  m_largestChunk.at(stream) = std::max(m_largestChunk.at(stream), c.size);
  m_chunks.push_back(std::move(c));
}

void AviWriter::AddSound(int stream, std::span<const BYTE> data) { AddFrame(stream, data, true); }

void AviWriter::AddPaletteChange(int stream, BYTE first, std::span<const PALETTEENTRY> entries) {
  AviWrittenChunk c;
  c.stream = stream;
  c.id = AviChunkId(stream, kChunkKindPalette);
  c.palette = true;
  c.idx1Flags = AVIIF_NO_TIME;
  AviPaletteChangeHeader h{first, static_cast<BYTE>(entries.size() & 0xFF), 0};
  Append(c.data, h);
  for (const PALETTEENTRY& e : entries) Append(c.data, e);
  c.size = static_cast<DWORD>(c.data.size());
  m_chunks.push_back(std::move(c));
}

void AviWriter::AddHole(std::uint64_t dataSize) {
  AviWrittenChunk c;
  c.id = kFourCCJunk;
  c.holeSize = dataSize;
  c.size = static_cast<DWORD>(dataSize);
  m_chunks.push_back(std::move(c));
}

void AviWriter::AddRawChunk(FOURCC id, std::span<const BYTE> data) {
  AviWrittenChunk c;
  c.id = id;
  c.size = static_cast<DWORD>(data.size());
  c.data.assign(data.begin(), data.end());
  m_chunks.push_back(std::move(c));
}

DWORD AviWriter::SamplesOf(int stream) const {
  const AviStreamSpec& s = m_streams.at(stream);
  std::uint64_t n = 0;
  for (const AviWrittenChunk& c : m_chunks) {
    if (c.stream != stream || c.palette || c.holeSize) continue;
    n += s.dwSampleSize ? c.size / s.dwSampleSize : 1;
  }
  return static_cast<DWORD>(n);
}

AviMainHeader AviWriter::MakeMainHeader() const {
  AviMainHeader h{};
  h.dwFlags = m_options.mainHeaderFlags;
  h.dwStreams = m_options.mainHeaderStreams.value_or(static_cast<DWORD>(m_streams.size()));
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    const AviStreamSpec& s = m_streams[i];
    h.dwSuggestedBufferSize = std::max(h.dwSuggestedBufferSize, m_largestChunk[i]);
    if (s.fccType != streamtypeVIDEO || h.dwWidth != 0) continue;
    if (s.dwRate) h.dwMicroSecPerFrame = static_cast<DWORD>(1000000ull * s.dwScale / s.dwRate);
    h.dwTotalFrames = SamplesOf(static_cast<int>(i));
    if (s.format.size() >= sizeof(BITMAPINFOHEADER)) {
      BITMAPINFOHEADER bh;
      std::memcpy(&bh, s.format.data(), sizeof bh);
      h.dwWidth = static_cast<DWORD>(bh.biWidth);
      h.dwHeight = static_cast<DWORD>(bh.biHeight < 0 ? -bh.biHeight : bh.biHeight);
    }
  }
  return h;
}

AviStreamHeader AviWriter::MakeStreamHeader(int stream) const {
  const AviStreamSpec& s = m_streams.at(stream);
  AviStreamHeader h{};
  h.fccType = s.fccType;
  h.fccHandler = s.fccHandler;
  h.dwFlags = s.dwFlags;
  h.dwScale = s.dwScale;
  h.dwRate = s.dwRate;
  h.dwStart = s.dwStart;
  h.dwLength = s.lengthOverride.value_or(SamplesOf(stream));
  h.dwSuggestedBufferSize = s.dwSuggestedBufferSize ? s.dwSuggestedBufferSize : m_largestChunk.at(stream);
  h.dwQuality = s.dwQuality;
  h.dwSampleSize = s.dwSampleSize;
  if (s.fccType == streamtypeVIDEO && s.format.size() >= sizeof(BITMAPINFOHEADER)) {
    BITMAPINFOHEADER bh;
    std::memcpy(&bh, s.format.data(), sizeof bh);
    h.rcFrame.right = static_cast<std::int16_t>(bh.biWidth);
    h.rcFrame.bottom = static_cast<std::int16_t>(bh.biHeight < 0 ? -bh.biHeight : bh.biHeight);
  }
  return h;
}

void AviWriter::WriteHdrl(RiffWriter& out) {
  m_hdrlOffset = out.BeginList(kFourCCList, kFourCCHdrl);
  m_avihOffset = out.Tell();
  out.WriteChunk(kFourCCAvih, AsBytes(MakeMainHeader()));
  m_strhOffsets.assign(m_streams.size(), 0);
  m_strfOffsets.assign(m_streams.size(), 0);
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    const std::uint64_t strl = out.BeginList(kFourCCList, kFourCCStrl);
    m_strhOffsets[i] = out.Tell();
    out.WriteChunk(kFourCCStrh, AsBytes(MakeStreamHeader(static_cast<int>(i))));
    m_strfOffsets[i] = out.Tell();
    out.WriteChunk(kFourCCStrf, m_streams[i].format);
    if (!m_streams[i].name.empty()) {
      std::vector<BYTE> name(m_streams[i].name.begin(), m_streams[i].name.end());
      name.push_back(0);
      out.WriteChunk(kFourCCStrn, name);
    }
    WriteStreamExtras(out, static_cast<int>(i));
    out.EndList(strl);
  }
  out.EndList(m_hdrlOffset);
}

void AviWriter::WriteChunks(RiffWriter& out, std::size_t first, std::size_t last) {
  for (std::size_t i = first; i < last && i < m_chunks.size(); ++i) {
    AviWrittenChunk& c = m_chunks[i];
    c.headerOffset = out.Tell();
    if (c.holeSize)
      out.WriteHole(c.holeSize);
    else
      out.WriteChunk(c.id, c.data);
  }
}

void AviWriter::WriteIdx1(RiffWriter& out, std::size_t first, std::size_t last, std::uint64_t moviListOffset) {
  m_idx1Offset = out.Tell();
  const std::uint64_t start = out.BeginChunk(kFourCCIdx1);
  // Offsets point at the chunk header, counted from the 'movi' list type.
  const std::uint64_t base = m_options.idx1FromFileStart ? 0 : moviListOffset + 8;
  for (std::size_t i = first; i < last && i < m_chunks.size(); ++i) {
    const AviWrittenChunk& c = m_chunks[i];
    if (c.stream < 0) continue;
    AviIndexEntry e{c.id, c.idx1Flags, static_cast<DWORD>(c.headerOffset - base), c.size};
    out.Write(&e, sizeof e);
  }
  out.EndChunk(start);
}

bool AviWriter::Write(const std::string& path) {
  RiffWriter out;
  if (!out.Open(path)) return false;
  const std::uint64_t riff = out.BeginList(kFourCCRiff, kFourCCAvi);
  WriteHdrl(out);
  m_moviOffset = out.BeginList(kFourCCList, kFourCCMovi);
  WriteChunks(out, 0, m_chunks.size());
  out.EndList(m_moviOffset);
  m_idx1Offset = 0;
  if (m_options.writeIdx1) WriteIdx1(out, 0, m_chunks.size(), m_moviOffset);
  out.EndList(riff);
  m_fileSize = out.Tell();
  return out.Close();
}
