// One open AVI file of the file service: its own descriptor, read with pread
// so that several streams and frame objects of one open, and several opens of
// one file, never share a file position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class AviSourceFile {
 public:
  AviSourceFile() = default;
  ~AviSourceFile();
  AviSourceFile(const AviSourceFile&) = delete;
  AviSourceFile& operator=(const AviSourceFile&) = delete;

  // False for a missing, unreadable or non-regular file.
  bool Open(const std::string& path);
  std::uint64_t Size() const { return m_size; }
  // True only when all size bytes at offset lie in the file and were read.
  bool ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const;
  // Whether [offset, offset + size) lies inside the file.
  bool Contains(std::uint64_t offset, std::uint64_t size) const {
    return offset <= m_size && size <= m_size - offset;
  }

 private:
  int m_fd = -1;
  std::uint64_t m_size = 0;
};
