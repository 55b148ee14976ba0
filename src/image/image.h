// Image: a two-dimensional raster of 8-, 16-, 24- or 32-bit (float) pixels stored row by
// row with an explicit stride, either owning its buffer (capacity > 0) or viewing memory
// owned elsewhere (capacity 0). The only failure is an allocation refused inside
// reserve/init (result 0, no buffer held); a buffer over 2^31-1 bytes counts as refused.
#pragma once

#include <cstdint>
#include <cstdio>

struct Image {
  int32_t width = 0;           // pixels per row
  int32_t height = 0;          // rows
  int32_t stride = 0;          // bytes from the start of one row to the start of the next
  int32_t bits_per_pixel = 0;  // 8, 16, 24 or 32; 32 is one IEEE-754 float per pixel
  uint8_t* data = nullptr;     // first byte of row 0; null when the image has no pixels
  int32_t capacity = 0;        // bytes of the buffer this image owns; 0 for a view or none

  Image() = default;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  ~Image() { release(); }

  // Makes sure an owned buffer of at least `bytes` exists; a larger request frees the old
  // buffer (never a viewed one) and allocates exactly `bytes`, uncleared. 1, or 0 when
  // the allocation fails (then no buffer is held).
  int reserve(int32_t bytes);
  // Stores the geometry, then reserves height*stride bytes (computed in 64 bits). 1 or 0.
  int init(int32_t height, int32_t width, int32_t stride, int32_t bits_per_pixel);
  // Views `pixels` (first byte of row 0) with the given geometry; frees an owned buffer. 1.
  int view(int32_t height, int32_t width, int32_t stride, int32_t bits_per_pixel, uint8_t* pixels);
  // Frees an owned buffer; afterwards data is null and capacity 0. Geometry is kept.
  void release();

  // Writes the image as P5 (8 and 16 bits; 16-bit samples are their low bytes), P6 or,
  // with `binary` zero, plain P3 (24 bits), or the raw float picture P8 (32 bits).
  // 1 when a complete picture was written; 0 for any other depth or a failed write.
  // The stream is neither flushed nor closed.
  int write_pnm(FILE* stream, int binary) const;
  // Writes the binary picture to `file_name` ("wb"). 1 when the whole file was written
  // and closed; 0 for a null name, a file that cannot be opened, or a failed write or
  // close, in which case no partial file is left behind.
  int write_pnm_file(const char* file_name) const;
};
