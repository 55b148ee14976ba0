// Lossless PNG encoding of eight-bit grey pictures: one grey sample of 8 bits per pixel
// and no gamma, colour or text chunks, so any decoder gets back exactly the PGM's grey
// values. Tuned for speed over size, since the gallery's PNGs are throwaway copies.
// Encoding works in memory; failures are reported by result code, nothing is printed.
#pragma once

#include <cstddef>
#include <cstdint>

enum PngResult {
  kPngOk = 0,
  kPngBadPicture = -1,  // no pixels, a size that is not positive, or a stride below width
  kPngNoMemory = -2,    // the output buffer cannot grow
  kPngEncodeFailed = -3 // libpng reported an error
};

// Growable output bytes, reused from picture to picture.
struct PngBuffer {
  uint8_t* data = nullptr;  // `size` bytes of PNG, owned
  size_t size = 0;          // bytes in use
  size_t capacity = 0;      // bytes allocated

  PngBuffer() = default;
  PngBuffer(const PngBuffer&) = delete;
  PngBuffer& operator=(const PngBuffer&) = delete;
  ~PngBuffer();
  void release();
};

// Encodes `height` rows of `width` grey bytes, `stride` bytes apart, as a whole PNG file
// into `out` (replacing its content). On failure `out->size` is 0.
int encode_grey_png(const uint8_t* pixels, int32_t width, int32_t height, size_t stride,
                    PngBuffer* out);
