#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvix-XXXXXX").string();
  if (::mkdtemp(pattern.data())) m_path = pattern;
}

TempDir::~TempDir() {
  if (m_path.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}
