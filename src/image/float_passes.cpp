#include "image/float_passes.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// GCC and Clang vector types; on a target without vector registers the compiler splits
// them into plain operations, so the results never depend on the target.
typedef float Floats4 __attribute__((vector_size(16)));
typedef int32_t Ints4 __attribute__((vector_size(16)));
typedef float Floats2 __attribute__((vector_size(8)));
typedef double Doubles2 __attribute__((vector_size(16)));
typedef int32_t Ints2 __attribute__((vector_size(8)));
typedef int64_t Longs2 __attribute__((vector_size(16)));  // masks of Doubles2 comparisons
typedef uint8_t Bytes4 __attribute__((vector_size(4)));

constexpr int32_t kExponentBits = 0x7F800000;

inline Floats4 load4(const float* values) {
  Floats4 v;
  std::memcpy(&v, values, sizeof v);
  return v;
}

inline void store4(float* values, Floats4 v) { std::memcpy(values, &v, sizeof v); }

inline Floats4 splat(float value) { return Floats4{value, value, value, value}; }

// All ones in a lane whose float is finite: its exponent bits are not all set. An
// integer test, so NaN raises nothing.
inline Ints4 finite_lanes(Floats4 v) {
  Ints4 bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits & kExponentBits) != kExponentBits;
}

inline Floats4 select(Ints4 mask, Floats4 yes, Floats4 no) {
  Ints4 a, b;
  std::memcpy(&a, &yes, sizeof a);
  std::memcpy(&b, &no, sizeof b);
  const Ints4 chosen = (a & mask) | (b & ~mask);
  Floats4 out;
  std::memcpy(&out, &chosen, sizeof out);
  return out;
}

inline Ints4 select(Ints4 mask, Ints4 yes, Ints4 no) { return (yes & mask) | (no & ~mask); }

inline bool is_finite(float v) { return std::isfinite(v); }

// q truncated toward zero, as doubles; q lies within [0, 256).
inline Doubles2 whole_part(Doubles2 q) {
  return __builtin_convertvector(__builtin_convertvector(q, Ints2), Doubles2);
}

// Stores sixteen values of 0..255 as bytes.
inline void store_bytes16(Ints4 a, Ints4 b, Ints4 c, Ints4 d, uint8_t* out) {
#if defined(__SSE2__)
  // The values fit, so the saturating packs only narrow.
  const __m128i low = _mm_packs_epi32(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b));
  const __m128i high = _mm_packs_epi32(reinterpret_cast<__m128i>(c), reinterpret_cast<__m128i>(d));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
#else
  const Ints4 parts[4] = {a, b, c, d};
  for (int k = 0; k < 16; ++k) out[k] = static_cast<uint8_t>(parts[k / 4][k % 4]);
#endif
}

// Grey level of a non-finite value.
inline uint8_t outside_grey(float v) { return v > 0.0f ? 255 : 0; }

}  // namespace

FiniteRange::FiniteRange() {
  for (int k = 0; k < 8; ++k) {
    low[k] = INFINITY;
    high[k] = -INFINITY;
  }
}

