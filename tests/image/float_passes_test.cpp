#include "image/float_passes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

namespace {

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const float kDenormal = std::numeric_limits<float>::denorm_min();

// The plain loops the passes must match bit for bit.
float plain_stretched(float v, float low, float scale, float top) {
  if (!std::isfinite(v)) return v == kInf ? top : 0.0f;
  const float difference = v - low;
  return difference * scale;
}

uint8_t plain_grey(float v, float minimum, float maximum) {
  if (!std::isfinite(v)) return v > 0.0f ? 255 : 0;
  const double low = static_cast<double>(minimum);
  const double q = ((static_cast<double>(v) - low) * 255.0) / (static_cast<double>(maximum) - low);
  return static_cast<uint8_t>(static_cast<int32_t>(q) & 0xFF);
}

uint32_t bits(float v) {
  uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Every length from 0 to 40 covers the full blocks of 4, 8 and 16 and every tail.
constexpr int kMaxLength = 40;

// A deterministic mix of values in [low, high], with the specials spliced in at `specials`
// positions so that they land in vector lanes and in tails alike.
std::vector<float> mixed_values(int length, float low, float high, bool specials) {
  std::vector<float> values;
  uint32_t state = 12345u + static_cast<uint32_t>(length);
  const float extra[] = {kNan, kInf, -kInf, -0.0f};
  for (int i = 0; i < length; ++i) {
    state = state * 1664525u + 1013904223u;
    const float unit = static_cast<float>(state >> 8) / 16777216.0f;
    float v = low + (high - low) * unit;
    if (specials && i % 5 == 3) v = extra[(i / 5) % 4];
    values.push_back(v);
  }
  return values;
}

// ---------------------------------------------------------------------------------------
// FiniteRange

struct RangeCase {
  const char* name;
  std::vector<float> values;
  bool found;
  float minimum;
  float maximum;
};

void PrintTo(const RangeCase& c, std::ostream* out) { *out << c.name; }

class FiniteRangeTable : public ::testing::TestWithParam<RangeCase> {};

TEST_P(FiniteRangeTable, SkipsNonFiniteValuesInLanesAndTails) {
  const RangeCase& c = GetParam();
  FiniteRange range;
  range.add(c.values.data(), static_cast<int64_t>(c.values.size()));
  float minimum = -1.0f, maximum = -1.0f;
  EXPECT_EQ(range.result(&minimum, &maximum), c.found);
  EXPECT_EQ(minimum, c.minimum);
  EXPECT_EQ(maximum, c.maximum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FiniteRangeTable,
    ::testing::Values(
        RangeCase{"Empty", {}, false, 0.0f, 0.0f},
        RangeCase{"OnlyNonFinite", {kNan, kInf, -kInf, kNan, kInf, -kInf, kNan, kInf, -kInf}, false,
                  0.0f, 0.0f},
        // Nine values: eight go through the lanes, the last through the tail.
        RangeCase{"InfinitiesInLanes", {3, -kInf, 5, kInf, kNan, -2, 7, 1, 4}, true, -2.0f, 7.0f},
        RangeCase{"ExtremesInTail", {3, 3, 3, 3, 3, 3, 3, 3, -9, 11}, true, -9.0f, 11.0f},
        RangeCase{"Denormals", {kDenormal, 2 * kDenormal, kDenormal, kDenormal}, true, kDenormal,
                  2 * kDenormal},
        RangeCase{"NegativeLargest", {-3.0e38f, 3.0e38f, 0, 0, 0, 0, 0, 0, -kInf}, true, -3.0e38f,
                  3.0e38f}),
    [](const ::testing::TestParamInfo<RangeCase>& info) { return info.param.name; });

TEST(FiniteRange, AccumulatesOverRunsAndMatchesAPlainScanAtEveryLength) {
  for (int length = 0; length <= kMaxLength; ++length) {
    const std::vector<float> values = mixed_values(length, -50.0f, 80.0f, true);
    FiniteRange range;
    // In two runs, the first of odd length, so the second starts mid-lanes.
    const int64_t split = length / 3 | 1;
    const int64_t first = split < length ? split : length;
    range.add(values.data(), first);
    range.add(values.data() + first, length - first);
    float expected_low = kInf, expected_high = -kInf;
    for (float v : values) {
      if (!std::isfinite(v)) continue;
      if (v < expected_low) expected_low = v;
      if (v > expected_high) expected_high = v;
    }
    float minimum, maximum;
    const bool found = range.result(&minimum, &maximum);
    ASSERT_EQ(found, expected_low <= expected_high) << length;
    if (found) {
      EXPECT_EQ(minimum, expected_low) << length;
      EXPECT_EQ(maximum, expected_high) << length;
    }
  }
}

// ---------------------------------------------------------------------------------------
// stretch_run

TEST(StretchRun, MatchesThePlainRoundingBitForBitAtEveryLength) {
  const float low = -3.25f;
  const float scale = static_cast<float>(255.0 / (80.0 - -3.25));
  for (int length = 0; length <= kMaxLength; ++length) {
    std::vector<float> values = mixed_values(length, low, 80.0f, true);
    const std::vector<float> before = values;
    stretch_run(values.data(), length, low, scale, 255.0f);
    for (int i = 0; i < length; ++i) {
      EXPECT_EQ(bits(values[i]), bits(plain_stretched(before[i], low, scale, 255.0f)))
          << "length " << length << " value " << before[i];
    }
  }
}

TEST(StretchRun, RoundsTheDifferenceAndTheProductSeparately) {
  // 255/7 rounded to a float lies below the quotient: 7 becomes the float below 255, in
  // a vector lane and in the tail alike.
  const float scale = static_cast<float>(255.0 / 7.0);
  std::vector<float> values = {0, 7, 7, 7, 7};
  stretch_run(values.data(), 5, 0.0f, scale, 255.0f);
  const float below = std::nextafter(255.0f, 0.0f);
  EXPECT_EQ(values, (std::vector<float>{0, below, below, below, below}));
}

// ---------------------------------------------------------------------------------------
// grey_run_truncated and grey_run_divided

TEST(GreyRunTruncated, TruncatesAndPlacesNonFiniteValuesAtEveryLength) {
  for (int length = 0; length <= kMaxLength; ++length) {
    std::vector<float> values = mixed_values(length, 0.0f, 255.0f, true);
    if (length > 0) values[0] = 255.0f;
    if (length > 1) values[1] = std::nextafter(1.0f, 0.0f);  // truncates to 0, rounds to 1
    std::vector<uint8_t> out(static_cast<size_t>(length) + 1, 0xEE);
    grey_run_truncated(values.data(), length, out.data());
    for (int i = 0; i < length; ++i) {
      EXPECT_EQ(out[static_cast<size_t>(i)], plain_grey(values[static_cast<size_t>(i)], 0.0f, 255.0f))
          << "length " << length << " value " << values[static_cast<size_t>(i)];
    }
    EXPECT_EQ(out.back(), 0xEE) << "wrote past the run, length " << length;
  }
}

struct DividedCase {
  const char* name;
  float minimum;
  float maximum;
  std::vector<float> values;
};

void PrintTo(const DividedCase& c, std::ostream* out) { *out << c.name; }

class GreyRunDivided : public ::testing::TestWithParam<DividedCase> {};

// The quotients of these values are whole numbers that the reciprocal misses (it gives
// 254.99999999999997 for 255, 0.99999999999999989 for 1): the division must decide.
INSTANTIATE_TEST_SUITE_P(
    Cases, GreyRunDivided,
    ::testing::Values(
        DividedCase{"MaximumLandsOnTheTop", 0.0f, 36.4285698f, {0, 36.4285698f, 1, 36.4285698f}},
        DividedCase{"WholeQuotientsEverywhere", 0.0f, 765.0f, {3, 6, 12, 21, 24, 765, 0, 1.5f}},
        DividedCase{"NegativeMinimum", -10.0f, 10.0f, {-10, 0, 10, 9.99f, -9.99f, 5, -5, 0.01f}},
        DividedCase{"CanvasJustAbove255", 0.0f, 255.000015f, {255.000015f, 255, 128, 1, 0, 254}}),
    [](const ::testing::TestParamInfo<DividedCase>& info) { return info.param.name; });

TEST_P(GreyRunDivided, MatchesTheDoubleDivisionAtEveryLength) {
  const DividedCase& c = GetParam();
  for (int length = 0; length <= kMaxLength; ++length) {
    // The case's values repeated over the run, with specials and a mix in between.
    std::vector<float> values = mixed_values(length, c.minimum, c.maximum, true);
    for (int i = 0; i < length; i += 2) {
      values[static_cast<size_t>(i)] = c.values[static_cast<size_t>(i / 2) % c.values.size()];
    }
    std::vector<uint8_t> out(static_cast<size_t>(length) + 1, 0xEE);
    grey_run_divided(values.data(), length, c.minimum, c.maximum, out.data());
    for (int i = 0; i < length; ++i) {
      const float v = values[static_cast<size_t>(i)];
      EXPECT_EQ(out[static_cast<size_t>(i)], plain_grey(v, c.minimum, c.maximum))
          << "length " << length << " value " << v;
    }
    EXPECT_EQ(out.back(), 0xEE) << "wrote past the run, length " << length;
  }
}

TEST(GreyRunDivided, EveryFloatNearEachGreyBoundaryMatches) {
  // For every grey level k, the floats around the value whose quotient is k.
  const float maxima[] = {255.000015f, 36.4285698f, 7.0f, 765.0f};
  for (float maximum : maxima) {
    std::vector<float> values;
    for (int k = 0; k <= 255; ++k) {
      float v = static_cast<float>(k * static_cast<double>(maximum) / 255.0);
      for (int step = 0; step < 4; ++step) v = std::nextafter(v, 0.0f);
      for (int step = 0; step < 9; ++step, v = std::nextafter(v, kInf)) {
        if (v >= 0.0f && v <= maximum) values.push_back(v);
      }
    }
    std::vector<uint8_t> out(values.size());
    grey_run_divided(values.data(), static_cast<int64_t>(values.size()), 0.0f, maximum, out.data());
    for (size_t i = 0; i < values.size(); ++i) {
      ASSERT_EQ(out[i], plain_grey(values[i], 0.0f, maximum)) << maximum << " " << values[i];
    }
  }
}

}  // namespace
