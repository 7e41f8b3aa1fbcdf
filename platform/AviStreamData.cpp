#include "platform/AviStreamData.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/BitmapRecords.h"

namespace {

using Int128 = __int128;

// Exact, unclamped time of a sample in ms, rounded half away from zero.
Int128 ExactTime(std::int64_t sample, DWORD scale, DWORD rate) {
  const Int128 num = static_cast<Int128>(sample) * 1000 * scale;
  const Int128 mag = num < 0 ? -num : num;
  const Int128 q = (mag * 2 + rate) / (static_cast<Int128>(rate) * 2);
  return num < 0 ? -q : q;
}

LONG ClampLong(Int128 v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<LONG>(v);
}

}  // namespace

void AviStreamData::FinishIndex() {
  keySamples.clear();
  if (!FixedSampleSize()) {
    for (std::size_t i = 0; i < chunks.size(); ++i)
      if (chunks[i].key) keySamples.push_back(static_cast<std::int64_t>(i));
  }
  start = header.dwStart > static_cast<DWORD>(INT32_MAX) ? 0 : static_cast<LONG>(header.dwStart);
  // A stream cannot hold more samples than the file has room for: each
  // variable-size sample needs at least a chunk header, each fixed-size
  // sample its bytes. A damaged length is cut down to that.
  const std::uint64_t fileSize = file ? file->Size() : 0;
  std::uint64_t bound = FixedSampleSize() ? fileSize / header.dwSampleSize : fileSize / 8;
  bound = std::max<std::uint64_t>(bound, static_cast<std::uint64_t>(indexedSamples));
  std::uint64_t len = std::min<std::uint64_t>(header.dwLength, bound);
  len = std::min<std::uint64_t>(len, static_cast<std::uint64_t>(INT32_MAX - start));
  length = static_cast<LONG>(len);
}

LONG AviStreamData::SampleToTime(LONG sample) const {
  if (header.dwRate == 0 || header.dwScale == 0) return -1;
  return ClampLong(ExactTime(sample, header.dwScale, header.dwRate));
}

LONG AviStreamData::TimeToSample(LONG time) const {
  if (header.dwRate == 0 || header.dwScale == 0) return -1;
  // The largest s with SampleToTime(s) <= time; times rise with s.
  std::int64_t lo = INT32_MIN, hi = INT32_MAX;
  if (ExactTime(lo, header.dwScale, header.dwRate) > time) return INT32_MIN;
  while (lo < hi) {
    const std::int64_t mid = lo + (hi - lo + 1) / 2;
    if (ExactTime(mid, header.dwScale, header.dwRate) <= time)
      lo = mid;
    else
      hi = mid - 1;
  }
  return static_cast<LONG>(lo);
}

std::int64_t AviStreamData::ChunkOfSample(std::int64_t s) const {
  if (s < 0 || s >= indexedSamples) return -1;
  if (!FixedSampleSize()) return s < static_cast<std::int64_t>(chunks.size()) ? s : -1;
  auto it = std::upper_bound(chunks.begin(), chunks.end(), s,
                             [](std::int64_t v, const AviIndexedChunk& c) { return v < c.firstSample; });
  if (it == chunks.begin()) return -1;
  --it;
  if (s >= it->firstSample + it->size / header.dwSampleSize) return -1;
  return it - chunks.begin();
}

LONG AviStreamData::FindSample(LONG pos, LONG flags) const {
  std::int64_t rel = static_cast<std::int64_t>(pos) - start;
  bool next = (flags & FIND_NEXT) != 0;
  if (flags & FIND_FROM_START) {
    rel = 0;
    next = true;
  }
  const auto result = [this](std::int64_t s) -> LONG {
    return s < 0 ? -1 : static_cast<LONG>(std::min<std::int64_t>(s + start, INT32_MAX));
  };

  if (flags & FIND_FORMAT) {
    if (!next) {
      std::int64_t found = -1;
      for (const AviPaletteChangeRef& c : paletteChanges) {
        if (c.sample > rel) break;
        found = c.sample;
      }
      return result(found);
    }
    for (const AviPaletteChangeRef& c : paletteChanges)
      if (c.sample >= rel) return result(c.sample);
    return -1;
  }

  if (!next && (rel < 0 || rel >= indexedSamples)) return -1;  // past the index: not known here
  if (next && rel >= indexedSamples) return -1;
  if (next && rel < 0) rel = 0;

  if (flags & FIND_ANY) {  // a sample holding data
    if (FixedSampleSize()) return result(rel);
    if (next) {
      for (std::int64_t s = rel; s < static_cast<std::int64_t>(chunks.size()); ++s)
        if (chunks[s].size) return result(s);
      return -1;
    }
    for (std::int64_t s = rel; s >= 0; --s)
      if (chunks[s].size) return result(s);
    return -1;
  }

  // Key frames (also the default kind).
  if (FixedSampleSize()) return result(rel);
  if (next) {
    auto it = std::lower_bound(keySamples.begin(), keySamples.end(), rel);
    return it == keySamples.end() ? -1 : result(*it);
  }
  auto it = std::upper_bound(keySamples.begin(), keySamples.end(), rel);
  if (it == keySamples.begin()) return -1;
  return result(*(it - 1));
}

