#include "gallery/png_writer.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <png.h>
#include <zlib.h>

namespace {

void append_bytes(png_structp png, png_bytep bytes, size_t length) {
  PngBuffer* out = static_cast<PngBuffer*>(png_get_io_ptr(png));
  if (length > out->capacity - out->size) {
    size_t capacity = out->capacity < 4096 ? 4096 : out->capacity;
    while (length > capacity - out->size) {
      if (capacity > SIZE_MAX / 2) png_error(png, "output too large");
      capacity *= 2;
    }
    uint8_t* grown = static_cast<uint8_t*>(std::realloc(out->data, capacity));
    if (grown == nullptr) png_error(png, "out of memory");
    out->data = grown;
    out->capacity = capacity;
  }
  std::memcpy(out->data + out->size, bytes, length);
  out->size += length;
}

void flush_nothing(png_structp) {}

// Kept apart from encode_grey_png so that nothing with a destructor lives in the frame
// that libpng's error handler jumps back into.
int encode_rows(png_structp png, png_infop info, const uint8_t* pixels, int32_t width,
                int32_t height, size_t stride, PngBuffer* out) {
  if (setjmp(png_jmpbuf(png))) return kPngEncodeFailed;
  png_set_write_fn(png, out, append_bytes, flush_nothing);
  // Stored (uncompressed) deflate blocks without row filters: even zlib's fastest level
  // costs several times what kelvora spends making a picture, while storing is little more
  // than the two checksums, so the PNGs are about as large as the PGMs beside them. A
  // large zlib buffer keeps the stored blocks, and so the chunks, few.
  png_set_compression_level(png, Z_NO_COMPRESSION);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_buffer_size(png, 1 << 17);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (int32_t row = 0; row < height; ++row) {
    png_write_row(png, pixels + static_cast<size_t>(row) * stride);
  }
  png_write_end(png, info);
  return kPngOk;
}

}  // namespace

PngBuffer::~PngBuffer() { release(); }

void PngBuffer::release() {
  std::free(data);
  data = nullptr;
  size = 0;
  capacity = 0;
}

int encode_grey_png(const uint8_t* pixels, int32_t width, int32_t height, size_t stride,
                    PngBuffer* out) {
  out->size = 0;
  if (pixels == nullptr || width <= 0 || height <= 0 || stride < static_cast<size_t>(width)) {
    return kPngBadPicture;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return kPngNoMemory;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return kPngNoMemory;
  }
  const int result = encode_rows(png, info, pixels, width, height, stride, out);
  png_destroy_write_struct(&png, &info);
  if (result != kPngOk) out->size = 0;
  return result;
}
