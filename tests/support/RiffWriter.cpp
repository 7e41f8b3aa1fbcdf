#include "tests/support/RiffWriter.h"

#include <cstring>

RiffWriter::~RiffWriter() { Close(); }

bool RiffWriter::Open(const std::string& path) {
  Close();
  m_file = std::fopen(path.c_str(), "wb");
  m_pos = 0;
  m_end = 0;
  m_ok = m_file != nullptr;
  return m_ok;
}

bool RiffWriter::Close() {
  if (!m_file) return m_ok;
  // A hole at the very end must still count towards the file size.
  if (m_end > 0 && m_ok) {
    std::fflush(m_file);
    if (std::fseek(m_file, 0, SEEK_END) != 0) m_ok = false;
    const long long size = ftello(m_file);
    if (size >= 0 && static_cast<std::uint64_t>(size) < m_end) {
      if (fseeko(m_file, static_cast<off_t>(m_end - 1), SEEK_SET) != 0 || std::fputc(0, m_file) == EOF)
        m_ok = false;
    }
  }
  if (std::fclose(m_file) != 0) m_ok = false;
  m_file = nullptr;
  return m_ok;
}

void RiffWriter::Seek(std::uint64_t pos) {
  if (!m_file) return;
  if (fseeko(m_file, static_cast<off_t>(pos), SEEK_SET) != 0) m_ok = false;
  m_pos = pos;
  if (m_pos > m_end) m_end = m_pos;
}

void RiffWriter::Write(const void* data, std::size_t size) {
  if (!m_file) {
    m_ok = false;
    return;
  }
  if (size > 0 && std::fwrite(data, 1, size, m_file) != size) m_ok = false;
  m_pos += size;
  if (m_pos > m_end) m_end = m_pos;
}

void RiffWriter::WriteU16(WORD v) {
  const BYTE b[2] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8)};
  Write(b, 2);
}

void RiffWriter::WriteU32(DWORD v) {
  const BYTE b[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                     static_cast<BYTE>(v >> 24)};
  Write(b, 4);
}

void RiffWriter::WriteU64(std::uint64_t v) {
  WriteU32(static_cast<DWORD>(v));
  WriteU32(static_cast<DWORD>(v >> 32));
}

void RiffWriter::Align() {
  if (m_pos & 1) {
    const BYTE zero = 0;
    Write(&zero, 1);
  }
}

void RiffWriter::PatchBytes(std::uint64_t pos, const void* data, std::size_t size) {
  const std::uint64_t here = m_pos;
  Seek(pos);
  Write(data, size);
  Seek(here);
}

void RiffWriter::PatchU32(std::uint64_t pos, DWORD v) {
  const BYTE b[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                     static_cast<BYTE>(v >> 24)};
  PatchBytes(pos, b, 4);
}

std::uint64_t RiffWriter::BeginChunk(FOURCC id) {
  const std::uint64_t start = m_pos;
  WriteFourCC(id);
  WriteU32(0);
  return start;
}

void RiffWriter::EndChunk(std::uint64_t start) {
  const std::uint64_t size = m_pos - start - 8;
  if (size > 0xFFFFFFFFull) m_ok = false;
  PatchU32(start + 4, static_cast<DWORD>(size));
  Align();
}

std::uint64_t RiffWriter::BeginList(FOURCC listId, FOURCC type) {
  const std::uint64_t start = BeginChunk(listId);
  WriteFourCC(type);
  return start;
}

std::uint64_t RiffWriter::WriteChunk(FOURCC id, std::span<const BYTE> data) {
  WriteFourCC(id);
  WriteU32(static_cast<DWORD>(data.size()));
  const std::uint64_t dataPos = m_pos;
  Write(data);
  Align();
  return dataPos;
}

std::uint64_t RiffWriter::WriteHole(std::uint64_t dataSize) {
  const std::uint64_t start = m_pos;
  if (dataSize > 0xFFFFFFFFull) m_ok = false;
  WriteFourCC(MakeFourCC('J', 'U', 'N', 'K'));
  WriteU32(static_cast<DWORD>(dataSize));
  Seek(m_pos + dataSize + (dataSize & 1));
  return start;
}
