// Volume: a float voxel volume, and its loading from a NIfTI-1 / ANALYZE file through
// the NIfTI-1 I/O library. load_volume reports failure by a negative result and then
// leaves the Volume exactly as it was; no library type leaves this folder.
#pragma once

#include <cstddef>
#include <cstdint>

struct Volume {
  int32_t depth;     // slices (third extent, nz); the slowest spatial axis
  int32_t rows;      // rows per slice (second extent, ny)
  int32_t cols;      // columns per row (first extent, nx); the fastest axis
  int32_t frames;    // fourth extent (nt) as the library reports it; not shown
  int32_t channels;  // interleaved values per voxel; 1 for every loaded image
  float* data;       // voxels: index (((t*depth + s)*rows + r)*cols + c)*channels + k; owned when loaded
  float* spare1;     // never filled; freed by release_volume when set
  float* spare2;     // never filled; freed by release_volume when set
};

enum LoadResult {
  kLoadOk = 1,
  kLoadNoImage = -1,          // the library returned no image record
  kLoadNoData = -2,           // a record without (usable) voxel data
  kLoadUnsupportedType = -3,  // a datatype outside the conversion table (message printed)
  kLoadOutOfMemory = -4,      // the float array could not be allocated
};

// Reads `path` (handed to the library unchanged) and converts every voxel to a float,
// ignoring the header's scaling. On success overwrites all fields of `volume` without
// freeing what they held and returns kLoadOk; otherwise returns a negative LoadResult.
int load_volume(const char* path, Volume* volume);

// Frees data, spare1 and spare2 when data is set; keeps the extents. Always 1.
int release_volume(Volume* volume);

// Converts `count` stored values of NIfTI datatype `datatype` at `stored` into floats
// at `out`, in index order. Returns 1, or 0 (nothing written) for a datatype outside
// the table: 2, 4, 8, 16, 64, 256, 512, 768.
int convert_voxels_to_float(const void* stored, int datatype, size_t count, float* out);

// Bytes of one stored value of a datatype in the conversion table, 0 for any other.
int datatype_size(int datatype);
