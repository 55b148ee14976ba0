#include "fuzz_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

std::string& scratch_directory() {
  static std::string directory;
  return directory;
}

void remove_scratch_directory() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_directory(), ignored);
}

const std::string& ensure_scratch_directory() {
  std::string& directory = scratch_directory();
  if (directory.empty()) {
    char pattern[] = "/tmp/kelvora-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      std::perror("kelvora fuzz: mkdtemp");
      std::abort();
    }
    directory = pattern;
    std::atexit(remove_scratch_directory);
  }
  return directory;
}

}  // namespace

std::string fuzz_file(const char* name) { return ensure_scratch_directory() + "/" + name; }

void write_fuzz_file(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    std::abort();
  }
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) {
    std::perror(path.c_str());
    std::abort();
  }
}

void clear_fuzz_directory() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(ensure_scratch_directory(), error)) {
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
  }
}
