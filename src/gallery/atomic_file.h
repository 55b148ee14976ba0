// AtomicFile: writes a file under a temporary name in the same directory and renames it
// into place on commit, so a reader never sees half a file and a failed write leaves the
// old file (or none) behind. Opening first is also how the gallery learns early that an
// output directory is not writable. Failures return an errno value; nothing is printed.
#pragma once

#include <cstddef>
#include <string>

struct AtomicFile {
  std::string path;       // the final name
  std::string temp_path;  // the name written to until commit
  int fd = -1;            // open descriptor of temp_path, -1 when none

  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // abandon
};

// Creates the temporary file for `path` (mode 0666 less the umask). 0 or an errno value.
int atomic_open(AtomicFile* file, const std::string& path);
// Writes all `size` bytes. 0 or an errno value (EIO when nothing is open).
int atomic_write(AtomicFile* file, const void* bytes, size_t size);
// Closes the temporary file and renames it to the final name. 0 or an errno value; on
// failure the temporary file is removed.
int atomic_commit(AtomicFile* file);
// Closes and removes the temporary file, if any.
void atomic_abandon(AtomicFile* file);

// atomic_open, atomic_write and atomic_commit in one.
int write_file_atomically(const std::string& path, const void* bytes, size_t size);
