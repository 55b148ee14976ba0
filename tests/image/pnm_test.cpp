#include "image/pnm.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

namespace {

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A float image `width` wide whose rows are `values` cut into rows; each row is followed
// by two padding floats holding values that would win any range they leaked into.
void make_float_image(Image* image, int32_t width, const std::vector<float>& values) {
  const int32_t height = static_cast<int32_t>(values.size()) / width;
  const int32_t stride = (width + 2) * 4;
  ASSERT_EQ(image->init(height, width, stride, 32), 1);
  for (int32_t r = 0; r < height; ++r) {
    float* row = reinterpret_cast<float*>(image->data + r * stride);
    for (int32_t c = 0; c < width; ++c) row[c] = values[static_cast<size_t>(r * width + c)];
    row[width] = 1.0e30f;
    row[width + 1] = -1.0e30f;
  }
}

// ---------------------------------------------------------------------------------------
// find_extrema

struct ExtremaCase {
  const char* name;
  int32_t width;
  std::vector<float> values;
  int found;
  Extremum minimum;
  Extremum maximum;
};

void expect_extremum(const Extremum& actual, const Extremum& expected, const char* which) {
  EXPECT_EQ(actual.row, expected.row) << which;
  EXPECT_EQ(actual.col, expected.col) << which;
  if (std::isnan(expected.value)) {
    EXPECT_TRUE(std::isnan(actual.value)) << which;
  } else {
    EXPECT_EQ(actual.value, expected.value) << which;
  }
}

class FindExtrema : public ::testing::TestWithParam<ExtremaCase> {};

TEST_P(FindExtrema, GivesFirstPositionsOfTheFiniteRange) {
  const ExtremaCase& c = GetParam();
  Image image;
  make_float_image(&image, c.width, c.values);
  Extremum minimum{-9, -9, -9.0f};
  Extremum maximum{-9, -9, -9.0f};
  EXPECT_EQ(find_extrema(image, &minimum, &maximum, 0), c.found);
  expect_extremum(minimum, c.minimum, "minimum");
  expect_extremum(maximum, c.maximum, "maximum");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindExtrema,
    ::testing::Values(
        ExtremaCase{"Crossed", 2, {3, 1, 1, 3}, 1, {0, 1, 1}, {0, 0, 3}},
        ExtremaCase{"RepeatsKeepTheFirst", 3, {5, 2, 9, -4, 7, 9, -4, 0, 1}, 1, {1, 0, -4},
                    {0, 2, 9}},
        ExtremaCase{"LastPixel", 4, {2, 3, 4, 5, 6, 7, 8, 9}, 1, {0, 0, 2}, {1, 3, 9}},
        ExtremaCase{"NanFirst", 3, {kNan, 2, 8, 1, kNan, 8}, 1, {1, 0, 1}, {0, 2, 8}},
        ExtremaCase{"SeedIsBothExtremes", 3, {kNan, kNan, 6, 6, 6, 6}, 1, {0, 2, 6}, {0, 2, 6}},
        ExtremaCase{"InfinitiesIgnored", 3, {kInf, -kInf, 4, -2, kNan, 6}, 1, {1, 0, -2},
                    {1, 2, 6}},
        ExtremaCase{"NanOnly", 2, {kNan, kNan, kNan, kNan}, 0, {0, 0, kNan}, {0, 0, kNan}},
        ExtremaCase{"InfinitiesOnly", 2, {kInf, -kInf}, 0, {0, 0, kInf}, {0, 0, kInf}},
        ExtremaCase{"NegativeInfinityFirst", 1, {-kInf, kNan, kInf}, 0, {0, 0, -kInf},
                    {0, 0, -kInf}}),
    [](const ::testing::TestParamInfo<ExtremaCase>& info) { return std::string(info.param.name); });

TEST(FindExtremaNoPixels, GivesZeroWithoutReading) {
  Image no_rows;
  no_rows.init(0, 4, 16, 32);
  Image no_buffer;
  no_buffer.view(3, 4, 16, 32, nullptr);
  Image zero_width;
  std::vector<float> pixels(6, 5.0f);
  zero_width.view(2, 0, 12, 32, reinterpret_cast<uint8_t*>(pixels.data()));
  for (const Image* image : {&no_rows, &no_buffer, &zero_width}) {
    Extremum minimum{-9, -9, -9.0f};
    Extremum maximum{-9, -9, -9.0f};
    EXPECT_EQ(find_extrema(*image, &minimum, &maximum, 0), 0);
    expect_extremum(minimum, {0, 0, 0.0f}, "minimum");
    expect_extremum(maximum, {0, 0, 0.0f}, "maximum");
  }
}

TEST(FindExtremaComponents, ReadsTheChosenFloatOfEachPixel) {
  // Two floats per pixel, 3 pixels wide and 2 high; component 1 holds the interesting ones.
  std::vector<float> pixels = {100, 4, -100, 8, 50, 2, -50, 9, 0, 2, 7, 3};
  Image image;
  image.view(2, 3, 24, 64, reinterpret_cast<uint8_t*>(pixels.data()));
  Extremum minimum;
  Extremum maximum;
  EXPECT_EQ(find_extrema(image, &minimum, &maximum, 1), 1);
  expect_extremum(minimum, {0, 2, 2}, "minimum");
  expect_extremum(maximum, {1, 0, 9}, "maximum");
}

// ---------------------------------------------------------------------------------------
// output_float

struct StretchCase {
  const char* name;
  int32_t width;
  std::vector<float> values;
  std::vector<uint8_t> greys;
};

class OutputFloat : public ::testing::TestWithParam<StretchCase> {};

TEST_P(OutputFloat, StretchesOntoGreyLevels) {
  const StretchCase& c = GetParam();
  Image source;
  make_float_image(&source, c.width, c.values);
  Image grey;
  ASSERT_EQ(output_float(source, &grey, 0), 1);
  ASSERT_EQ(grey.width, source.width);
  ASSERT_EQ(grey.height, source.height);
  ASSERT_EQ(grey.stride, source.width);
  ASSERT_EQ(grey.bits_per_pixel, 8);
  EXPECT_EQ(std::vector<uint8_t>(grey.data, grey.data + c.greys.size()), c.greys);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputFloat,
    ::testing::Values(
        StretchCase{"ZeroToOne", 3, {0, 0.5f, 1}, {0, 127, 255}},
        StretchCase{"MinusOneToOne", 1, {-1, 0, 1}, {0, 127, 255}},
        StretchCase{"Constant", 2, {7, 7, 7, 7, 7, 7}, {0, 0, 0, 0, 0, 0}},
        // 2 * 255 / 7 = 72.86: truncated, not rounded.
        StretchCase{"Truncates", 3, {2, 0, 7, 7, 2, 0}, {72, 0, 255, 255, 72, 0}},
        // 0.02f of 0.1f is 50.99999810 in double but exactly 51 in float arithmetic.
        StretchCase{"DoublePrecision", 3, {0, 0.02f, 0.1f}, {0, 50, 255}},
        // 0.3f * (255 / 0.3f) is 254.99999999999997: the division must come last.
        StretchCase{"DividesLast", 2, {0.3f, 0}, {255, 0}},
        // The range exceeds the float range; in double it is 6e38 and the middle is 127.5.
        StretchCase{"WideRange", 3, {-3.0e38f, 0, 3.0e38f}, {0, 127, 255}},
        StretchCase{"NonFinite", 5, {kNan, 0, kInf, 10, -kInf}, {0, 0, 255, 255, 0}},
        StretchCase{"ConstantWithInfinity", 3, {5, kInf, 5}, {0, 255, 0}},
        StretchCase{"NothingFinite", 2, {kInf, kNan, -kInf, kInf}, {0, 0, 0, 0}},
        StretchCase{"NoRows", 4, {}, {}}),
    [](const ::testing::TestParamInfo<StretchCase>& info) { return std::string(info.param.name); });

TEST(OutputFloatGeometry, DestinationIsPackedWhateverTheSourceStride) {
  // A 3 x 2 rectangle at row 1, column 1 of a 5 x 4 parent whose other pixels lie far
  // outside the rectangle's range.
  Image parent;
  ASSERT_EQ(parent.init(4, 5, 5 * 4, 32), 1);
  float* all = reinterpret_cast<float*>(parent.data);
  for (int i = 0; i < 20; ++i) all[i] = (i % 2 == 0) ? 1000.0f : -1000.0f;
  const float inside[2][3] = {{10, 20, 30}, {40, 50, 60}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) all[(r + 1) * 5 + c + 1] = inside[r][c];
  }
  Image rectangle;
  rectangle.view(2, 3, parent.stride, 32, parent.data + 1 * parent.stride + 1 * 4);

