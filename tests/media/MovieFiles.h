// Helpers shared by the movie-file tests: temporary paths and small movies.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/WYXAviFile20.h"
#include "platform/AviFile.h"
#include "tests/support/OpenDmlWriter.h"

namespace moviefiles {

constexpr FOURCC kWyxc = MakeFourCC('w', 'y', 'x', 'c');

// A file in the test's temporary directory, removed when it goes out of scope.
class TempPath {
 public:
  explicit TempPath(const std::string& stem) {
    static std::atomic<int> counter{0};
    m_path = (std::filesystem::path(testing::TempDir()) /
              (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".avi"))
                 .string();
  }
  ~TempPath() { std::remove(m_path.c_str()); }
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;
  const std::string& str() const { return m_path; }
  const char* c_str() const { return m_path.c_str(); }

 private:
  std::string m_path;
};

// The reader as it would be for a large file, on a small one.
class AnySizeIndex : public WYXAviFile20 {
 public:
  bool IndexLargeFilesOnly() const override { return false; }
};

inline std::vector<BYTE> Bytes(std::size_t n, BYTE seed) {
  std::vector<BYTE> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>(seed + i * 7);
  return v;
}

}  // namespace moviefiles
