#include "image/pnm.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "image/float_passes.h"

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

// One float per pixel, readable, and every row starting on a float boundary, so that rows
// can be handed to the passes of float_passes.h as float arrays.
bool has_float_rows(const Image& image, int component) {
  return floats_per_pixel(image) == 1 && has_readable_floats(image, component) &&
         reinterpret_cast<uintptr_t>(image.data) % alignof(float) == 0 &&
         image.stride % static_cast<int32_t>(sizeof(float)) == 0;
}

// Range of the finite values of an image with float rows.
bool packed_finite_range(const Image& source, float* minimum, float* maximum) {
  FiniteRange range;
  const int64_t width = source.width;
  if (source.stride == width * 4) {
    range.add(reinterpret_cast<const float*>(source.data), width * source.height);
  } else {
    for (int32_t r = 0; r < source.height; ++r) {
      const uint8_t* row = source.data + static_cast<int64_t>(r) * source.stride;
      range.add(reinterpret_cast<const float*>(row), width);
    }
  }
  return range.result(minimum, maximum);
}

// The first pixel, in row-major order, whose value equals `value`; one exists whenever
// `value` came from the image.
Extremum first_pixel_equal_to(const Image& source, int64_t n, int component, float value) {
  for (int32_t r = 0; r < source.height; ++r) {
    const uint8_t* row = source.data + static_cast<int64_t>(r) * source.stride;
    for (int32_t c = 0; c < source.width; ++c) {
      const float v = float_at(row, c * n + component);
      if (v == value) return Extremum{r, c, v};
    }
  }
  return Extremum{0, 0, value};
}

// v lies within [min, max], so q lies within [0, 255] and the cast is safe.
inline uint8_t stretched_grey(float v, double low, double range) {
  const double q = ((static_cast<double>(v) - low) * 255.0) / range;
  return static_cast<uint8_t>(static_cast<int32_t>(q) & 0xFF);
}

}  // namespace

int find_extrema(const Image& source, Extremum* minimum, Extremum* maximum, int component) {
  if (!has_readable_floats(source, component)) {
    *minimum = Extremum{0, 0, 0.0f};
    *maximum = *minimum;
    return 0;
  }
  const int64_t n = floats_per_pixel(source);
  if (has_float_rows(source, component)) {
    // The values first, then the first pixel holding each: strict comparisons in
    // row-major order keep exactly that pixel.
    float low = 0.0f;
    float high = 0.0f;
    if (!packed_finite_range(source, &low, &high)) {
      *minimum = Extremum{0, 0, float_at(source.data, 0)};
      *maximum = *minimum;
      return 0;
    }
    *minimum = first_pixel_equal_to(source, n, component, low);
    *maximum = first_pixel_equal_to(source, n, component, high);
    return 1;
  }
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

  const int64_t n = floats_per_pixel(source);
  // Only the values of the extremes matter here, not where they are, and the sign of a
  // zero extreme changes no grey level.
  float low_value = 0.0f;
  float high_value = 0.0f;
  bool found;
  const bool float_rows = has_float_rows(source, component);
  if (float_rows) {
    found = packed_finite_range(source, &low_value, &high_value);
  } else {
    Extremum minimum;
    Extremum maximum;
    found = find_extrema(source, &minimum, &maximum, component) != 0;
    low_value = minimum.value;
    high_value = maximum.value;
  }
  if (!found) {
    // Nothing finite (or nothing readable) to stretch: the picture is black.
    std::memset(destination->data, 0, static_cast<size_t>(static_cast<int64_t>(height) * width));
    return 1;
  }

  const double low = static_cast<double>(low_value);
  const double range = static_cast<double>(high_value) - low;
  // With a single finite value every finite quotient is 0/0, which gives 0.
  const bool flat = !(range > 0.0);
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* row = source.data + static_cast<int64_t>(r) * source.stride;
    uint8_t* out = destination->data + static_cast<int64_t>(r) * width;
    if (float_rows && !flat) {
      const float* values = reinterpret_cast<const float*>(row);
      // The usual canvas runs from 0.0 (its empty corner) to 255.0 (a circle), where the
      // quotient is the value itself and no division is needed.
      if (low == 0.0 && range == 255.0) {
        grey_run_truncated(values, width, out);
      } else {
        grey_run_divided(values, width, low_value, high_value, out);
      }
      continue;
    }
    for (int32_t c = 0; c < width; ++c) {
      const float v = float_at(row, c * n + component);
      uint8_t grey;
      if (std::isfinite(v)) {
        grey = flat ? 0 : stretched_grey(v, low, range);
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
