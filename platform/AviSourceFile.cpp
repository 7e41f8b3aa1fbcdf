#include "platform/AviSourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

AviSourceFile::~AviSourceFile() {
  if (m_fd >= 0) ::close(m_fd);
}

bool AviSourceFile::Open(const std::string& path) {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (m_fd < 0) return false;
  struct stat st {};
  if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(m_fd);
    m_fd = -1;
    return false;
  }
  m_size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool AviSourceFile::ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const {
  if (m_fd < 0 || !Contains(offset, size)) return false;
  auto* p = static_cast<char*>(buffer);
  while (size > 0) {
    const ssize_t n = ::pread(m_fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}
