#include "platform/AviFileParser.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/AviFile.h"
#include "platform/BitmapRecords.h"
#include "platform/SoundFormat.h"

namespace {

constexpr std::size_t kMaxFormatSize = 1 << 20;
constexpr std::size_t kMaxStreams = 100;  // chunk ids carry two digits

DWORD U32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}

}  // namespace

bool AviFileParser::ReadChunkHeader(std::uint64_t pos, Chunk& c) const {
  BYTE h[8];
  if (!m_file->ReadAt(h, 8, pos)) return false;
  c.id = U32(h);
  c.offset = pos;
  c.dataSize = U32(h + 4);
  return true;
}

HRESULT AviFileParser::Parse(AviFileContent& content) {
  try {
    const std::uint64_t fileSize = m_file->Size();
    BYTE riff[12] = {};
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, 12));
    if (have > 0 && !m_file->ReadAt(riff, have, 0)) return AVIERR_FILEREAD;
    // Too short to tell: a read that came up short, unless it is plainly something else.
    if (have >= 4 && U32(riff) != kFourCCRiff) return AVIERR_BADFORMAT;
    if (have >= 12 && U32(riff + 8) != kFourCCAvi) return AVIERR_BADFORMAT;
    if (have < 12) return AVIERR_FILEREAD;
    const DWORD riffSize = U32(riff + 4);
    if (riffSize < 4) return AVIERR_BADFORMAT;
    // Writers that stopped early leave a size that runs past the end.
    const std::uint64_t riffEnd = std::min<std::uint64_t>(8ull + riffSize, fileSize);

    bool hdrl = false;
    for (std::uint64_t pos = 12; pos + 8 <= riffEnd;) {
      Chunk c;
      if (!ReadChunkHeader(pos, c)) break;
      if (c.id == kFourCCList) {
        BYTE type[4];
        if (c.dataSize < 4 || !m_file->ReadAt(type, 4, c.DataStart())) {
          if (!hdrl) return AVIERR_FILEREAD;
          break;
        }
        const FOURCC t = U32(type);
        if (t == kFourCCHdrl && !hdrl) {
          if (c.End() > fileSize) return AVIERR_FILEREAD;
          const HRESULT hr = ParseHdrl(c.DataStart() + 4, c.End(), content);
          if (hr != AVIERR_OK) return hr;
          hdrl = true;
        } else if (t == kFourCCMovi && !m_hasMovi) {
          m_hasMovi = true;
          m_moviType = c.DataStart();
          m_moviEnd = std::min(c.End(), fileSize);
        }
      } else if (c.id == kFourCCIdx1 && !m_hasIdx1) {
        m_hasIdx1 = true;
        m_idx1Data = c.DataStart();
        m_idx1Size = std::min(c.dataSize, fileSize - std::min(fileSize, c.DataStart()));
      }
      pos = c.Next();
    }
    if (!hdrl) return AVIERR_BADFORMAT;

    m_truncated.assign(content.streams.size(), false);
    if (m_hasMovi && !(m_hasIdx1 && IndexFromIdx1(content))) {
      for (auto& s : content.streams) {
        s->chunks.clear();
        s->paletteChanges.clear();
        s->indexedSamples = 0;
      }
      m_truncated.assign(content.streams.size(), false);
      IndexFromMovi(content);
    }
    for (auto& s : content.streams) s->FinishIndex();
    return AVIERR_OK;
  } catch (const std::bad_alloc&) {
    return AVIERR_MEMORY;
  }
}

HRESULT AviFileParser::ParseHdrl(std::uint64_t start, std::uint64_t end, AviFileContent& content) {
  bool avih = false;
  for (std::uint64_t pos = start; pos + 8 <= end;) {
    Chunk c;
    if (!ReadChunkHeader(pos, c)) return AVIERR_FILEREAD;
    if (c.End() > end) return c.End() > m_file->Size() ? AVIERR_FILEREAD : AVIERR_BADFORMAT;
    if (c.id == kFourCCAvih) {
      std::memset(&content.mainHeader, 0, sizeof content.mainHeader);
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(c.dataSize, sizeof(AviMainHeader)));
      if (!m_file->ReadAt(&content.mainHeader, n, c.DataStart())) return AVIERR_FILEREAD;
      avih = true;
    } else if (c.id == kFourCCList && c.dataSize >= 4) {
      BYTE type[4];
      if (!m_file->ReadAt(type, 4, c.DataStart())) return AVIERR_FILEREAD;
      if (U32(type) == kFourCCStrl) {
        if (!avih) return AVIERR_BADFORMAT;
        if (content.streams.size() < kMaxStreams) {
          const HRESULT hr = ParseStrl(c.DataStart() + 4, c.End(), content);
          if (hr != AVIERR_OK) return hr;
        }
      }
    }
    pos = c.Next();
  }
  return avih ? AVIERR_OK : AVIERR_BADFORMAT;
}

