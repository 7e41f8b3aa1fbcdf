#include "tests/support/OpenDmlWriter.h"

#include <algorithm>
#include <cstring>

namespace {

void Put16(std::vector<BYTE>& v, std::size_t at, WORD x) {
  v[at] = static_cast<BYTE>(x);
  v[at + 1] = static_cast<BYTE>(x >> 8);
}
void Put32(std::vector<BYTE>& v, std::size_t at, DWORD x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<BYTE>(x >> (8 * i));
}
void Put64(std::vector<BYTE>& v, std::size_t at, std::uint64_t x) {
  Put32(v, at, static_cast<DWORD>(x));
  Put32(v, at + 4, static_cast<DWORD>(x >> 32));
}

FOURCC StdIndexId(int stream) {
  return MakeFourCC('i', 'x', static_cast<char>('0' + (stream / 10) % 10), static_cast<char>('0' + stream % 10));
}

}  // namespace

OpenDmlWriter::OpenDmlWriter(OpenDmlOptions options) : AviWriter(options.avi), m_odml(options) {}

void OpenDmlWriter::BeginPart() { m_partStarts.push_back(m_chunks.size()); }

std::vector<OpenDmlWriter::Plan> OpenDmlWriter::PlanIndexes() const {
  std::vector<Plan> plans;
  const std::size_t perIndex = std::max<std::size_t>(1, m_odml.maxEntriesPerStdIndex);
  for (std::size_t part = 0; part < PartCount(); ++part) {
    const std::size_t first = part == 0 ? 0 : m_partStarts[part - 1];
    const std::size_t last = part + 1 < PartCount() ? m_partStarts[part] : m_chunks.size();
    for (int s = 0; s < StreamCount(); ++s) {
      Plan current{s, part, {}};
      for (std::size_t i = first; i < last; ++i) {
        const AviWrittenChunk& c = m_chunks[i];
        if (c.stream != s || c.palette || c.holeSize) continue;
        current.chunks.push_back(i);
        if (current.chunks.size() == perIndex) {
          plans.push_back(current);
          current.chunks.clear();
        }
      }
      if (!current.chunks.empty()) plans.push_back(current);
    }
  }
  return plans;
}

void OpenDmlWriter::WriteStreamExtras(RiffWriter& out, int stream) {
  if (!m_odml.writeSuperIndex) return;
  std::size_t n = 0;
  for (const Plan& p : m_plans) n += p.stream == stream ? 1 : 0;
  n *= m_odml.superRepeat;
  std::vector<BYTE> indx(24 + 16 * n, 0);  // chunk data: header fields, then entries
  Put16(indx, 0, m_odml.superLongsPerEntry);
  indx[2] = m_odml.superSubType;
  indx[3] = m_odml.superType;
  Put32(indx, 4, static_cast<DWORD>(n));
  Put32(indx, 8, AviChunkId(stream, m_streams[stream].chunkKind));
  // Entries are filled in once the standard indexes have been written.
  m_superOffsets[stream] = out.Tell();
  out.WriteChunk(kFourCCIndx, indx);
}

void OpenDmlWriter::WriteStdIndex(RiffWriter& out, const Plan& plan) {
  const std::uint64_t base = m_chunks[plan.chunks.front()].headerOffset;
  std::vector<BYTE> ix(24 + 8 * plan.chunks.size(), 0);
  Put16(ix, 0, 2);  // wLongsPerEntry
  ix[2] = 0;        // sub type
  ix[3] = 1;        // AVI_INDEX_OF_CHUNKS
  Put32(ix, 4, static_cast<DWORD>(plan.chunks.size()));
  Put32(ix, 8, AviChunkId(plan.stream, m_streams[plan.stream].chunkKind));
  Put64(ix, 12, base);
  for (std::size_t k = 0; k < plan.chunks.size(); ++k) {
    const AviWrittenChunk& c = m_chunks[plan.chunks[k]];
    const bool key = m_streams[plan.stream].dwSampleSize != 0 || (c.idx1Flags & AVIIF_KEYFRAME) != 0;
    Put32(ix, 24 + 8 * k, static_cast<DWORD>(c.headerOffset + 8 - base));
    Put32(ix, 28 + 8 * k, c.size | (key ? 0 : 0x80000000u));
  }
  OpenDmlStdIndex written;
  written.stream = plan.stream;
  written.offset = out.Tell();
  written.entries = static_cast<DWORD>(plan.chunks.size());
  out.WriteChunk(StdIndexId(plan.stream), ix);
  m_stdIndexes.push_back(written);
}

bool OpenDmlWriter::Write(const std::string& path) {
  m_plans = PlanIndexes();
  m_superOffsets.assign(m_streams.size(), 0);
  m_stdIndexes.clear();
  RiffWriter out;
  if (!out.Open(path)) return false;

  for (std::size_t part = 0; part < PartCount(); ++part) {
    const std::size_t first = part == 0 ? 0 : m_partStarts[part - 1];
    const std::size_t last = part + 1 < PartCount() ? m_partStarts[part] : m_chunks.size();
    const std::uint64_t riff = out.BeginList(kFourCCRiff, part == 0 ? kFourCCAvi : kFourCCAvix);
    if (part == 0) WriteHdrl(out);
    const std::uint64_t movi = out.BeginList(kFourCCList, kFourCCMovi);
    if (part == 0) m_moviOffset = movi;
    WriteChunks(out, first, last);
    for (const Plan& p : m_plans)
      if (p.part == part) WriteStdIndex(out, p);
    out.EndList(movi);
    if (part == 0) {
      m_idx1Offset = 0;
      if (m_options.writeIdx1) WriteIdx1(out, first, last, movi);
    }
    out.EndList(riff);
  }
  m_fileSize = out.Tell();

  if (m_odml.writeSuperIndex) {
    for (int s = 0; s < StreamCount(); ++s) {
      std::vector<BYTE> entries;
      for (std::size_t r = 0; r < m_odml.superRepeat; ++r) {
        for (std::size_t k = 0; k < m_plans.size(); ++k) {
          if (m_plans[k].stream != s) continue;
          const OpenDmlStdIndex& ix = m_stdIndexes[k];
          std::vector<BYTE> e(16, 0);
          Put64(e, 0, ix.offset);
          Put32(e, 8, 32 + 8 * ix.entries);
          DWORD duration = 0;
          for (std::size_t c : m_plans[k].chunks)
            duration += m_streams[s].dwSampleSize ? m_chunks[c].size / m_streams[s].dwSampleSize : 1;
          Put32(e, 12, duration);
          entries.insert(entries.end(), e.begin(), e.end());
        }
      }
      if (!entries.empty()) out.PatchBytes(m_superOffsets[s] + 32, entries.data(), entries.size());
    }
  }
  return out.Close();
}
