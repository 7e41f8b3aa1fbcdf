#include "media/WYXAviFile20.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace {

// Raised by the walk on a file this reader refuses; caught by Open only.
class IndexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Raise(const char* text) { throw IndexError(text); }

constexpr FOURCC kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr FOURCC kList = MakeFourCC('L', 'I', 'S', 'T');
constexpr FOURCC kStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr FOURCC kMovi = MakeFourCC('m', 'o', 'v', 'i');
constexpr FOURCC kAvih = MakeFourCC('a', 'v', 'i', 'h');
constexpr FOURCC kStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr FOURCC kIndx = MakeFourCC('i', 'n', 'd', 'x');
constexpr FOURCC kVids = MakeFourCC('v', 'i', 'd', 's');
constexpr FOURCC kAuds = MakeFourCC('a', 'u', 'd', 's');
constexpr FOURCC kWyxc = MakeFourCC('w', 'y', 'x', 'c');

// AVI files nest three or four lists deep; a crafted file could nest lists
// until the walk's recursion runs out of stack, so deeper lists are skipped.
constexpr int kMaxListDepth = 16;

WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD Le32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}
ULONGLONG Le64(const BYTE* p) { return static_cast<ULONGLONG>(Le32(p)) | (static_cast<ULONGLONG>(Le32(p + 4)) << 32); }

}  // namespace

FOURCC WYXAviFile20::StreamRecord::Type() const { return Le32(header + 8); }
FOURCC WYXAviFile20::StreamRecord::Handler() const { return Le32(header + 12); }
DWORD WYXAviFile20::StreamRecord::Length() const { return Le32(header + 40); }
DWORD WYXAviFile20::StreamRecord::SampleSize() const { return Le32(header + 52); }

WYXAviFile20::WYXAviFile20() = default;

WYXAviFile20::~WYXAviFile20() { Reset(); }

UINT WYXAviFile20::GetOpenFlags() const { return 32; }

bool WYXAviFile20::IndexLargeFilesOnly() const { return true; }

DWORD WYXAviFile20::DeclaredStreams() const { return Le32(m_mainHeader + 32); }

void WYXAviFile20::Reset() {
  m_streams.clear();
  m_streams.shrink_to_fit();
  m_videoStreams.clear();
  m_audioStreams.clear();
  if (m_nFile >= 0) ::close(m_nFile);
  m_nFile = -1;
  m_qwFileLength = 0;
  std::memset(m_mainHeader, 0, sizeof m_mainHeader);
  m_bActive = false;
}

HRESULT WYXAviFile20::Open(const char* fileName) {
  Reset();
  m_strLastError.clear();
  if (!fileName) return E_FAIL;
  // The share-deny-write flag has no counterpart here; the file is read-only.
  (void)GetOpenFlags();
  m_nFile = ::open(fileName, O_RDONLY | O_CLOEXEC);
  if (m_nFile < 0) return E_FAIL;
  struct stat st {};
  if (::fstat(m_nFile, &st) != 0 || !S_ISREG(st.st_mode)) {
    Reset();
    return E_FAIL;
  }
  m_qwFileLength = static_cast<ULONGLONG>(st.st_size);
  const bool large = m_qwFileLength > kLargeFileSize;
  if (IndexLargeFilesOnly() && !large) {
    Reset();
    return E_FAIL;
  }
  try {
    FoundFlags found;
    int stream = -1;
    const HRESULT hr = WalkChunks(0, m_qwFileLength, 0, stream, found);
    if (FAILED(hr)) {
      Reset();
      return hr;
    }
    if (found.mainHeader && found.streamHeader && found.index) {
      m_bActive = true;
      return S_OK;
    }
    Reset();
    return E_FAIL;
  } catch (const IndexError& e) {
    m_strLastError = e.what();
  } catch (const std::bad_alloc&) {
    m_strLastError = "new[] failed";
  }
  Reset();
  return E_FAIL;
}

