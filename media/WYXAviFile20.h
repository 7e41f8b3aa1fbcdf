// Reader of the OpenDML (AVI 2.0) two-level indexes of screen-codec movies
// larger than 1 GiB. The platform's file service only indexes the first RIFF
// part of such files; this reader walks the RIFF structure itself, builds a
// flat index per stream from the super and standard indexes, and answers the
// reads and key-frame searches the platform cannot.
//
// Results are HRESULT-style: S_OK, S_FALSE (end of a chunk walk), E_FAIL.
// Validation errors are raised internally and caught by Open only.
#pragma once

#include <string>
#include <vector>

#include "platform/AviFile.h"
#include "platform/WinTypes.h"

class WYXAviFile20 {
 public:
  // A chunk's data: its absolute file offset and the size word as the
  // standard index stores it (bits 0-30 size, bit 31 set: not a key frame).
  struct IndexEntry {
    ULONGLONG offset;
    DWORD sizeWord;
  };

  struct FoundFlags {
    bool mainHeader = false;
    bool streamHeader = false;
    bool index = false;
  };

  static constexpr ULONGLONG kLargeFileSize = 1073741824;  // 1 GiB; larger files are "large"
  static constexpr DWORD kMaxStreams = 1000;
  static constexpr DWORD kMaxSuperIndexEntries = 100000;
  static constexpr DWORD kMaxStandardIndexEntries = 200000;
  static constexpr DWORD kNotKeyFrame = 0x80000000u;

  WYXAviFile20();
  virtual ~WYXAviFile20();
  WYXAviFile20(const WYXAviFile20&) = delete;
  WYXAviFile20& operator=(const WYXAviFile20&) = delete;

  // Builds the index; S_OK when it is active, else E_FAIL.
  HRESULT Open(const char* fileName);
  void Reset();

  virtual UINT GetOpenFlags() const;       // 32: share-deny-write, read-only
  virtual bool IndexLargeFilesOnly() const;  // true
  virtual HRESULT OnChunk(FOURCC id, ULONGLONG offset, int stream, FoundFlags& found);
  // Exactly count bytes from the absolute offset, else E_FAIL.
  virtual HRESULT ReadAt(void* buffer, ULONGLONG count, ULONGLONG offset);

  HRESULT WalkChunks(ULONGLONG start, ULONGLONG end, int depth, int& stream, FoundFlags& found);

  // The index's counterpart of AVIStreamRead for the stream of that ordinal
  // (counted in file order over all streams). bytes/samples may be null.
  HRESULT ReadSamples(int stream, LONG first, LONG count, void* buffer, LONG bufferSize, LONG* bytes,
                      LONG* samples);

  // AVIStreamRead on the platform's stream; when that fails, the index's
  // read of video (sound) stream n.
  HRESULT ReadVideo(PAVISTREAM stream, int n, LONG first, LONG count, void* buffer, LONG bufferSize, LONG* bytes,
                    LONG* samples);
  HRESULT ReadAudio(PAVISTREAM stream, int n, LONG first, LONG count, void* buffer, LONG bufferSize, LONG* bytes,
                    LONG* samples);

  // The key frame at or before sample - 1 as the platform finds it, else
  // the key frame at or before sample in the index; negative if none.
  LONG FindKeyFrameBefore(PAVISTREAM stream, int n, LONG sample);
  LONG FindKeyFrameInIndex(int n, LONG sample) const;

  // Inspection (probe tool, tests).
  bool IsActive() const { return m_bActive; }
  int GetStreamCount() const { return static_cast<int>(m_streams.size()); }
  int GetVideoStreamCount() const { return static_cast<int>(m_videoStreams.size()); }
  int GetAudioStreamCount() const { return static_cast<int>(m_audioStreams.size()); }
  int GetVideoStreamOrdinal(int n) const;  // -1 when n is out of range
  int GetAudioStreamOrdinal(int n) const;
  const std::vector<IndexEntry>* GetIndex(int stream) const;
  // The reason the last Open refused the file (empty when it did not raise).
  const std::string& GetLastError() const { return m_strLastError; }

 private:
  struct StreamRecord {
    BYTE header[64] = {};
    std::vector<IndexEntry> entries;
    FOURCC Type() const;
    FOURCC Handler() const;
    DWORD Length() const;
    DWORD SampleSize() const;
  };

  HRESULT ReadSuperIndex(ULONGLONG offset, int stream);
  DWORD DeclaredStreams() const;

  int m_nFile = -1;
  ULONGLONG m_qwFileLength = 0;
  BYTE m_mainHeader[64] = {};
  std::vector<StreamRecord> m_streams;
  std::vector<int> m_videoStreams;
  std::vector<int> m_audioStreams;
  bool m_bActive = false;
  std::string m_strLastError;
};
