// Axis-aligned slices of a float Volume into packed float arrays, and linear stretching
// of a volume's first frame onto 0..N. Callers guarantee index, channel and target size;
// the only refusals are by result (see each operation).
#pragma once

#include <cstdint>

#include "image/image.h"
#include "volume/volume.h"

// Slice at slice index z (rows x cols; pixel (i, j) is voxel x=j, y=i). With depth <= 1
// the only slice is copied whatever z is. Always 1.
int extract_slice_xy(const Volume& volume, int32_t z, int32_t channel, float* target);
// Slice at row y (depth x cols; pixel (i, j) is voxel x=j, z=i). -1 with nothing written
// when depth <= 1; otherwise 0 (success).
int extract_slice_zx(const Volume& volume, int32_t y, int32_t channel, float* target);
// Slice at column x (depth x rows; pixel (i, j) is voxel y=j, z=i). -1 with nothing
// written when depth <= 1; otherwise 0 (success).
int extract_slice_zy(const Volume& volume, int32_t x, int32_t channel, float* target);

// Smallest and largest finite value of `values` (strict comparisons: first occurrences
// win). 1 when a finite value exists; 0 when none does or count <= 0, with both 0.0.
int array_min_max(const float* values, int64_t count, float* minimum, float* maximum);

// Maps the first depth*rows*cols values onto 0..top: d = (float)(v - min), then
// (float)(d * scale) with scale = (float)(top / (max - min)) formed in double. Equal
// minimum and maximum give 0.0; NaN and -infinity give 0.0, +infinity gives top, and with
// no finite value everything becomes 0.0. 0 (nothing changed) when channels != 1, else 1.
int normalize_volume(Volume* volume, float top);

// A one-slice Volume view of an image's pixels (depth 1, rows = height, cols = width,
// frames 1, channels 1). data is the image's buffer for 32-bit images (result 1), null
// otherwise (result 0). The view owns nothing and must never be released.
int image_as_volume(const Image& image, Volume* out);
