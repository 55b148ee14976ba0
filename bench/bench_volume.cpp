#include "bench_volume.h"

#include <cstdlib>
#include <cstring>

namespace {

// xorshift32: small, seeded and the same on every platform.
uint32_t next_random(uint32_t* state) {
  uint32_t x = *state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  *state = x;
  return x;
}

float random_unit(uint32_t* state) {
  return static_cast<float>(next_random(state) >> 8) / 16777216.0f;
}

}  // namespace

std::vector<uint8_t> synthetic_voxels(int32_t cols, int32_t rows, int32_t depth) {
  const int64_t plane = static_cast<int64_t>(cols) * rows;
  std::vector<uint8_t> voxels(static_cast<size_t>(plane * depth));
  const double cx = cols / 2.0, cy = rows / 2.0, cz = depth / 2.0;
  for (int32_t z = 0; z < depth; ++z) {
    for (int32_t y = 0; y < rows; ++y) {
      uint8_t* row = voxels.data() + z * plane + static_cast<int64_t>(y) * cols;
      for (int32_t x = 0; x < cols; ++x) {
        const double dx = (x - cx) / (0.45 * cols), dy = (y - cy) / (0.45 * rows),
                     dz = (z - cz) / (0.45 * depth);
        const double r2 = dx * dx + dy * dy + dz * dz;
        uint32_t value = 0;
        if (r2 < 0.8) {
          value = 60u + static_cast<uint32_t>((x * 7 + y * 13 + z * 5) % 97);
        } else if (r2 < 1.0) {
          value = 200u + static_cast<uint32_t>((x ^ y ^ z) & 31);
        }
        row[x] = static_cast<uint8_t>(value);
      }
    }
  }
  return voxels;
}

bool load_bench_volume(const char* path, Volume* volume) {
  *volume = Volume{};
  if (path != nullptr && load_volume(path, volume) == kLoadOk) return true;
  *volume = Volume{};
  const std::vector<uint8_t> stored = synthetic_voxels(kBenchCols, kBenchRows, kBenchDepth);
  float* floats = static_cast<float*>(std::malloc(stored.size() * sizeof(float)));
  if (floats == nullptr) return false;
  convert_voxels_to_float(stored.data(), 2 /* UINT8 */, stored.size(), floats);
  volume->depth = kBenchDepth;
  volume->rows = kBenchRows;
  volume->cols = kBenchCols;
  volume->frames = 1;
  volume->channels = 1;
  volume->data = floats;
  return false;
}

std::vector<BenchFeature> bench_features(const Volume& volume, int count, uint32_t seed) {
  uint32_t state = seed != 0 ? seed : 1u;
  std::vector<BenchFeature> features;
  for (int i = 0; i < count; ++i) {
    BenchFeature f;
    f.x = random_unit(&state) * static_cast<float>(volume.cols);
    f.y = random_unit(&state) * static_cast<float>(volume.rows);
    f.z = random_unit(&state) * static_cast<float>(volume.depth);
    f.scale = 0.5f + random_unit(&state) * 7.5f;
    features.push_back(f);
  }
  return features;
}