  Image grey;
  ASSERT_EQ(output_float(rectangle, &grey, 0), 1);
  EXPECT_EQ(grey.width, 3);
  EXPECT_EQ(grey.height, 2);
  EXPECT_EQ(grey.stride, 3);
  EXPECT_EQ(grey.capacity, 6);
  EXPECT_EQ(std::vector<uint8_t>(grey.data, grey.data + 6),
            (std::vector<uint8_t>{0, 51, 102, 153, 204, 255}));
}

TEST(OutputFloatGeometry, ReusesALargeEnoughDestination) {
  Image source;
  make_float_image(&source, 2, {1, 2, 3, 4, 5, 6});
  Image grey;
  ASSERT_EQ(grey.init(10, 100, 100, 8), 1);
  uint8_t* buffer = grey.data;
  ASSERT_EQ(output_float(source, &grey, 0), 1);
  EXPECT_EQ(grey.data, buffer);
  EXPECT_EQ(grey.capacity, 1000);
  EXPECT_EQ(grey.stride, 2);
  EXPECT_EQ(std::vector<uint8_t>(grey.data, grey.data + 6),
            (std::vector<uint8_t>{0, 51, 102, 153, 204, 255}));
}

TEST(OutputFloatGeometry, RefusedDestinationIsReported) {
  // Never read: the destination is refused before the source is looked at.
  Image source;
  source.view(70000, 70000, 280000, 32, nullptr);
  Image grey;
  ::testing::internal::CaptureStdout();
  const int result = output_float(source, &grey, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Error: output_float() cannot allocate image.\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(grey.width, 70000);
  EXPECT_EQ(grey.height, 70000);
  EXPECT_EQ(grey.stride, 70000);
  EXPECT_EQ(grey.data, nullptr);
  EXPECT_EQ(grey.capacity, 0);
}

// ---------------------------------------------------------------------------------------
// write_float_as_pgm

class WriteFloatAsPgm : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }
  int entries() const { return static_cast<int>(list_directory(dir_).size()); }
  TempDir temp_;
  const std::string& dir_ = temp_.path();
};

