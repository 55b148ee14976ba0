// Feature: one local feature of a volume (voxel position and scale) with room for
// per-feature data the tool carries but never fills. FeatureTable: the features of a
// run, held by value in reading order. Nothing here fails except allocation inside
// FeatureTable, which throws std::bad_alloc to the entry point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Volume;

struct Feature {
  int32_t info;      // carried, never read; always 0
  float x;           // column position, voxels (along Volume::cols)
  float y;           // row position, voxels (along Volume::rows)
  float z;           // slice position, voxels (along Volume::depth)
  float scale;       // feature scale, voxels; the circle radius is twice this
  float matrix[9];   // carried, never read; zero
  float triple[3];   // carried, never read; zero
  float values[64];  // carried, never read; zero

  Feature();
  void reset();

  // Writes the picture of this feature: with `combined` nonzero one file holding the
  // ZY, ZX and turned XY slices, else one file per slice; circles when `overlay` is
  // nonzero. Returns 1 when every picture was written completely; 0 when one could
  // not be made or written, after printing "Error: could not write feature image: %s\n"
  // for it and leaving no partial file. Defined in vis/panels.cpp.
  int write_feature_panels(const Volume& volume, const char* prefix, int overlay,
                           int combined) const;
};

static_assert(sizeof(Feature) == 81 * 4, "a Feature is 81 values of 32 bits");

class FeatureTable {
 public:
  void clear();
  void append(const Feature& feature);
  // Drops records from the end or appends all-zero records until there are n.
  void resize(size_t n);
  // Record i, or null when i is not below count().
  Feature* at(size_t i);
  const Feature* at(size_t i) const;
  size_t count() const;

 private:
  std::vector<Feature> records_;  // owned, in insertion order
};
