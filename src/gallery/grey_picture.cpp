#include "gallery/grey_picture.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>

namespace {

bool is_pnm_space(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips white space and "#" comments; a header needs at least one separator before each
// number. Returns the position of the next token, or size.
size_t skip_separators(const uint8_t* bytes, size_t size, size_t at, bool* saw_separator) {
  *saw_separator = false;
  while (at < size) {
    if (is_pnm_space(bytes[at])) {
      *saw_separator = true;
      ++at;
    } else if (bytes[at] == '#') {
      *saw_separator = true;
      while (at < size && bytes[at] != '\n' && bytes[at] != '\r') ++at;
    } else {
      break;
    }
  }
  return at;
}

// One header number. Values beyond 2^31 - 1 are refused as malformed rather than wrapped.
int read_header_number(const uint8_t* bytes, size_t size, size_t* at, int64_t* value) {
  bool saw_separator = false;
  size_t i = skip_separators(bytes, size, *at, &saw_separator);
  if (i >= size) return kPgmTruncated;
  if (!saw_separator || bytes[i] < '0' || bytes[i] > '9') return kPgmBadHeader;
  int64_t v = 0;
  while (i < size && bytes[i] >= '0' && bytes[i] <= '9') {
    v = v * 10 + (bytes[i] - '0');
    if (v > INT32_MAX) return kPgmBadHeader;
    ++i;
  }
  if (i >= size) return kPgmTruncated;
  *at = i;
  *value = v;
  return kPgmOk;
}

void clear_geometry(GreyPicture* picture) {
  picture->width = 0;
  picture->height = 0;
  picture->pixels = nullptr;
}

}  // namespace

GreyPicture::~GreyPicture() { release(); }

void GreyPicture::release() {
  std::free(storage);
  storage = nullptr;
  storage_capacity = 0;
  clear_geometry(this);
}

int parse_pgm(const uint8_t* bytes, size_t size, GreyPicture* picture) {
  clear_geometry(picture);
  if (size < 2 || bytes[0] != 'P' || bytes[1] != '5') return kPgmNotP5;

  size_t at = 2;
  int64_t width = 0;
  int64_t height = 0;
  int64_t maxval = 0;
  int result = read_header_number(bytes, size, &at, &width);
  if (result == kPgmOk) result = read_header_number(bytes, size, &at, &height);
  if (result == kPgmOk) result = read_header_number(bytes, size, &at, &maxval);
  if (result != kPgmOk) return result;
  if (width == 0 || height == 0 || maxval == 0 || maxval > 65535) return kPgmBadHeader;
  // Exactly one white-space byte ends the header; the pixels follow it.
  if (!is_pnm_space(bytes[at])) return kPgmBadHeader;
  ++at;
  if (maxval != 255) return kPgmNotEightBit;

  const int64_t pixel_count = width * height;
  if (pixel_count > kPgmMaxPixels) return kPgmTooLarge;
  if (static_cast<uint64_t>(pixel_count) > size - at) return kPgmTruncated;

  picture->width = static_cast<int32_t>(width);
  picture->height = static_cast<int32_t>(height);
  picture->pixels = bytes + at;
  return kPgmOk;
}

int read_pgm_file(const char* path, GreyPicture* picture) {
  clear_geometry(picture);
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return errno == ENOENT || errno == ENOTDIR ? kPgmMissing : kPgmUnreadable;

  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    return kPgmUnreadable;
  }
  // The header is a few dozen bytes; a file far beyond the pixel limit cannot be a
  // picture we accept, whatever its header says.
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  if (size > static_cast<uint64_t>(kPgmMaxPixels) + 4096) {
    std::fclose(file);
    return kPgmTooLarge;
  }
  const size_t want = size == 0 ? 1 : static_cast<size_t>(size);
  if (picture->storage_capacity < want) {
    std::free(picture->storage);
    picture->storage = static_cast<uint8_t*>(std::malloc(want));
    picture->storage_capacity = picture->storage == nullptr ? 0 : want;
    if (picture->storage == nullptr) {
      std::fclose(file);
      return kPgmNoMemory;
    }
  }
  const size_t got = std::fread(picture->storage, 1, static_cast<size_t>(size), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return kPgmUnreadable;
  return parse_pgm(picture->storage, got, picture);
}

const char* pgm_result_text(int result) {
  switch (result) {
    case kPgmOk: return "ok";
    case kPgmMissing: return "no such file";
    case kPgmUnreadable: return "cannot be read";
    case kPgmNotP5: return "not a binary PGM (P5) file";
    case kPgmBadHeader: return "malformed PGM header";
    case kPgmNotEightBit: return "maxval is not 255";
    case kPgmTruncated: return "truncated";
    case kPgmTooLarge: return "too large";
    case kPgmNoMemory: return "out of memory";
    default: return "unknown error";
  }
}
