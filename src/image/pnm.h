// Conversion of float images to eight-bit grey levels and writing them as binary PGM.
// Ranges are taken over finite values only; NaN and -infinity map to 0, +infinity to
// the top. Failures are reported by result (and one message on allocation failure).
#pragma once

#include <cstdint>

#include "image/image.h"

struct Extremum {
  int32_t row;  // row of the first pixel holding the value
  int32_t col;  // column of that pixel
  float value;  // the value
};

// Smallest and largest finite value of component `component` of a float image, with the
// row-major first position of each. With no finite value (or no pixels) both hold row 0,
// column 0 and the first float of the buffer (0.0 when there is no pixel).
// Returns 1 when a finite value was found, 0 otherwise.
int find_extrema(const Image& source, Extremum* minimum, Extremum* maximum, int component);

// Stretches a float image onto 0..255 into `destination`, made an 8-bit image of the
// source's size with stride = width: q = ((v - min) * 255.0) / (max - min) in double,
// truncated toward zero. Returns 1; 0 when the destination cannot be allocated, after
// printing "Error: output_float() cannot allocate image.\n".
int output_float(const Image& source, Image* destination, int component);

// output_float into a temporary image, then write_pnm_file. 1 when the picture was
// written completely, 0 otherwise (no partial file is left behind).
int write_float_as_pgm(const Image& source, const char* file_name, int component);
