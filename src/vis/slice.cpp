#include "vis/slice.h"

#include <cmath>
#include <cstring>

namespace {

int64_t voxels_per_frame(const Volume& volume) {
  return static_cast<int64_t>(volume.depth) * volume.rows * volume.cols;
}

}  // namespace

int extract_slice_xy(const Volume& volume, int32_t z, int32_t channel, float* target) {
  const int64_t rows = volume.rows;
  const int64_t cols = volume.cols;
  const int64_t channels = volume.channels;
  const int64_t slice_start = volume.depth > 1 ? z * rows * cols : 0;
  const float* source = volume.data + slice_start * channels + channel;
  if (channels == 1) {
    // The slice is one contiguous run of the voxel array.
    std::memcpy(target, source, static_cast<size_t>(rows * cols) * sizeof(float));
    return 1;
  }
  for (int64_t k = 0; k < rows * cols; ++k) target[k] = source[k * channels];
  return 1;
}

int extract_slice_zx(const Volume& volume, int32_t y, int32_t channel, float* target) {
  if (volume.depth <= 1) return -1;
  const int64_t rows = volume.rows;
  const int64_t cols = volume.cols;
  const int64_t channels = volume.channels;
  for (int64_t i = 0; i < volume.depth; ++i) {
    const float* source = volume.data + ((i * rows + y) * cols) * channels + channel;
    float* out = target + i * cols;
    if (channels == 1) {
      std::memcpy(out, source, static_cast<size_t>(cols) * sizeof(float));
    } else {
      for (int64_t j = 0; j < cols; ++j) out[j] = source[j * channels];
    }
  }
  return 0;
}

int extract_slice_zy(const Volume& volume, int32_t x, int32_t channel, float* target) {
  if (volume.depth <= 1) return -1;
  const int64_t rows = volume.rows;
  const int64_t cols = volume.cols;
  const int64_t channels = volume.channels;
  const int64_t step = cols * channels;
  for (int64_t i = 0; i < volume.depth; ++i) {
    const float* source = volume.data + (i * rows * cols + x) * channels + channel;
    float* out = target + i * rows;
    for (int64_t j = 0; j < rows; ++j) out[j] = source[j * step];
  }
  return 0;
}

int array_min_max(const float* values, int64_t count, float* minimum, float* maximum) {
  int64_t k = 0;
  while (k < count && !std::isfinite(values[k])) ++k;
  if (k >= count) {
    *minimum = 0.0f;
    *maximum = 0.0f;
    return 0;
  }
  float low = values[k];
  float high = values[k];
  for (++k; k < count; ++k) {
    const float v = values[k];
    if (!std::isfinite(v)) continue;
    if (v < low) low = v;
    if (v > high) high = v;
  }
  *minimum = low;
  *maximum = high;
  return 1;
}

int normalize_volume(Volume* volume, float top) {
  if (volume->channels != 1) return 0;
  const int64_t count = voxels_per_frame(*volume);
  if (count <= 0) return 1;
  float* values = volume->data;
  float low = 0.0f;
  float high = 0.0f;
  if (!array_min_max(values, count, &low, &high)) {
    for (int64_t k = 0; k < count; ++k) values[k] = 0.0f;
    return 1;
  }
  if (low == high) {
    for (int64_t k = 0; k < count; ++k) values[k] = values[k] == INFINITY ? top : 0.0f;
    return 1;
  }
  // Rounding points: the scale is rounded to float once, then every difference and every
  // product is rounded to float on its own.
  const float scale = static_cast<float>(static_cast<double>(top) /
                                         (static_cast<double>(high) - static_cast<double>(low)));
  for (int64_t k = 0; k < count; ++k) {
    const float v = values[k];
    if (std::isfinite(v)) {
      const float difference = v - low;
      values[k] = difference * scale;
    } else {
      values[k] = v == INFINITY ? top : 0.0f;
    }
  }
  return 1;
}

int image_as_volume(const Image& image, Volume* out) {
  out->depth = 1;
  out->rows = image.height;
  out->cols = image.width;
  out->frames = 1;
  out->channels = 1;
  out->spare1 = nullptr;
  out->spare2 = nullptr;
  if (image.bits_per_pixel == 32) {
    out->data = reinterpret_cast<float*>(image.data);
    return 1;
  }
  out->data = nullptr;
  return 0;
}
