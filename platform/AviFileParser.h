// Reads the structure of an AVI file for the file service: the main header,
// the stream lists, and the index of the first RIFF part (idx1, or a walk of
// the movi list when there is no usable idx1). Every size and offset is
// checked against the file; chunks past its end are left out of the index.
#pragma once

#include <memory>
#include <vector>

#include "platform/AviRecords.h"
#include "platform/AviSourceFile.h"
#include "platform/AviStreamData.h"

struct AviFileContent {
  AviMainHeader mainHeader{};
  std::vector<std::shared_ptr<AviStreamData>> streams;
};

class AviFileParser {
 public:
  explicit AviFileParser(std::shared_ptr<const AviSourceFile> file) : m_file(std::move(file)) {}
  // AVIERR_OK, AVIERR_BADFORMAT, AVIERR_FILEREAD or AVIERR_MEMORY.
  HRESULT Parse(AviFileContent& content);

 private:
  struct Chunk {
    FOURCC id = 0;
    std::uint64_t offset = 0;  // of the header
    std::uint64_t dataSize = 0;
    std::uint64_t DataStart() const { return offset + 8; }
    std::uint64_t End() const { return offset + 8 + dataSize; }
    std::uint64_t Next() const { return End() + (End() & 1); }
  };
  bool ReadChunkHeader(std::uint64_t pos, Chunk& c) const;
  HRESULT ParseHdrl(std::uint64_t start, std::uint64_t end, AviFileContent& content);
  HRESULT ParseStrl(std::uint64_t start, std::uint64_t end, AviFileContent& content);
  bool IndexFromIdx1(AviFileContent& content);
  void IndexFromMovi(AviFileContent& content);
  void AddChunk(AviFileContent& content, FOURCC id, std::uint64_t dataOffset, DWORD size, bool key);

  std::shared_ptr<const AviSourceFile> m_file;
  std::uint64_t m_moviType = 0;  // offset of the 'movi' list type
  std::uint64_t m_moviEnd = 0;
  std::uint64_t m_idx1Data = 0;
  std::uint64_t m_idx1Size = 0;
  bool m_hasMovi = false;
  bool m_hasIdx1 = false;
  std::vector<bool> m_truncated;
};
