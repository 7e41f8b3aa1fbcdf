// One stream of an open AVI file as the file service sees it: its header,
// format and name, and the index of its chunks in the first RIFF part.
// Sample numbers given to the operations are the stream's own (from
// dwStart on); the index counts from 0.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/AviFile.h"
#include "platform/AviRecords.h"
#include "platform/AviSourceFile.h"

struct AviIndexedChunk {
  std::uint64_t offset = 0;  // of the data
  DWORD size = 0;
  bool key = false;
  std::int64_t firstSample = 0;  // index sample of its first sample
};

struct AviPaletteChangeRef {
  std::int64_t sample = 0;  // index sample the change applies from
  std::uint64_t offset = 0;
  DWORD size = 0;
};

class AviStreamData {
 public:
  std::shared_ptr<const AviSourceFile> file;
  AviStreamHeader header{};
  std::vector<BYTE> format;
  std::string name;
  std::vector<AviIndexedChunk> chunks;
  std::vector<AviPaletteChangeRef> paletteChanges;
  std::vector<std::int64_t> keySamples;  // index samples of key chunks, rising
  std::int64_t indexedSamples = 0;
  LONG start = 0;   // dwStart, bounded
  LONG length = 0;  // dwLength, bounded by what the file can hold

  bool IsVideo() const { return header.fccType == streamtypeVIDEO; }
  bool FixedSampleSize() const { return header.dwSampleSize != 0; }
  // Called once the index is complete: key list, bounded start and length.
  void FinishIndex();

  LONG SampleToTime(LONG sample) const;
  LONG TimeToSample(LONG time) const;
  LONG FindSample(LONG pos, LONG flags) const;
  HRESULT Read(LONG pos, LONG samples, void* buffer, LONG bufferSize, LONG* bytes, LONG* samplesRead) const;
  // The format in force at pos: for video the stored colour table with every
  // palette change up to pos applied.
  bool FormatAt(LONG pos, std::vector<BYTE>& out) const;
  // The chunk holding index sample s, or -1.
  std::int64_t ChunkOfSample(std::int64_t s) const;
  // Reads a whole chunk's data.
  bool ReadChunk(std::size_t chunk, std::vector<BYTE>& out) const;
  // Whether every indexed video sample with data is a key frame and the index
  // covers the whole stream.
  bool AllKeyFrames() const;
};
