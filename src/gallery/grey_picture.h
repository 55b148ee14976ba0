// GreyPicture: an eight-bit grey picture read from a binary PGM file ("P5", maxval 255),
// the only kind of picture kelvora writes. The reader says by its result what is wrong
// with a file (missing, not P5, malformed header, truncated pixels) so that the gallery
// can show the picture as missing or broken; it prints nothing and throws nothing.
#pragma once

#include <cstddef>
#include <cstdint>

enum PgmResult {
  kPgmOk = 0,
  kPgmMissing = -1,      // no file of that name
  kPgmUnreadable = -2,   // the file exists but cannot be opened or read
  kPgmNotP5 = -3,        // it does not begin with the magic "P5"
  kPgmBadHeader = -4,    // width, height or maxval malformed or zero
  kPgmNotEightBit = -5,  // a maxval other than 255
  kPgmTruncated = -6,    // the file ends inside the header or before width x height pixels
  kPgmTooLarge = -7,     // width x height above kPgmMaxPixels
  kPgmNoMemory = -8,     // the file's bytes cannot be held
};

// Far above any canvas kelvora makes, low enough that a forged header cannot ask for
// more than a quarter of a gigabyte.
constexpr int64_t kPgmMaxPixels = int64_t{1} << 28;

struct GreyPicture {
  int32_t width = 0;               // pixels per row
  int32_t height = 0;              // rows
  const uint8_t* pixels = nullptr; // width x height bytes, row-major, top row first;
                                   // points into `storage` or into the caller's bytes
  uint8_t* storage = nullptr;      // owned bytes of the last file read, reused when large enough
  size_t storage_capacity = 0;     // bytes allocated at `storage`

  GreyPicture() = default;
  GreyPicture(const GreyPicture&) = delete;
  GreyPicture& operator=(const GreyPicture&) = delete;
  ~GreyPicture();
  void release();
};

// Parses a whole PGM file held in `bytes`. On kPgmOk, `picture->pixels` points into
// `bytes` (which must outlive that use) and width and height are set; otherwise the
// picture is left empty (no pixels, size 0). Bytes after the last pixel are ignored.
int parse_pgm(const uint8_t* bytes, size_t size, GreyPicture* picture);

// Reads the file at `path` into the picture's storage and parses it. The result is
// kPgmMissing or kPgmUnreadable when the file cannot be had, else that of parse_pgm.
int read_pgm_file(const char* path, GreyPicture* picture);

// A short lower-case phrase for a result, for messages ("truncated pixel data").
const char* pgm_result_text(int result);
