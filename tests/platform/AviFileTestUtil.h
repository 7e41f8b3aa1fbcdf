// Helpers shared by the file-service tests: a service session, handles that
// release themselves, and small fixture movies.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/AviFile.h"
#include "tests/support/AviWriter.h"
#include "tests/support/TempDir.h"

struct AviSession {
  AviSession() { AVIFileInit(); }
  ~AviSession() { AVIFileExit(); }
};

struct OpenedAvi {
  PAVIFILE file = nullptr;
  std::vector<PAVISTREAM> streams;
  HRESULT result = E_FAIL;

  explicit OpenedAvi(const std::string& path) {
    result = AVIFileOpenA(&file, path.c_str(), OF_SHARE_DENY_WRITE, nullptr);
  }
  ~OpenedAvi() {
    for (PAVISTREAM s : streams) AVIStreamRelease(s);
    if (file) AVIFileRelease(file);
  }
  OpenedAvi(const OpenedAvi&) = delete;
  OpenedAvi& operator=(const OpenedAvi&) = delete;

  // The n-th stream of a type, null when there is none.
  PAVISTREAM Stream(DWORD type, LONG n = 0) {
    PAVISTREAM s = nullptr;
    if (!file || AVIFileGetStream(file, &s, type, n) != AVIERR_OK) return nullptr;
    streams.push_back(s);
    return s;
  }
};

// A frame of distinct bytes, so that reads show which sample they came from.
inline std::vector<BYTE> Payload(int tag, std::size_t size) {
  std::vector<BYTE> v(size);
  for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<BYTE>(tag * 31 + i);
  return v;
}

inline bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

inline bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

inline std::vector<BYTE> ReadWholeFile(const std::string& path) {
  std::vector<BYTE> data;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    BYTE buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
  }
  return data;
}

inline void WriteWholeFile(const std::string& path, const std::vector<BYTE>& data) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
}
