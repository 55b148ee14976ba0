#include "image/pnm.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Floats per pixel of a float image.
int32_t floats_per_pixel(const Image& image) { return (image.bits_per_pixel / 8) / 4; }

// A component outside the pixel would be read beyond the pixel (or beyond the row), so
// such a call is treated like an image without pixels.
bool has_readable_floats(const Image& image, int component) {
  const int32_t n = floats_per_pixel(image);
  return image.data != nullptr && image.width > 0 && image.height > 0 && component >= 0 &&
         component < n;
}

inline float float_at(const uint8_t* row, int64_t index) {
  float value;
  std::memcpy(&value, row + index * 4, sizeof value);
  return value;
}

}  // namespace

int find_extrema(const Image& source, Extremum* minimum, Extremum* maximum, int component) {
  if (!has_readable_floats(source, component)) {
    *minimum = Extremum{0, 0, 0.0f};
    *maximum = *minimum;
    return 0;
  }
  const int64_t n = floats_per_pixel(source);
  bool found = false;
  Extremum lo{0, 0, float_at(source.data, 0)};
  Extremum hi = lo;
  for (int32_t r = 0; r < source.height; ++r) {
    const uint8_t* row = source.data + static_cast<int64_t>(r) * source.stride;
    for (int32_t c = 0; c < source.width; ++c) {
      const float v = float_at(row, c * n + component);
      if (!std::isfinite(v)) continue;
      if (!found) {
        lo = Extremum{r, c, v};
        hi = lo;
        found = true;
        continue;
      }
      if (v > hi.value) hi = Extremum{r, c, v};
      if (v < lo.value) lo = Extremum{r, c, v};
    }
  }
  *minimum = lo;
  *maximum = hi;
  return found ? 1 : 0;
}

int output_float(const Image& source, Image* destination, int component) {
  if (destination->init(source.height, source.width, source.width, 8) == 0) {
    std::printf("Error: output_float() cannot allocate image.\n");
    return 0;
  }
  const int32_t height = source.height;
  const int32_t width = source.width;
  if (height <= 0 || width <= 0) return 1;

  Extremum minimum;
  Extremum maximum;
  if (find_extrema(source, &minimum, &maximum, component) == 0) {
    // Nothing finite (or nothing readable) to stretch: the picture is black.
    std::memset(destination->data, 0, static_cast<size_t>(static_cast<int64_t>(height) * width));
    return 1;
  }

  const int64_t n = floats_per_pixel(source);
  const double low = static_cast<double>(minimum.value);
  const double range = static_cast<double>(maximum.value) - low;
  // With a single finite value every finite quotient is 0/0, which gives 0.
  const bool flat = !(range > 0.0);
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* row = source.data + static_cast<int64_t>(r) * source.stride;
    uint8_t* out = destination->data + static_cast<int64_t>(r) * width;
    for (int32_t c = 0; c < width; ++c) {
      const float v = float_at(row, c * n + component);
      uint8_t grey;
      if (std::isfinite(v)) {
        if (flat) {
          grey = 0;
        } else {
          // v lies within [min, max], so q lies within [0, 255] and the cast is safe.
          const double q = ((static_cast<double>(v) - low) * 255.0) / range;
          grey = static_cast<uint8_t>(static_cast<int32_t>(q) & 0xFF);
        }
      } else {
        grey = v > 0.0f ? 255 : 0;
      }
      out[c] = grey;
    }
  }
  return 1;
}

int write_float_as_pgm(const Image& source, const char* file_name, int component) {
  Image grey;
  if (output_float(source, &grey, component) == 0) return 0;
  return grey.write_pnm_file(file_name);
}
