#include "vis/slice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// depth 2, rows 3, cols 4; voxel (x, y, z) holds 100*z + 10*y + x, so every value names
// its own position and a swapped axis shows at once.
struct SmallVolume {
  std::vector<float> voxels;
  Volume volume{};
  explicit SmallVolume(int channels = 1) {
    for (int z = 0; z < 2; ++z)
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
          for (int k = 0; k < channels; ++k)
            voxels.push_back(static_cast<float>(100 * z + 10 * y + x + 1000 * k));
    volume = {2, 3, 4, 1, channels, voxels.data(), nullptr, nullptr};
  }
};

TEST(SliceExtract, EachCutHasItsShapeAndVoxels) {
  SmallVolume v;
  std::vector<float> xy(12, -1.0f);
  EXPECT_EQ(extract_slice_xy(v.volume, 1, 0, xy.data()), 1);
  EXPECT_EQ(xy[0], 100.0f);
  EXPECT_EQ(xy[1 * 4 + 3], 113.0f);  // row y=1, column x=3

  std::vector<float> zx(8, -1.0f);
  EXPECT_EQ(extract_slice_zx(v.volume, 2, 0, zx.data()), 0);
  EXPECT_EQ(zx[0], 20.0f);
  EXPECT_EQ(zx[1 * 4 + 3], 123.0f);  // row z=1, column x=3

  std::vector<float> zy(6, -1.0f);
  EXPECT_EQ(extract_slice_zy(v.volume, 1, 0, zy.data()), 0);
  EXPECT_EQ(zy[1 * 3 + 2], 121.0f);  // row z=1, column y=2 of column x=1
  EXPECT_EQ(zy[0], 1.0f);
}

TEST(SliceExtract, SecondChannelIsReadWhenAsked) {
  SmallVolume v(2);
  std::vector<float> xy(12), zx(8), zy(6);
  extract_slice_xy(v.volume, 0, 1, xy.data());
  extract_slice_zx(v.volume, 1, 1, zx.data());
  extract_slice_zy(v.volume, 3, 1, zy.data());
  EXPECT_EQ(xy[5], 1011.0f);
  EXPECT_EQ(zx[4 + 2], 1112.0f);
  EXPECT_EQ(zy[3 + 1], 1113.0f);
}

TEST(SliceExtract, OneSliceVolumeRefusesCrossCutsAndIgnoresZ) {
  std::vector<float> voxels = {1, 2, 3, 4, 5, 6};
  Volume flat = {1, 2, 3, 1, 1, voxels.data(), nullptr, nullptr};
  std::vector<float> target(6, -7.0f);
  EXPECT_EQ(extract_slice_zx(flat, 0, 0, target.data()), -1);
  EXPECT_EQ(extract_slice_zy(flat, 0, 0, target.data()), -1);
  EXPECT_EQ(target, std::vector<float>(6, -7.0f));
  EXPECT_EQ(extract_slice_xy(flat, 5, 0, target.data()), 1);
  EXPECT_EQ(target, voxels);
}

TEST(ArrayMinMax, RangeOverFiniteValuesOnly) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::vector<float> values;
    int result;
    float low, high;
  } cases[] = {
      {{5, 5, 5}, 1, 5, 5},
      {{2, 9, -4, 9}, 1, -4, 9},
      {{nan, 3, -1, nan}, 1, -1, 3},
      {{inf, -inf, 2, nan}, 1, 2, 2},
      {{nan, inf}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    float low = 99, high = 99;
    EXPECT_EQ(array_min_max(c.values.data(), static_cast<int64_t>(c.values.size()), &low, &high),
              c.result);
    EXPECT_EQ(low, c.low);
    EXPECT_EQ(high, c.high);
  }
  float low = 1, high = 1;
  EXPECT_EQ(array_min_max(nullptr, 0, &low, &high), 0);
}