HRESULT WYXAviFile20::ReadAt(void* buffer, ULONGLONG count, ULONGLONG offset) {
  if (m_nFile < 0) return E_FAIL;
  constexpr ULONGLONG kMaxOffset = static_cast<ULONGLONG>(std::numeric_limits<off_t>::max());
  if (offset > kMaxOffset || count > kMaxOffset - offset) return E_FAIL;
  if (count > 0 && !buffer) return E_FAIL;
  BYTE* out = static_cast<BYTE*>(buffer);
  // pread keeps no file position, so two readers never disturb each other.
  while (count > 0) {
    const size_t chunk = static_cast<size_t>(std::min<ULONGLONG>(count, 1u << 30));
    const ssize_t n = ::pread(m_nFile, out, chunk, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return E_FAIL;
    out += n;
    offset += static_cast<ULONGLONG>(n);
    count -= static_cast<ULONGLONG>(n);
  }
  return S_OK;
}

HRESULT WYXAviFile20::WalkChunks(ULONGLONG start, ULONGLONG end, int depth, int& stream, FoundFlags& found) {
  ULONGLONG pos = start;
  while (pos < end) {
    BYTE head[8];
    if (FAILED(ReadAt(head, 8, pos))) return S_FALSE;
    const FOURCC id = Le32(head);
    const ULONGLONG chunkEnd = pos + 8 + Le32(head + 4);
    const bool isList = id == kRiff || id == kList;
    FOURCC listType = 0;
    if (isList) {
      BYTE type[4];
      if (FAILED(ReadAt(type, 4, pos + 8))) return S_FALSE;
      listType = Le32(type);
      if (listType == kStrl) {
        ++stream;
        if (static_cast<LONGLONG>(stream) >= static_cast<LONGLONG>(DeclaredStreams()))
          Raise("More streams actually present than indicated in AVIMAINHEADER");
      }
    } else if (depth == 0) {
      return S_FALSE;
    }
    const HRESULT hr = OnChunk(id, pos, stream, found);
    if (FAILED(hr)) return hr;
    if (isList && listType != kMovi && depth < kMaxListDepth) WalkChunks(pos + 12, chunkEnd, depth + 1, stream, found);
    pos = (chunkEnd + 1) & ~ULONGLONG{1};
  }
  return S_FALSE;
}

HRESULT WYXAviFile20::OnChunk(FOURCC id, ULONGLONG offset, int stream, FoundFlags& found) {
  if (id == kAvih) {
    found.mainHeader = true;
    const HRESULT hr = ReadAt(m_mainHeader, sizeof m_mainHeader, offset);
    if (FAILED(hr)) return hr;
    const DWORD streams = DeclaredStreams();
    if (streams < 1 || streams > kMaxStreams) Raise("Invalid number of streams");
    m_streams.assign(streams, StreamRecord{});
    return S_OK;
  }
  if (id == kStrh) {
    found.streamHeader = true;
    if (stream < 0 || stream >= GetStreamCount()) Raise("stream header outside a stream list");
    StreamRecord& record = m_streams[static_cast<size_t>(stream)];
    const HRESULT hr = ReadAt(record.header, sizeof record.header, offset);
    if (FAILED(hr)) return hr;
    if (record.Type() == kVids) {
      m_videoStreams.push_back(stream);
      if (record.Handler() != kWyxc) Raise("video codec is NOT WYXC");
    } else if (record.Type() == kAuds) {
      m_audioStreams.push_back(stream);
    }
    return S_OK;
  }
  if (id == kIndx) {
    found.index = true;
    if (stream < 0 || stream >= GetStreamCount()) Raise("index outside a stream list");
    m_streams[static_cast<size_t>(stream)].entries.clear();
    return ReadSuperIndex(offset, stream);
  }
  return S_OK;
}

HRESULT WYXAviFile20::ReadSuperIndex(ULONGLONG offset, int stream) {
  BYTE head[32];
  HRESULT hr = ReadAt(head, sizeof head, offset);
  if (FAILED(hr)) return hr;
  if (Le16(head + 8) != 4) Raise("AVISUPERINDEX::wLongsPerEntry != 4");
  if (head[10] != 0) Raise("only AVISUPERINDEX::SubType 0 supported");
  if (head[11] != 0) Raise("only AVISUPERINDEX::bIndexType == AVI_INDEX_OF_INDEXES supported");
  const DWORD superEntries = Le32(head + 12);
  if (superEntries > kMaxSuperIndexEntries) Raise("too many superindex entries");

  // Sizes are computed in 64 bits and must fit in the file before anything
  // is allocated for them: a crafted count must not buy memory.
  const ULONGLONG superBytes = 32 + 16 * static_cast<ULONGLONG>(superEntries);
  if (superBytes > m_qwFileLength || offset > m_qwFileLength - superBytes) return E_FAIL;
  std::vector<BYTE> super;
  try {
    super.resize(static_cast<size_t>(superBytes));
  } catch (const std::bad_alloc&) {
    Raise("new[] failed");
  }
  hr = ReadAt(super.data(), superBytes, offset);
  if (FAILED(hr)) return hr;

  // Every entry of a standard index takes 8 bytes of the file, so no honest
  // index holds more entries than the file has room for. Standard indexes
  // must also lie in the file and apart from each other: a super index that
  // lists one standard index many times would claim its entries again each
  // time.
  const ULONGLONG maxEntries = m_qwFileLength / 8;
  ULONGLONG total = 0;
  std::vector<std::pair<ULONGLONG, ULONGLONG>> ranges;
  ranges.reserve(superEntries);
  for (DWORD i = 0; i < superEntries; ++i) {
    const ULONGLONG stdOffset = Le64(&super[32 + 16 * static_cast<size_t>(i)]);
    BYTE stdHead[32];
    hr = ReadAt(stdHead, sizeof stdHead, stdOffset);
    if (FAILED(hr)) return hr;
    const DWORD n = Le32(stdHead + 12);
    total += n;
    if (total > maxEntries) Raise("too many subindex entries");
    const ULONGLONG bytes = 32 + 8 * static_cast<ULONGLONG>(n);
    if (bytes > m_qwFileLength - stdOffset) return E_FAIL;  // its entries cannot be read
    ranges.emplace_back(stdOffset, stdOffset + bytes);
  }
  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i)
    if (ranges[i].first < ranges[i - 1].second) Raise("standard indexes overlap");

  std::vector<IndexEntry>& table = m_streams[static_cast<size_t>(stream)].entries;
  try {
    table.reserve(static_cast<size_t>(total));
  } catch (const std::bad_alloc&) {
    Raise("new[] failed");
  }

  std::vector<BYTE> entries;
  for (DWORD i = 0; i < superEntries; ++i) {
    const ULONGLONG stdOffset = Le64(&super[32 + 16 * static_cast<size_t>(i)]);
    BYTE stdHead[32];
    hr = ReadAt(stdHead, sizeof stdHead, stdOffset);
    if (FAILED(hr)) return hr;
    const DWORD n = Le32(stdHead + 12);
    if (n > kMaxStandardIndexEntries) Raise("too many subindex entries");
    // The index may have changed between the passes (the file is shared for
    // reading); the table never grows past what the first pass allowed.
    if (table.size() + n > total) Raise("too many subindex entries");
    const ULONGLONG base = Le64(stdHead + 20);
    const ULONGLONG bytes = 8 * static_cast<ULONGLONG>(n);
    try {
      entries.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
      Raise("new[] failed");
    }
    hr = ReadAt(entries.data(), bytes, stdOffset + 32);
    if (FAILED(hr)) return hr;
    for (DWORD k = 0; k < n; ++k) {
      const BYTE* e = &entries[8 * static_cast<size_t>(k)];
      table.push_back(IndexEntry{base + Le32(e), Le32(e + 4)});
    }
  }
  return S_OK;
}

