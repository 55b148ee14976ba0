#include "vis/slice.h"

#include <cmath>
#include <cstring>

#include "image/float_passes.h"

namespace {

int64_t voxels_per_frame(const Volume& volume) {
  return static_cast<int64_t>(volume.depth) * volume.rows * volume.cols;
}

// The first of `values` that compares equal to `value`, which occurs among them.
float first_equal(const float* values, int64_t count, float value) {
  for (int64_t k = 0; k < count; ++k) {
    if (values[k] == value) return values[k];
  }
  return value;
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
  // Row j of slice i is voxel row i * rows + j, so the whole cut is one run with the step
  // of a voxel row, each value in a cache line of its own. The hardware prefetcher stops
  // at page boundaries, which such a step crosses every few values, so the reads are
  // announced ahead; 256 values ahead was fastest on ch2better (301 columns).
  constexpr int64_t kAhead = 256;
  const int64_t step = cols * channels;
  const int64_t count = volume.depth * rows;
  const float* source = volume.data + x * channels + channel;
  int64_t k = 0;
  for (; k + kAhead < count; ++k) {
    __builtin_prefetch(source + (k + kAhead) * step);
    target[k] = source[k * step];
  }
  for (; k < count; ++k) target[k] = source[k * step];
  return 0;
}

int array_min_max(const float* values, int64_t count, float* minimum, float* maximum) {
  FiniteRange range;
  if (count > 0) range.add(values, count);
  float low = 0.0f;
  float high = 0.0f;
  if (!range.result(&low, &high)) {
    *minimum = 0.0f;
    *maximum = 0.0f;
    return 0;
  }
  // The range leaves the sign of a zero extreme open; a strict scan keeps the first
  // value equal to it, so that one decides.
  if (low == 0.0f) low = first_equal(values, count, low);
  if (high == 0.0f) high = first_equal(values, count, high);
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
  stretch_run(values, count, low, scale, top);
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
