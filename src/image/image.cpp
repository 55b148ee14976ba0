#include "image/image.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

// P8 samples are defined as little-endian floats and are written straight from memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the raw float picture is written from memory and assumes a little-endian host");

namespace {

const int kMaxval = 255;
// Low bytes of 16-bit samples are gathered here before one write per chunk.
const int64_t kChunkPixels = 2048;

bool write_bytes(FILE* stream, const uint8_t* bytes, int64_t count) {
  if (count <= 0) return true;
  const size_t size = static_cast<size_t>(count);
  return std::fwrite(bytes, 1, size, stream) == size;
}

bool write_low_bytes(FILE* stream, const uint8_t* row, int64_t pixels) {
  uint8_t chunk[kChunkPixels];
  for (int64_t start = 0; start < pixels; start += kChunkPixels) {
    const int64_t count = pixels - start < kChunkPixels ? pixels - start : kChunkPixels;
    const uint8_t* source = row + start * 2;
    for (int64_t i = 0; i < count; ++i) {
      uint16_t sample;
      std::memcpy(&sample, source + i * 2, sizeof sample);
      chunk[i] = static_cast<uint8_t>(sample & 0xFFu);
    }
    if (!write_bytes(stream, chunk, count)) return false;
  }
  return true;
}

bool write_decimal_bytes(FILE* stream, const uint8_t* row, int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    if (std::fprintf(stream, "%d ", static_cast<int>(row[i])) < 0) return false;
  }
  return true;
}

}  // namespace

int Image::reserve(int32_t bytes) {
  if (bytes <= capacity) return 1;
  if (capacity != 0) std::free(data);
  data = nullptr;
  capacity = 0;
  void* buffer = std::malloc(static_cast<size_t>(bytes));
  if (buffer == nullptr) return 0;
  data = static_cast<uint8_t*>(buffer);
  capacity = bytes;
  return 1;
}

int Image::init(int32_t new_height, int32_t new_width, int32_t new_stride,
                int32_t new_bits_per_pixel) {
  width = new_width;
  height = new_height;
  stride = new_stride;
  bits_per_pixel = new_bits_per_pixel;
  const int64_t bytes = static_cast<int64_t>(new_height) * static_cast<int64_t>(new_stride);
  if (bytes > INT32_MAX) {
    // Treated exactly like a refused allocation, so the image ends up holding nothing.
    if (capacity != 0) std::free(data);
    data = nullptr;
    capacity = 0;
    return 0;
  }
  if (bytes <= 0) return 1;
  return reserve(static_cast<int32_t>(bytes));
}

int Image::view(int32_t new_height, int32_t new_width, int32_t new_stride,
                int32_t new_bits_per_pixel, uint8_t* pixels) {
  width = new_width;
  height = new_height;
  stride = new_stride;
  bits_per_pixel = new_bits_per_pixel;
  if (capacity != 0) std::free(data);
  capacity = 0;
  data = pixels;
  return 1;
}

void Image::release() {
  if (capacity != 0) std::free(data);
  data = nullptr;
  capacity = 0;
}

int Image::write_pnm(FILE* stream, int binary) const {
  int64_t pixel_bytes = 0;
  const char* format = nullptr;
  int maxval = kMaxval;
  switch (bits_per_pixel) {
    case 8:
      format = "P5\n%d %d\n%d\n";
      pixel_bytes = 1;
      break;
    case 16:
      format = "P5\n%d %d\n%d\n";
      pixel_bytes = 2;
      break;
    case 24:
      format = binary != 0 ? "P6\n%d %d\n%d\n" : "P3\n%d %d\n%d\n";
      pixel_bytes = 3;
      break;
    case 32:
      format = "P8\n%d %d\n%d\n";
      pixel_bytes = 4;
      maxval = 0;
      break;
    default:
      return 0;
  }

  const int64_t row_pixels = width > 0 ? width : 0;
  const int64_t rows = height > 0 ? height : 0;
  // An image whose buffer was never allocated has no samples to give.
  if (row_pixels > 0 && rows > 0 && data == nullptr) return 0;

  if (std::fprintf(stream, format, width, height, maxval) < 0) return 0;
  if (row_pixels == 0) return 1;

  const int64_t row_bytes = row_pixels * pixel_bytes;
  const bool raw_rows =
      bits_per_pixel == 8 || bits_per_pixel == 32 || (bits_per_pixel == 24 && binary != 0);
  if (raw_rows && stride == row_bytes) {
    // Rows without padding are one block: one write instead of one per row.
    return write_bytes(stream, data, rows * row_bytes) ? 1 : 0;
  }
  for (int64_t r = 0; r < rows; ++r) {
    const uint8_t* row = data + r * static_cast<int64_t>(stride);
    bool written;
    if (bits_per_pixel == 16) {
      written = write_low_bytes(stream, row, row_pixels);
    } else if (bits_per_pixel == 24 && binary == 0) {
      written = write_decimal_bytes(stream, row, row_bytes);
    } else {
      written = write_bytes(stream, row, row_bytes);
    }
    if (!written) return 0;
  }
  return 1;
}

int Image::write_pnm_file(const char* file_name) const {
  if (file_name == nullptr) return 0;
  FILE* stream = std::fopen(file_name, "wb");
  if (stream == nullptr) return 0;

  // Only a regular file may be removed after a failure: the name could be a device such
  // as /dev/full, and removing that would be far worse than a failed picture.
  struct stat status;
  const bool regular = fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode);

  int result = write_pnm(stream, 1);
  if (std::ferror(stream) != 0) result = 0;
  if (std::fclose(stream) != 0) result = 0;
  if (result == 0 && regular) std::remove(file_name);
  return result;
}