HRESULT WYXAviFile20::ReadSamples(int stream, LONG first, LONG count, void* buffer, LONG bufferSize, LONG* bytes,
                                  LONG* samples) {
  if (bytes) *bytes = 0;
  if (samples) *samples = 0;
  if (!m_bActive || stream < 0 || m_streams.empty() || static_cast<DWORD>(stream) >= DeclaredStreams() ||
      stream >= GetStreamCount())
    return E_FAIL;
  const StreamRecord& record = m_streams[static_cast<size_t>(stream)];
  const std::vector<IndexEntry>& table = record.entries;
  if (first < 0) return E_FAIL;
  if (buffer && bufferSize < 0) return E_FAIL;
  LONGLONG gotBytes = 0;
  LONGLONG gotSamples = 0;
  BYTE* out = static_cast<BYTE*>(buffer);

  const DWORD sampleSize = record.SampleSize();
  if (sampleSize != 0) {
    if (!buffer) {
      const LONGLONG left = static_cast<LONGLONG>(record.Length()) - first;
      const LONGLONG n = std::max<LONGLONG>(0, std::min<LONGLONG>(count, left));
      const LONGLONG size = n * sampleSize;
      if (size > std::numeric_limits<LONG>::max()) return E_FAIL;
      if (bytes) *bytes = static_cast<LONG>(size);
      if (samples) *samples = static_cast<LONG>(n);
      return S_OK;
    }
    LONGLONG wanted = std::min<LONGLONG>(bufferSize / sampleSize, count);
    if (table.empty()) return E_FAIL;
    LONGLONG skip = first;
    for (const IndexEntry& e : table) {
      if (wanted <= 0) break;
      const LONGLONG inChunk = (e.sizeWord & ~kNotKeyFrame) / sampleSize;
      if (inChunk <= skip) {
        skip -= inChunk;
        continue;
      }
      const LONGLONG take = std::min(inChunk - skip, wanted);
      const ULONGLONG n = static_cast<ULONGLONG>(take) * sampleSize;
      const HRESULT hr = ReadAt(out + gotBytes, n, e.offset + static_cast<ULONGLONG>(skip) * sampleSize);
      if (FAILED(hr)) return hr;
      gotBytes += static_cast<LONGLONG>(n);
      gotSamples += take;
      wanted -= take;
      skip = 0;
      if (bytes) *bytes = static_cast<LONG>(gotBytes);
      if (samples) *samples = static_cast<LONG>(gotSamples);
    }
    return gotSamples > 0 ? S_OK : E_FAIL;
  }

  if (count < 1) return E_FAIL;
  const LONGLONG end = std::min<LONGLONG>(static_cast<LONGLONG>(first) + count, static_cast<LONGLONG>(table.size()));
  for (LONGLONG i = first; i < end; ++i) {
    const IndexEntry& e = table[static_cast<size_t>(i)];
    const LONGLONG size = e.sizeWord & ~kNotKeyFrame;
    // A size query must not report a chunk the file cannot hold: callers
    // size their buffers by it.
    if (e.offset > m_qwFileLength || static_cast<ULONGLONG>(size) > m_qwFileLength - e.offset) return E_FAIL;
    if (buffer) {
      if (gotBytes + size > bufferSize) break;
      const HRESULT hr = ReadAt(out + gotBytes, static_cast<ULONGLONG>(size), e.offset);
      if (FAILED(hr)) return hr;
    } else if (gotBytes + size > std::numeric_limits<LONG>::max()) {
      break;
    }
    gotBytes += size;
    ++gotSamples;
    if (bytes) *bytes = static_cast<LONG>(gotBytes);
    if (samples) *samples = static_cast<LONG>(gotSamples);
  }
  return gotSamples > 0 ? S_OK : E_FAIL;
}

