#include "support/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>

TempDir::TempDir() {
  char pattern[] = "/tmp/kelvora-test-XXXXXX";
  if (mkdtemp(pattern) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }
