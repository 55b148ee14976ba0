#include "gallery/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

AtomicFile::~AtomicFile() { atomic_abandon(this); }

int atomic_open(AtomicFile* file, const std::string& path) {
  atomic_abandon(file);
  file->path = path;
  static std::atomic<unsigned> serial{0};  // the gallery converts on several threads
  for (int attempt = 0; attempt < 100; ++attempt) {
    // A short name of its own, so that a final name near the file-name limit still
    // leaves room for the temporary one.
    char name[64];
    std::snprintf(name, sizeof name, ".kelvora-gallery.%ld.%u.tmp", static_cast<long>(getpid()),
                  serial++);
    const size_t slash = path.rfind('/');
    const std::string temp = slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      file->temp_path = temp;
      file->fd = fd;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int atomic_write(AtomicFile* file, const void* bytes, size_t size) {
  if (file->fd < 0) return EIO;
  const char* at = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t written = write(file->fd, at, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    at += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int atomic_commit(AtomicFile* file) {
  if (file->fd < 0) return EIO;
  int error = close(file->fd) == 0 ? 0 : errno;
  file->fd = -1;
  if (error == 0 && rename(file->temp_path.c_str(), file->path.c_str()) != 0) error = errno;
  if (error != 0) unlink(file->temp_path.c_str());
  file->temp_path.clear();
  return error;
}

void atomic_abandon(AtomicFile* file) {
  if (file->fd < 0) return;
  close(file->fd);
  file->fd = -1;
  unlink(file->temp_path.c_str());
  file->temp_path.clear();
}

int write_file_atomically(const std::string& path, const void* bytes, size_t size) {
  AtomicFile file;
  int error = atomic_open(&file, path);
  if (error == 0) error = atomic_write(&file, bytes, size);
  if (error == 0) error = atomic_commit(&file);
  return error;
}
