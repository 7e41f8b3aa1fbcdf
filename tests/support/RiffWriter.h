// Low-level RIFF output through a seekable file: chunks and lists whose sizes
// are patched when they end, and holes that are skipped by seeking (sparse
// files), so fixtures can put chunks far into a file without writing the bytes
// in between. Positions are 64-bit; chunk sizes are the 32-bit RIFF fields.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

class RiffWriter {
 public:
  RiffWriter() = default;
  ~RiffWriter();
  RiffWriter(const RiffWriter&) = delete;
  RiffWriter& operator=(const RiffWriter&) = delete;

  bool Open(const std::string& path);  // creates or truncates
  // Closes; false if any write, seek or size patch failed since Open.
  bool Close();
  bool Ok() const { return m_ok; }

  std::uint64_t Tell() const { return m_pos; }
  void Seek(std::uint64_t pos);  // may go past the end: the gap reads as zeros
  void Write(const void* data, std::size_t size);
  void Write(std::span<const BYTE> data) { Write(data.data(), data.size()); }
  void WriteU16(WORD v);
  void WriteU32(DWORD v);
  void WriteU64(std::uint64_t v);
  void WriteFourCC(FOURCC v) { WriteU32(v); }
  void Align();  // pads to an even position
  // Overwrites 4 bytes at pos and returns to the current position.
  void PatchU32(std::uint64_t pos, DWORD v);
  void PatchBytes(std::uint64_t pos, const void* data, std::size_t size);

  // Chunk and list starts return the offset of their header. End* patches the
  // size (data bytes after the 8-byte header) and pads to even.
  std::uint64_t BeginChunk(FOURCC id);
  void EndChunk(std::uint64_t start);
  std::uint64_t BeginList(FOURCC listId, FOURCC type);  // "RIFF" or "LIST"
  void EndList(std::uint64_t start) { EndChunk(start); }
  // A whole chunk; returns the offset of its data.
  std::uint64_t WriteChunk(FOURCC id, std::span<const BYTE> data);
  // A JUNK chunk of dataSize bytes whose content is skipped, not written.
  std::uint64_t WriteHole(std::uint64_t dataSize);

 private:
  std::FILE* m_file = nullptr;
  std::uint64_t m_pos = 0;
  std::uint64_t m_end = 0;  // highest position written or sought to
  bool m_ok = false;
};