void FiniteRange::add(const float* values, int64_t count) {
  const Floats4 entry_low_a = load4(low), entry_low_b = load4(low + 4);
  const Floats4 entry_high_a = load4(high), entry_high_b = load4(high + 4);
  const Floats4 plus_infinity = splat(INFINITY), minus_infinity = splat(-INFINITY);
  const int64_t blocks = count / 8 * 8;

  // First without looking at finiteness: a NaN never wins a strict comparison, and an
  // infinity can only end up as an extreme itself, which is looked for afterwards.
  Floats4 low_a = entry_low_a, low_b = entry_low_b, high_a = entry_high_a, high_b = entry_high_b;
  for (int64_t i = 0; i < blocks; i += 8) {
    const Floats4 a = load4(values + i), b = load4(values + i + 4);
    low_a = a < low_a ? a : low_a;
    low_b = b < low_b ? b : low_b;
    high_a = a > high_a ? a : high_a;
    high_b = b > high_b ? b : high_b;
  }
  const Ints4 infinite = (low_a == minus_infinity) | (low_b == minus_infinity) |
                         (high_a == plus_infinity) | (high_b == plus_infinity);
  if ((infinite[0] | infinite[1] | infinite[2] | infinite[3]) != 0) {
    // An infinity was met: again, with every non-finite value swapped for the neutral
    // infinity of each side.
    low_a = entry_low_a, low_b = entry_low_b, high_a = entry_high_a, high_b = entry_high_b;
    for (int64_t i = 0; i < blocks; i += 8) {
      const Floats4 a = load4(values + i), b = load4(values + i + 4);
      const Ints4 finite_a = finite_lanes(a), finite_b = finite_lanes(b);
      const Floats4 a_low = select(finite_a, a, plus_infinity);
      const Floats4 b_low = select(finite_b, b, plus_infinity);
      const Floats4 a_high = select(finite_a, a, minus_infinity);
      const Floats4 b_high = select(finite_b, b, minus_infinity);
      low_a = a_low < low_a ? a_low : low_a;
      low_b = b_low < low_b ? b_low : low_b;
      high_a = a_high > high_a ? a_high : high_a;
      high_b = b_high > high_b ? b_high : high_b;
    }
  }
  store4(low, low_a);
  store4(low + 4, low_b);
  store4(high, high_a);
  store4(high + 4, high_b);
  for (int64_t i = blocks; i < count; ++i) {
    const float v = values[i];
    if (!is_finite(v)) continue;
    if (v < low[0]) low[0] = v;
    if (v > high[0]) high[0] = v;
  }
}

bool FiniteRange::result(float* minimum, float* maximum) const {
  float lo = low[0];
  float hi = high[0];
  for (int k = 1; k < 8; ++k) {
    if (low[k] < lo) lo = low[k];
    if (high[k] > hi) hi = high[k];
  }
  if (!(lo <= hi)) {
    *minimum = 0.0f;
    *maximum = 0.0f;
    return false;
  }
  *minimum = lo;
  *maximum = hi;
  return true;
}

void stretch_run(float* values, int64_t count, float low, float scale, float top) {
  const Floats4 low4 = splat(low), scale4 = splat(scale), top4 = splat(top);
  const Floats4 zero4 = splat(0.0f), plus_infinity = splat(INFINITY);
  int64_t i = 0;
  for (; count - i >= 4; i += 4) {
    const Floats4 v = load4(values + i);
    // Each operation rounds to float, as the scalar expression does.
    const Floats4 difference = v - low4;
    const Floats4 stretched = difference * scale4;
    Ints4 bits, infinity_bits;
    std::memcpy(&bits, &v, sizeof bits);
    std::memcpy(&infinity_bits, &plus_infinity, sizeof infinity_bits);
    const Floats4 other = select(bits == infinity_bits, top4, zero4);
    store4(values + i, select(finite_lanes(v), stretched, other));
  }
  for (; i < count; ++i) {
    const float v = values[i];
    if (is_finite(v)) {
      const float difference = v - low;
      values[i] = difference * scale;
    } else {
      values[i] = v == INFINITY ? top : 0.0f;
    }
  }
}

// Finite values lie within [0, 255] and pass unchanged; NaN and -infinity fail the first
// comparison and become 0, +infinity fails the second and becomes 255.
inline Ints4 truncated_grey(Floats4 v) {
  const Floats4 zero4 = splat(0.0f), white4 = splat(255.0f);
  const Floats4 above = v > zero4 ? v : zero4;
  return __builtin_convertvector(above < white4 ? above : white4, Ints4);
}

