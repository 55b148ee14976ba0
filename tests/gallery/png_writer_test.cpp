#include "gallery/png_writer.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "png_decode_util.h"

namespace {

struct PictureCase {
  const char* name;
  int32_t width;
  int32_t height;
  size_t stride;  // bytes from one row to the next in the source
};

// Every pixel a different function of row and column, covering 0 and 255.
std::vector<uint8_t> make_rows(const PictureCase& c) {
  std::vector<uint8_t> rows(c.stride * static_cast<size_t>(c.height), 0xEE);
  for (int32_t r = 0; r < c.height; ++r) {
    for (int32_t col = 0; col < c.width; ++col) {
      rows[static_cast<size_t>(r) * c.stride + static_cast<size_t>(col)] =
          static_cast<uint8_t>((r * 37 + col * 11 + (r * col) % 7) & 0xff);
    }
  }
  return rows;
}

void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

class GreyPngTest : public testing::TestWithParam<PictureCase> {};

TEST_P(GreyPngTest, DecodesToTheSameGreyValuesAsEightBitGrey) {
  const PictureCase& c = GetParam();
  const std::vector<uint8_t> rows = make_rows(c);
  PngBuffer png;
  ASSERT_EQ(encode_grey_png(rows.data(), c.width, c.height, c.stride, &png), kPngOk);

  const DecodedPng decoded = decode_png(png.data, png.size);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.width, static_cast<uint32_t>(c.width));
  EXPECT_EQ(decoded.height, static_cast<uint32_t>(c.height));
  EXPECT_EQ(decoded.color_type, PNG_COLOR_TYPE_GRAY);
  EXPECT_EQ(decoded.bit_depth, 8);
  EXPECT_EQ(decoded.interlace, PNG_INTERLACE_NONE);
  EXPECT_FALSE(decoded.has_gamma);
  ASSERT_EQ(decoded.row_bytes, static_cast<size_t>(c.width));
  for (int32_t r = 0; r < c.height; ++r) {
    for (int32_t col = 0; col < c.width; ++col) {
      ASSERT_EQ(decoded.pixels[static_cast<size_t>(r * c.width + col)],
                rows[static_cast<size_t>(r) * c.stride + static_cast<size_t>(col)])
          << "row " << r << ", column " << col;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, GreyPngTest,
                         testing::Values(PictureCase{"OnePixel", 1, 1, 1},
                                         PictureCase{"PaddedRows", 3, 2, 5},
                                         PictureCase{"TallAndNarrow", 2, 41, 2},
                                         PictureCase{"EveryGreyLevel", 256, 3, 256},
                                         PictureCase{"Ch2betterCanvas", 671, 617, 671}),
                         [](const testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

TEST(GreyPng, ReusesItsBufferAndReplacesTheOldContent) {
  const std::vector<uint8_t> big = make_rows({"", 64, 48, 64});
  const std::vector<uint8_t> small = make_rows({"", 2, 3, 2});
  PngBuffer png;
  ASSERT_EQ(encode_grey_png(big.data(), 64, 48, 64, &png), kPngOk);
  const uint8_t* data = png.data;
  ASSERT_EQ(encode_grey_png(small.data(), 2, 3, 2, &png), kPngOk);
  EXPECT_EQ(png.data, data);
  const DecodedPng decoded = decode_png(png.data, png.size);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.width, 2u);
  EXPECT_EQ(decoded.pixels, small);
}

TEST(GreyPng, RefusesAPictureWithoutPixelsOrWithANarrowStride) {
  const uint8_t pixels[6] = {1, 2, 3, 4, 5, 6};
  struct {
    const uint8_t* pixels;
    int32_t width;
    int32_t height;
    size_t stride;
  } const bad[] = {{nullptr, 3, 2, 3}, {pixels, 0, 2, 3}, {pixels, 3, 0, 3}, {pixels, -3, 2, 3}, {pixels, 3, 2, 2}};
  PngBuffer png;
  for (const auto& b : bad) {
    png.size = 99;
    EXPECT_EQ(encode_grey_png(b.pixels, b.width, b.height, b.stride, &png), kPngBadPicture);
    EXPECT_EQ(png.size, 0u);
  }
}

}  // namespace
