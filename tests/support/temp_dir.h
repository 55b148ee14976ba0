// A scoped temporary directory for tests that write files.
#pragma once

#include <string>

// A fresh directory under /tmp, removed with everything in it when the object goes.
// path() is empty when the directory could not be made.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};