void grey_run_truncated(const float* values, int64_t count, uint8_t* out) {
  int64_t i = 0;
  for (; count - i >= 16; i += 16) {
    store_bytes16(truncated_grey(load4(values + i)), truncated_grey(load4(values + i + 4)),
                  truncated_grey(load4(values + i + 8)), truncated_grey(load4(values + i + 12)),
                  out + i);
  }
  for (; i < count; ++i) {
    const float v = values[i];
    out[i] = is_finite(v) ? static_cast<uint8_t>(static_cast<int32_t>(v) & 0xFF) : outside_grey(v);
  }
}

// Multiplying by the rounded reciprocal instead of dividing puts q within 1e-13 of the
// rounded quotient (three roundings of at most 2^-53 relative each, q below 256), so the
// two truncate alike unless q is within that distance of a whole number. Such lanes, and
// only they, are divided; a zero numerator is exact either way.
constexpr double kNearWhole = 1e-12;

// The stretch of one output_float call, in the forms the vector lanes need.
struct DividedStretch {
  Doubles2 low, range, reciprocal, factor, zero, near_low, near_high;
  Floats4 low4, high4;
};

// Grey levels of sixteen values. The estimates of all sixteen are made first; if any lies
// near a whole number, all sixteen are divided instead.
void divided_grey16(const float* values, const DividedStretch& s, uint8_t* out) {
  Doubles2 numerator[8];
  Doubles2 q[8];
  Floats4 v[4];
  Longs2 near = {0, 0};
  for (int k = 0; k < 4; ++k) {
    v[k] = load4(values + 4 * k);
    // NaN and -infinity become the minimum (grey 0); +infinity is set to 255 below.
    const Floats4 above = v[k] > s.low4 ? v[k] : s.low4;
    const Floats4 clamped = above < s.high4 ? above : s.high4;
    const Floats2 halves[2] = {{clamped[0], clamped[1]}, {clamped[2], clamped[3]}};
    for (int h = 0; h < 2; ++h) {
      const int n = 2 * k + h;
      numerator[n] = (__builtin_convertvector(halves[h], Doubles2) - s.low) * s.factor;
      q[n] = numerator[n] * s.reciprocal;
      const Doubles2 fraction = q[n] - whole_part(q[n]);
      near |= ((fraction < s.near_low) & (numerator[n] != s.zero)) | (fraction > s.near_high);
    }
  }
  if ((near[0] | near[1]) != 0) {
    for (int n = 0; n < 8; ++n) q[n] = numerator[n] / s.range;
  }
  const Ints4 white = {255, 255, 255, 255};
  Ints4 grey[4];
  for (int k = 0; k < 4; ++k) {
    const Ints2 first = __builtin_convertvector(q[2 * k], Ints2);
    const Ints2 second = __builtin_convertvector(q[2 * k + 1], Ints2);
    const Ints4 truncated = Ints4{first[0], first[1], second[0], second[1]} & 0xFF;
    grey[k] = select(v[k] == splat(INFINITY), white, truncated);
  }
  store_bytes16(grey[0], grey[1], grey[2], grey[3], out);
}

void grey_run_divided(const float* values, int64_t count, float minimum, float maximum,
                      uint8_t* out) {
  const double low = static_cast<double>(minimum);
  const double range = static_cast<double>(maximum) - low;
  const double reciprocal = 1.0 / range;
  const DividedStretch stretch = {{low, low},
                                  {range, range},
                                  {reciprocal, reciprocal},
                                  {255.0, 255.0},
                                  {0.0, 0.0},
                                  {kNearWhole, kNearWhole},
                                  {1.0 - kNearWhole, 1.0 - kNearWhole},
                                  splat(minimum),
                                  splat(maximum)};
  int64_t i = 0;
  for (; count - i >= 16; i += 16) {
    divided_grey16(values + i, stretch, out + i);
  }
  for (; i < count; ++i) {
    const float v = values[i];
    if (is_finite(v)) {
      const double q = ((static_cast<double>(v) - low) * 255.0) / range;
      out[i] = static_cast<uint8_t>(static_cast<int32_t>(q) & 0xFF);
    } else {
      out[i] = outside_grey(v);
    }
  }
}