HRESULT WYXAviFile20::ReadVideo(PAVISTREAM stream, int n, LONG first, LONG count, void* buffer, LONG bufferSize,
                                LONG* bytes, LONG* samples) {
  const HRESULT hr = AVIStreamRead(stream, first, count, buffer, bufferSize, bytes, samples);
  if (hr >= 0) return hr;
  if (m_bActive && n >= 0 && n < GetVideoStreamCount())
    return ReadSamples(m_videoStreams[static_cast<size_t>(n)], first, count, buffer, bufferSize, bytes, samples);
  return E_FAIL;
}

HRESULT WYXAviFile20::ReadAudio(PAVISTREAM stream, int n, LONG first, LONG count, void* buffer, LONG bufferSize,
                                LONG* bytes, LONG* samples) {
  const HRESULT hr = AVIStreamRead(stream, first, count, buffer, bufferSize, bytes, samples);
  if (hr >= 0) return hr;
  if (m_bActive && n >= 0 && n < GetAudioStreamCount())
    return ReadSamples(m_audioStreams[static_cast<size_t>(n)], first, count, buffer, bufferSize, bytes, samples);
  return E_FAIL;
}

LONG WYXAviFile20::FindKeyFrameBefore(PAVISTREAM stream, int n, LONG sample) {
  if (sample == std::numeric_limits<LONG>::min()) return -1;
  const LONG k = AVIStreamFindSample(stream, sample - 1, FIND_PREV | FIND_KEY);
  if (k >= 0) return k;
  return FindKeyFrameInIndex(n, sample);
}

LONG WYXAviFile20::FindKeyFrameInIndex(int n, LONG sample) const {
  if (!m_bActive || n < 0 || n >= GetVideoStreamCount()) return -1;
  const int s = m_videoStreams[static_cast<size_t>(n)];
  if (s < 0 || static_cast<DWORD>(s) >= DeclaredStreams() || m_streams.empty() || s >= GetStreamCount()) return -1;
  const StreamRecord& record = m_streams[static_cast<size_t>(s)];
  if (record.SampleSize() != 0) return sample < 0 ? 0 : sample;
  const std::vector<IndexEntry>& table = record.entries;
  if (table.empty() || sample < 0) return 0;
  for (LONGLONG i = std::min<LONGLONG>(sample, static_cast<LONGLONG>(table.size()) - 1); i >= 0; --i)
    if ((table[static_cast<size_t>(i)].sizeWord & kNotKeyFrame) == 0) return static_cast<LONG>(i);
  return 0;
}

int WYXAviFile20::GetVideoStreamOrdinal(int n) const {
  return n >= 0 && n < GetVideoStreamCount() ? m_videoStreams[static_cast<size_t>(n)] : -1;
}

int WYXAviFile20::GetAudioStreamOrdinal(int n) const {
  return n >= 0 && n < GetAudioStreamCount() ? m_audioStreams[static_cast<size_t>(n)] : -1;
}

const std::vector<WYXAviFile20::IndexEntry>* WYXAviFile20::GetIndex(int stream) const {
  return stream >= 0 && stream < GetStreamCount() ? &m_streams[static_cast<size_t>(stream)].entries : nullptr;
}