HRESULT AviFileParser::ParseStrl(std::uint64_t start, std::uint64_t end, AviFileContent& content) {
  auto s = std::make_shared<AviStreamData>();
  s->file = m_file;
  bool strh = false, strf = false;
  for (std::uint64_t pos = start; pos + 8 <= end;) {
    Chunk c;
    if (!ReadChunkHeader(pos, c)) return AVIERR_FILEREAD;
    if (c.End() > end) return AVIERR_BADFORMAT;
    if (c.id == kFourCCStrh && !strh) {
      if (c.dataSize < 48) return AVIERR_BADFORMAT;  // 48: older headers without the frame rectangle
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(c.dataSize, sizeof(AviStreamHeader)));
      if (!m_file->ReadAt(&s->header, n, c.DataStart())) return AVIERR_FILEREAD;
      strh = true;
    } else if (c.id == kFourCCStrf && !strf) {
      if (c.dataSize > kMaxFormatSize) return AVIERR_BADFORMAT;
      s->format.resize(static_cast<std::size_t>(c.dataSize));
      if (c.dataSize && !m_file->ReadAt(s->format.data(), s->format.size(), c.DataStart())) return AVIERR_FILEREAD;
      strf = true;
    } else if (c.id == kFourCCStrn) {
      char name[64] = {};
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(c.dataSize, 63));
      if (n && !m_file->ReadAt(name, n, c.DataStart())) return AVIERR_FILEREAD;
      s->name.assign(name, strnlen(name, n));
    }
    pos = c.Next();
  }
  if (!strh || !strf) return AVIERR_BADFORMAT;
  // The callers read these records in full from the format.
  if (s->IsVideo() && s->format.size() < sizeof(BITMAPINFOHEADER)) return AVIERR_BADFORMAT;
  if (s->header.fccType == streamtypeAUDIO && s->format.size() < sizeof(WAVEFORMAT)) return AVIERR_BADFORMAT;
  content.streams.push_back(std::move(s));
  return AVIERR_OK;
}

void AviFileParser::AddChunk(AviFileContent& content, FOURCC id, std::uint64_t dataOffset, DWORD size, bool key) {
  const int n = AviChunkStream(id);
  if (n < 0 || n >= static_cast<int>(content.streams.size()) || m_truncated[n]) return;
  AviStreamData& s = *content.streams[n];
  const WORD kind = AviChunkKind(id);
  if (!m_file->Contains(dataOffset, size)) {
    // The file ends here for this stream; later entries cannot be trusted to
    // number its samples.
    m_truncated[n] = true;
    return;
  }
  if (kind == kChunkKindPalette) {
    if (s.IsVideo()) s.paletteChanges.push_back({s.indexedSamples, dataOffset, size});
    return;
  }
  if (kind == ('i' | ('x' << 8))) return;
  AviIndexedChunk c;
  c.offset = dataOffset;
  c.size = size;
  c.key = key;
  c.firstSample = s.indexedSamples;
  s.chunks.push_back(c);
  s.indexedSamples += s.FixedSampleSize() ? size / s.header.dwSampleSize : 1;
}

bool AviFileParser::IndexFromIdx1(AviFileContent& content) {
  const std::uint64_t count = m_idx1Size / sizeof(AviIndexEntry);
  if (count == 0) return false;
  // Offsets count from the 'movi' list type in most files, from the file
  // start in some; the first entry that names a stream chunk decides.
  std::uint64_t base = 0;
  bool decided = false;
  std::vector<AviIndexEntry> block;
  constexpr std::uint64_t kBlock = 4096;
  for (std::uint64_t first = 0; first < count; first += kBlock) {
    const std::uint64_t n = std::min(kBlock, count - first);
    block.resize(static_cast<std::size_t>(n));
    if (!m_file->ReadAt(block.data(), block.size() * sizeof(AviIndexEntry), m_idx1Data + first * sizeof(AviIndexEntry)))
      return decided;
    for (const AviIndexEntry& e : block) {
      if ((e.dwFlags & AVIIF_LIST) || e.ckid == kFourCCRec || AviChunkStream(e.ckid) < 0) continue;
      if (!decided) {
        Chunk c;
        if (ReadChunkHeader(m_moviType + e.dwChunkOffset, c) && c.id == e.ckid)
          base = m_moviType;
        else if (ReadChunkHeader(e.dwChunkOffset, c) && c.id == e.ckid)
          base = 0;
        else
          return false;
        decided = true;
      }
      AddChunk(content, e.ckid, base + e.dwChunkOffset + 8, e.dwChunkLength, (e.dwFlags & AVIIF_KEYFRAME) != 0);
    }
  }
  return decided;
}

void AviFileParser::IndexFromMovi(AviFileContent& content) {
  // Without an index every sample counts as a key frame.
  for (std::uint64_t pos = m_moviType + 4; pos + 8 <= m_moviEnd;) {
    Chunk c;
    if (!ReadChunkHeader(pos, c)) return;
    if (c.id == kFourCCList) {
      BYTE type[4];
      if (c.dataSize >= 4 && m_file->ReadAt(type, 4, c.DataStart()) && U32(type) == kFourCCRec) {
        pos = c.DataStart() + 4;  // a 'rec ' group only wraps chunks
        continue;
      }
    } else if (c.End() <= m_moviEnd) {
      AddChunk(content, c.id, c.DataStart(), static_cast<DWORD>(c.dataSize), true);
    } else {
      return;
    }
    pos = c.Next();
  }
}