// Runs long enough to be scanned several values at a time: the first zero decides the
// sign of a zero extreme, as a strict scan in order keeps it.
TEST(ArrayMinMax, FirstZeroGivesTheSignOfAZeroExtreme) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::vector<float> values;
    float low, high;  // with the sign expected
  } cases[] = {
      // The first zero at index 5, the other at index 9, ahead of it in a scan by lanes.
      {{3, 1, 1, 2, 5, 0.0f, 4, 6, 7, -0.0f, 2, 8, 1, 1, 1, 1, 2}, 0.0f, 8},
      {{3, 1, 1, 2, 5, -0.0f, 4, 6, 7, 0.0f, 2, 8, 1, 1, 1, 1, 2}, -0.0f, 8},
      {{-5, -1, -1, -2, -inf, -0.0f, -4, -6, -7, 0.0f, -2, -8, -1, -1, -1, -1}, -8, -0.0f},
      {{-5, -1, -1, -2, -3, 0.0f, -4, -6, -7, -0.0f, -2, -8, -1, -1, -1, -1}, -8, 0.0f},
  };
  for (const Case& c : cases) {
    float low = 99, high = 99;
    ASSERT_EQ(array_min_max(c.values.data(), static_cast<int64_t>(c.values.size()), &low, &high),
              1);
    EXPECT_EQ(low, c.low);
    EXPECT_EQ(std::signbit(low), std::signbit(c.low));
    EXPECT_EQ(high, c.high);
    EXPECT_EQ(std::signbit(high), std::signbit(c.high));
  }
}

std::vector<float> normalized(std::vector<float> values, int frames = 1) {
  Volume v = {1, 1, static_cast<int32_t>(values.size()) / frames, frames, 1, values.data(),
              nullptr, nullptr};
  EXPECT_EQ(normalize_volume(&v, 255.0f), 1);
  return values;
}

TEST(NormalizeVolume, StretchesWithFloatRoundingPoints) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float below255 = std::nextafter(255.0f, 0.0f);
  struct Case {
    std::vector<float> in;
    std::vector<float> out;
  } cases[] = {
      {{3, 1, 2}, {255, 0, 127.5f}},
      {{-10, 0, 10}, {0, 127.5f, 255}},
      // The scale 255/7 is rounded to float first, just below the exact quotient.
      {{0, 7}, {0, below255}},
      {{-4, -4, -4}, {0, 0, 0}},
      {{nan, 0, 10, -inf, inf}, {0, 0, 255, 0, 255}},
      {{nan, -inf}, {0, 0}},
      {{2, inf, 2}, {0, 255, 0}},
  };
  for (const Case& c : cases) {
    const std::vector<float> got = normalized(c.in);
    ASSERT_EQ(got.size(), c.out.size());
    for (size_t k = 0; k < got.size(); ++k) EXPECT_EQ(got[k], c.out[k]) << "value " << k;
  }
  // One product rounded to float, not (v - min) * N / (max - min) in one go.
  const std::vector<float> third = normalized({0, 1, 3});
  EXPECT_EQ(third[1], static_cast<float>(1.0f * static_cast<float>(255.0 / 3.0)));
}

TEST(NormalizeVolume, FirstFrameOnlyAndOneChannelOnly) {
  EXPECT_EQ(normalized({0, 5, 10, 1000, -1000, 3}, 2),
            (std::vector<float>{0, 127.5f, 255, 1000, -1000, 3}));
  std::vector<float> values = {1, 2, 3, 4, 5, 6};
  Volume three = {1, 1, 2, 1, 3, values.data(), nullptr, nullptr};
  EXPECT_EQ(normalize_volume(&three, 255.0f), 0);
  EXPECT_EQ(values, (std::vector<float>{1, 2, 3, 4, 5, 6}));
}

TEST(ImageAsVolume, ViewsFloatPixelsOnly) {
  Image image;
  ASSERT_EQ(image.init(3, 5, 20, 32), 1);
  Volume v;
  EXPECT_EQ(image_as_volume(image, &v), 1);
  EXPECT_EQ(v.depth, 1);
  EXPECT_EQ(v.rows, 3);
  EXPECT_EQ(v.cols, 5);
  EXPECT_EQ(v.frames, 1);
  EXPECT_EQ(v.channels, 1);
  EXPECT_EQ(v.data, reinterpret_cast<float*>(image.data));
  EXPECT_EQ(v.spare1, nullptr);

  Image grey;
  ASSERT_EQ(grey.init(3, 5, 5, 8), 1);
  EXPECT_EQ(image_as_volume(grey, &v), 0);
  EXPECT_EQ(v.rows, 3);
  EXPECT_EQ(v.cols, 5);
  EXPECT_EQ(v.data, nullptr);
}

}  // namespace
