// The volume the micro-benchmarks and the allocation check run on: the image named on
// the command line when it loads, otherwise a synthetic volume of the same extents as
// the mricron template ch2better (301 columns x 370 rows x 316 slices).
#pragma once

#include <cstdint>
#include <vector>

#include "volume/volume.h"

constexpr int32_t kBenchCols = 301;
constexpr int32_t kBenchRows = 370;
constexpr int32_t kBenchDepth = 316;

// Fills `volume` (released by release_volume) from `path`, or, when `path` is null or
// does not load, with the synthetic volume. Returns true when the image itself was
// loaded, false when the synthetic one stands in. Never fails otherwise; a synthetic
// volume that cannot be allocated leaves data null.
bool load_bench_volume(const char* path, Volume* volume);

// The stored UINT8 values of the synthetic volume, in voxel order: a bright ellipsoid
// shell around a textured interior on a dark background, so slices have real contrast.
std::vector<uint8_t> synthetic_voxels(int32_t cols, int32_t rows, int32_t depth);

// Features at fixed pseudo-random positions inside the volume (seeded, so every run
// draws the same ones), scales between 0.5 and 8.
struct BenchFeature {
  float x, y, z, scale;
};
std::vector<BenchFeature> bench_features(const Volume& volume, int count, uint32_t seed);
