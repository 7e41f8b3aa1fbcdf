// Fixture writer for OpenDML (AVI 2.0) files: the AVI 1.0 layout of AviWriter
// split into RIFF parts (the first 'AVI ' part with its idx1, then 'AVIX'
// parts), each part's movi list ending in one or more "ix##" standard
// indexes per stream, and an "indx" super index in every stream list that
// points at them. Holes (AddHole) are skipped by seeking, so chunks can sit
// beyond 1 GiB in a sparse file that costs a few kilobytes of disk.
//
// The index fields the large-file reader checks can be damaged on purpose
// through OpenDmlOptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/AviWriter.h"

struct OpenDmlOptions {
  AviWriterOptions avi;
  // Entries per standard index; a part with more chunks of a stream gets
  // several standard indexes.
  std::size_t maxEntriesPerStdIndex = 16384;
  // Super index header fields as written (defaults: the valid values).
  WORD superLongsPerEntry = 4;
  BYTE superSubType = 0;
  BYTE superType = 0;  // AVI_INDEX_OF_INDEXES
  // Each super index lists its standard indexes this many times over (a
  // crafted file that claims the same entries again and again).
  std::size_t superRepeat = 1;
  bool writeSuperIndex = true;
};

// Where one standard index landed (filled by Write).
struct OpenDmlStdIndex {
  int stream = -1;
  std::uint64_t offset = 0;  // of the "ix##" chunk header
  DWORD entries = 0;
};

class OpenDmlWriter : public AviWriter {
 public:
  explicit OpenDmlWriter(OpenDmlOptions options = {});

  // Chunks added after this call go into a new 'AVIX' RIFF part.
  void BeginPart();

  bool Write(const std::string& path);

  const std::vector<OpenDmlStdIndex>& StdIndexes() const { return m_stdIndexes; }
  std::uint64_t SuperIndexOffset(int stream) const { return m_superOffsets.at(stream); }  // "indx" header
  std::size_t PartCount() const { return m_partStarts.size() + 1; }

 protected:
  void WriteStreamExtras(RiffWriter& out, int stream) override;

 private:
  struct Plan {
    int stream;
    std::size_t part;
    std::vector<std::size_t> chunks;  // indexes into Chunks()
  };
  std::vector<Plan> PlanIndexes() const;
  void WriteStdIndex(RiffWriter& out, const Plan& plan);

  OpenDmlOptions m_odml;
  std::vector<std::size_t> m_partStarts;  // first chunk of parts 1..
  std::vector<Plan> m_plans;
  std::vector<std::uint64_t> m_superOffsets;
  std::vector<OpenDmlStdIndex> m_stdIndexes;
};
