#include "input/text_file.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "input/line_pieces.h"

TextFile::~TextFile() {
  // Frees even a buffer that release() refuses because its counts were altered.
  std::free(buffer);
}

int TextFile::read(const char* path) {
  InputStream input(path);
  if (input.file == nullptr) return kTextCannotOpen;

  // First pass: size the table from the true piece lengths, so NUL bytes in a line
  // cannot make a slot narrower than the piece the second pass stores in it.
  int64_t pieces = 0;
  int32_t longest = 0;
  for (;;) {
    const int32_t length = read_line_piece(input.file, nullptr, kTextPieceLength);
    if (length == 0) break;
    if (length > longest) longest = length;
    if (++pieces > std::numeric_limits<int32_t>::max()) {
      release();
      return kTextNoMemory;
    }
  }
  if (std::ferror(input.file) != 0) return kTextCannotOpen;

  const int code = allocate(static_cast<int32_t>(pieces), longest + 1);
  if (code == kTextNoMemory) return kTextNoMemory;
  if (code != kTextOk) return kTextNoLines;

  if (std::fseek(input.file, 0, SEEK_SET) != 0) {
    release();
    return kTextCannotOpen;
  }
  for (int32_t i = 0; i < line_count; ++i) {
    char* slot = get_line(i);
    const int32_t length = read_line_piece(input.file, slot, line_width - 1);
    if (length == 0) break;
    // The slot is zero-filled, so a piece without a line feed is already terminated.
    if (slot[length - 1] == '\n') slot[length - 1] = '\0';
  }
  if (std::ferror(input.file) != 0) {
    release();
    return kTextCannotOpen;
  }
  return kTextOk;
}

int TextFile::write(const char* path) {
  if (is_valid() == 0) return kTextNoLines;
  if (path == nullptr) return kTextNullPath;
  FILE* file = std::fopen(path, "wt");
  if (file == nullptr) return kTextCannotOpen;

  const size_t width = static_cast<size_t>(line_width);
  bool written = true;
  for (int32_t i = 0; i < line_count && written; ++i) {
    const char* slot = get_line(i);
    // A slot filled to its last byte by a caller has no terminator of its own.
    const void* terminator = std::memchr(slot, '\0', width);
    const size_t length =
        terminator != nullptr ? static_cast<size_t>(static_cast<const char*>(terminator) - slot)
                              : width;
    written = std::fwrite(slot, 1, length, file) == length && std::fputc('\n', file) != EOF;
  }
  if (std::fclose(file) != 0) written = false;
  return written ? kTextOk : kTextCannotOpen;
}

int TextFile::type_code() { return 1; }

int TextFile::allocate(int32_t count, int32_t width) {
  release();
  if (buffer != nullptr) return -1;
  if (count <= 0 || width <= 0) return -2;
  const int64_t bytes = static_cast<int64_t>(count) * static_cast<int64_t>(width);
  if constexpr (sizeof(size_t) < sizeof(int64_t)) {
    if (static_cast<uint64_t>(bytes) > std::numeric_limits<size_t>::max()) return kTextNoMemory;
  }
  void* made = std::calloc(static_cast<size_t>(bytes), 1);
  if (made == nullptr) return kTextNoMemory;
  buffer = static_cast<char*>(made);
  line_count = count;
  line_width = width;
  return kTextOk;
}

int TextFile::release() {
  if (buffer == nullptr) return 0;
  if (line_count <= 0 || line_width <= 0) return -1;
  std::free(buffer);
  buffer = nullptr;
  return 0;
}

int TextFile::is_valid() const {
  return line_count > 0 && line_width > 0 && buffer != nullptr ? 1 : 0;
}

int32_t TextFile::get_count() const { return line_count; }

char* TextFile::get_line(int32_t i) {
  if (is_valid() == 0 || i < 0 || i >= line_count) return nullptr;
  return buffer + static_cast<ptrdiff_t>(i) * static_cast<ptrdiff_t>(line_width);
}

const char* TextFile::base_name(const char* path) {
  if (path == nullptr) return nullptr;
  if (const char* backslash = std::strrchr(path, '\\')) return backslash + 1;
  if (const char* slash = std::strrchr(path, '/')) return slash + 1;
  return path;
}
