// Float-to-integer conversion by truncation toward zero that never overflows: NaN gives
// 0, values beyond the 32-bit range saturate at INT32_MIN / INT32_MAX.
#pragma once

#include <cmath>
#include <cstdint>

inline int32_t truncate_to_int(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

inline int32_t clamp_index(int32_t value, int32_t extent) {
  if (value < 0) return 0;
  if (value >= extent) return extent - 1;
  return value;
}