HRESULT AviStreamData::Read(LONG pos, LONG samples, void* buffer, LONG bufferSize, LONG* bytes,
                            LONG* samplesRead) const {
  if (bytes) *bytes = 0;
  if (samplesRead) *samplesRead = 0;
  if (samples < AVISTREAMREAD_CONVENIENT) return AVIERR_BADPARAM;
  const std::int64_t rel = static_cast<std::int64_t>(pos) - start;
  if (rel < 0) return AVIERR_BADPARAM;
  if (rel >= indexedSamples) return AVIERR_NODATA;  // beyond this part's index
  if (samples == 0) return AVIERR_OK;
  const std::int64_t room = std::max<LONG>(bufferSize, 0);
  auto* out = static_cast<BYTE*>(buffer);
  std::int64_t gotBytes = 0, gotSamples = 0;

  if (FixedSampleSize()) {
    const std::int64_t ss = header.dwSampleSize;
    std::int64_t ci = ChunkOfSample(rel);
    if (ci < 0) return AVIERR_NODATA;
    std::int64_t within = rel - chunks[ci].firstSample;
    std::int64_t want = samples == AVISTREAMREAD_CONVENIENT ? chunks[ci].size / ss - within
                                                            : std::min<std::int64_t>(samples, indexedSamples - rel);
    want = std::min<std::int64_t>(want, INT32_MAX / ss);
    if (!buffer) {
      if (bytes) *bytes = static_cast<LONG>(want * ss);
      if (samplesRead) *samplesRead = static_cast<LONG>(want);
      return AVIERR_OK;
    }
    want = std::min(want, room / ss);
    if (want <= 0) return AVIERR_BUFFERTOOSMALL;
    while (gotSamples < want && ci < static_cast<std::int64_t>(chunks.size())) {
      const AviIndexedChunk& c = chunks[ci];
      const std::int64_t inChunk = c.size / ss - within;
      const std::int64_t take = std::min(inChunk, want - gotSamples);
      if (take > 0) {
        if (!file->ReadAt(out + gotBytes, static_cast<std::size_t>(take * ss),
                          c.offset + static_cast<std::uint64_t>(within * ss)))
          return AVIERR_FILEREAD;
        gotBytes += take * ss;
        gotSamples += take;
      }
      within = 0;
      ++ci;
    }
  } else {
    const std::int64_t count = samples == AVISTREAMREAD_CONVENIENT ? 1 : samples;
    for (std::int64_t s = rel; s < rel + count && s < static_cast<std::int64_t>(chunks.size()); ++s) {
      const AviIndexedChunk& c = chunks[s];
      if (gotBytes + c.size > INT32_MAX) break;
      if (buffer) {
        if (gotBytes + c.size > room) break;
        if (c.size && !file->ReadAt(out + gotBytes, c.size, c.offset)) return AVIERR_FILEREAD;
      }
      gotBytes += c.size;
      ++gotSamples;
    }
    if (gotSamples == 0) return AVIERR_BUFFERTOOSMALL;
  }
  if (bytes) *bytes = static_cast<LONG>(gotBytes);
  if (samplesRead) *samplesRead = static_cast<LONG>(gotSamples);
  return AVIERR_OK;
}

bool AviStreamData::FormatAt(LONG pos, std::vector<BYTE>& out) const {
  out = format;
  if (!IsVideo() || paletteChanges.empty() || format.size() < sizeof(BITMAPINFOHEADER)) return true;
  const std::int64_t rel = static_cast<std::int64_t>(pos) - start;
  const std::size_t entries = std::min<std::size_t>((format.size() - sizeof(BITMAPINFOHEADER)) / 4, 256);
  RGBQUAD* table = reinterpret_cast<RGBQUAD*>(out.data() + sizeof(BITMAPINFOHEADER));
  BYTE chunk[4 + 256 * 4];
  for (const AviPaletteChangeRef& c : paletteChanges) {
    if (c.sample > rel) break;
    const std::size_t size = std::min<std::size_t>(c.size, sizeof chunk);
    if (size < 4 || !file->ReadAt(chunk, size, c.offset)) continue;
    const std::size_t first = chunk[0];
    const std::size_t count = std::min<std::size_t>(chunk[1] ? chunk[1] : 256, (size - 4) / 4);
    for (std::size_t i = 0; i < count && first + i < entries; ++i) {
      const BYTE* pe = chunk + 4 + i * 4;  // red, green, blue, flags
      RGBQUAD q{pe[2], pe[1], pe[0], 0};
      std::memcpy(&table[first + i], &q, sizeof q);
    }
  }
  return true;
}

bool AviStreamData::ReadChunk(std::size_t chunk, std::vector<BYTE>& out) const {
  if (chunk >= chunks.size()) return false;
  out.resize(chunks[chunk].size);
  return chunks[chunk].size == 0 || file->ReadAt(out.data(), out.size(), chunks[chunk].offset);
}

bool AviStreamData::AllKeyFrames() const {
  if (!IsVideo() || FixedSampleSize()) return true;
  if (indexedSamples < length) return false;
  for (const AviIndexedChunk& c : chunks)
    if (c.size && !c.key) return false;
  return true;
}
