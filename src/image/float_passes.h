// Single passes over runs of packed 32-bit floats: the inner loops of finding a range,
// stretching slices and converting to eight bits. Each gives bit for bit what the plain
// one-value-at-a-time loop described with it gives; they are written with the compiler's
// vector types, several floats per instruction, because the plain loops (with their
// NaN and infinity cases) are not vectorised under strict IEEE rules. Nothing here
// allocates or fails.
#pragma once

#include <cstdint>

// Smallest and largest finite value seen over any number of runs. NaN and infinities are
// skipped. The lanes may meet a zero extreme with different signs, so the sign of a zero
// result is not pinned; a caller that needs it takes the value from the data.
struct FiniteRange {
  float low[8];   // per-lane smallest finite value, +infinity while none
  float high[8];  // per-lane largest finite value, -infinity while none

  FiniteRange();
  void add(const float* values, int64_t count);
  // False (and both 0.0) when no finite value was added.
  bool result(float* minimum, float* maximum) const;
};

// In place: each finite v becomes (float)((float)(v - low) * scale); +infinity becomes
// top; NaN and -infinity become 0.0.
void stretch_run(float* values, int64_t count, float low, float scale, float top);

// Eight-bit grey levels of a row with minimum 0.0 and maximum 255.0, where
// ((v - 0) * 255.0) / 255.0 is exactly v: each finite v gives (uint8)(int32)v; +infinity
// 255; NaN and -infinity 0.
void grey_run_truncated(const float* values, int64_t count, uint8_t* out);

// Eight-bit grey levels of a row whose finite values lie within [minimum, maximum],
// minimum < maximum: each finite v gives the low byte of
// (int32)((((double)v - minimum) * 255.0) / ((double)maximum - minimum)), computed in
// double in that order; +infinity 255; NaN and -infinity 0.
void grey_run_divided(const float* values, int64_t count, float minimum, float maximum,
                      uint8_t* out);