TEST_F(WriteFloatAsPgm, WritesTheStretchedPicture) {
  Image source;
  make_float_image(&source, 3, {-2, 0, 2, 1, -1, 0.5f});
  const std::string name = dir_ + "/panel.pgm";
  EXPECT_EQ(write_float_as_pgm(source, name.c_str(), 0), 1);
  const std::string bytes = read_file_bytes(name);
  const unsigned char greys[] = {0, 127, 255, 191, 63, 159};
  EXPECT_EQ(bytes, std::string("P5\n3 2\n255\n") + std::string(greys, greys + 6));
}

TEST_F(WriteFloatAsPgm, UnwritablePicturesGiveZeroAndNoFile) {
  Image source;
  make_float_image(&source, 2, {1, 2, 3, 4});
  const std::string missing_dir = dir_ + "/missing/panel.pgm";
  EXPECT_EQ(write_float_as_pgm(source, nullptr, 0), 0);
  EXPECT_EQ(write_float_as_pgm(source, missing_dir.c_str(), 0), 0);
  EXPECT_EQ(write_float_as_pgm(source, "/dev/full", 0), 0);
  EXPECT_EQ(entries(), 0);
  struct stat status;
  ASSERT_EQ(stat("/dev/full", &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));
}

TEST_F(WriteFloatAsPgm, RefusedConversionCreatesNoFile) {
  Image source;
  source.view(70000, 70000, 280000, 32, nullptr);
  const std::string name = dir_ + "/huge.pgm";
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(write_float_as_pgm(source, name.c_str(), 0), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Error: output_float() cannot allocate image.\n");
  EXPECT_EQ(entries(), 0);
}

}  // namespace
