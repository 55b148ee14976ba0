// Names and integer positions of a feature's pictures; the picture writer itself is
// Feature::write_feature_panels (feature/feature.h), defined in panels.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "feature/feature.h"

// The integers a picture is made with: x, y and z truncated toward zero (they name the
// file and centre the circles) and the radius trunc(2 * scale). NaN gives 0 and values
// beyond the 32-bit range saturate.
struct FeaturePosition {
  int32_t xi;
  int32_t yi;
  int32_t zi;
  int32_t radius;
};

FeaturePosition feature_position(const Feature& feature);

// Formats "<prefix>_x%3.3d_y%3.3d_z%3.3d<suffix>.pgm" into `buffer` (`size` bytes).
// Returns the length of the full name; the name fits only when that is below `size`.
int format_feature_file_name(char* buffer, size_t size, const char* prefix,
                             const FeaturePosition& position, const char* suffix);

// Prints "Error: could not write feature image: %s\n" with the full name, however long.
void report_unwritten_picture(const char* prefix, const FeaturePosition& position,
                              const char* suffix);
