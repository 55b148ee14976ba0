#include "vis/circle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Point = std::pair<int32_t, int32_t>;  // row, column
using Points = std::vector<Point>;

int record_point(int32_t row, int32_t col, void* context) {
  static_cast<Points*>(context)->push_back({row, col});
  return 1;
}

Points traced(float row, float col, float radius) {
  Points points;
  trace_circle(row, col, radius, record_point, &points);
  return points;
}

Points shifted(const Points& offsets, int32_t row, int32_t col) {
  Points points;
  for (const Point& p : offsets) points.push_back({row + p.first, col + p.second});
  return points;
}

// Call lists in the order of the eight points of each step.
const Points kRadius0(8, {0, 0});
const Points kRadius1 = {{-1, 0}, {-1, 0}, {0, -1}, {0, 1}, {0, -1}, {0, 1}, {1, 0}, {1, 0}};
const Points kRadius2 = {{-2, 0},  {-2, 0}, {0, -2}, {0, 2},  {0, -2},  {0, 2},
                         {2, 0},   {2, 0},  {-2, -1}, {-2, 1}, {-1, -2}, {-1, 2},
                         {1, -2},  {1, 2},  {2, -1}, {2, 1}};
const Points kRadius3 = {{-3, 0},  {-3, 0}, {0, -3},  {0, 3},  {0, -3},  {0, 3},
                         {3, 0},   {3, 0},  {-3, -1}, {-3, 1}, {-1, -3}, {-1, 3},
                         {1, -3},  {1, 3},  {3, -1},  {3, 1},  {-2, -2}, {-2, 2},
                         {-2, -2}, {-2, 2}, {2, -2},  {2, 2},  {2, -2},  {2, 2}};

struct TraceCase {
  const char* name;
  float row;
  float col;
  float radius;
  Points expected;
};

TEST(TraceCircle, CallListsInOrder) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const TraceCase cases[] = {
      {"radius 0: the centre eight times", 7.0f, -4.0f, 0.0f, shifted(kRadius0, 7, -4)},
      {"radius 1", 7.0f, -4.0f, 1.0f, shifted(kRadius1, 7, -4)},
      {"radius 2", 7.0f, -4.0f, 2.0f, shifted(kRadius2, 7, -4)},
      {"radius 3", 7.0f, -4.0f, 3.0f, shifted(kRadius3, 7, -4)},
      {"negative radius", 7.0f, -4.0f, -1.0f, {}},
      {"very negative radius", 7.0f, -4.0f, -1.0e9f, {}},
      // trunc(-0.5) is 0, not -1: a radius just below zero still plots its centre.
      {"radius -0.5", 7.0f, -4.0f, -0.5f, shifted(kRadius0, 7, -4)},
      {"NaN radius counts as 0", 7.0f, -4.0f, nan, shifted(kRadius0, 7, -4)},
      // Coordinates truncate toward zero: -2.7 - 1 gives -3, not -4.
      {"fractional centre",
       2.7f,
       -2.7f,
       1.0f,
       {{1, -2}, {1, -2}, {2, -3}, {2, -1}, {2, -3}, {2, -1}, {3, -2}, {3, -2}}},
      {"centre beyond 32 bits saturates", 3.0e9f, -3.0e9f, 0.0f,
       Points(8, {INT32_MAX, INT32_MIN})},
      {"NaN centre gives 0", nan, 5.0f, 0.0f, Points(8, {0, 5})},
  };
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(traced(c.row, c.col, c.radius), c.expected);
  }
}

// (j, i) of every step, read off the first point of each step of a circle around 0.
std::vector<Point> steps_of(float radius) {
  const Points points = traced(0.0f, 0.0f, radius);
  std::vector<Point> steps;
  for (size_t k = 0; k < points.size(); k += 8) {
    steps.push_back({-points[k].first, -points[k].second});
  }
  return steps;
}

TEST(TraceCircle, DecisionConstantsUseTheRadiusItselfNotItsTruncation) {
  const struct {
    float radius;
    std::vector<Point> steps;
  } cases[] = {
      {6.0f, {{6, 0}, {6, 1}, {6, 2}, {5, 3}, {4, 4}}},
      {6.5f, {{6, 0}, {6, 1}, {6, 2}, {5, 3}, {5, 4}}},
      {8.0f, {{8, 0}, {8, 1}, {8, 2}, {7, 3}, {7, 4}, {6, 5}}},
      {8.75f, {{8, 0}, {8, 1}, {8, 2}, {7, 3}, {7, 4}, {6, 5}, {6, 6}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.radius);
    EXPECT_EQ(steps_of(c.radius), c.steps);
  }
}

// Counts, over a circle around 0, the first points of steps with an odd row beyond -2^24,
// and whether the row -16777218 occurs.
struct RowParity {
  int64_t calls = 0;
  int64_t odd_rows = 0;
  bool saw_16777218 = false;
};

int count_row_parity(int32_t row, int32_t, void* context) {
  RowParity* parity = static_cast<RowParity*>(context);
  if (parity->calls++ % 8 == 0) {
    if (row < -16777216 && row % 2 != 0) ++parity->odd_rows;
    if (row == -16777218) parity->saw_16777218 = true;
  }
  return 1;
}

TEST(TraceCircle, CountersAreRoundedToFloatBeforeTheyAreAdded) {
  // Above 2^24 only even integers are floats: j = 16777219 is plotted as 16777220.
  RowParity parity;
  trace_circle(0.0f, 0.0f, 16777220.0f, count_row_parity, &parity);
  EXPECT_EQ(parity.odd_rows, 0);
  EXPECT_TRUE(parity.saw_16777218);
}

// Checks midpoint_j_at against the running loop, step by step, without storing the steps.
struct FormCheck {
  float radius;
  int64_t calls = 0;
  int64_t mismatches = 0;
};

int compare_with_form(int32_t row, int32_t, void* context) {
  FormCheck* check = static_cast<FormCheck*>(context);
  if (check->calls % 8 == 0) {
    const int64_t j = midpoint_j_at(check->radius, check->calls / 8);
    // The plotted row is the float of j, so compare in that form.
    if (j < 0 || -static_cast<double>(static_cast<float>(j)) != static_cast<double>(row)) {
      ++check->mismatches;
    }
  }
  ++check->calls;
  return 1;
}

void expect_form_matches_loop(float radius) {
  FormCheck check{radius};
  trace_circle(0.0f, 0.0f, radius, compare_with_form, &check);
  ASSERT_EQ(check.mismatches, 0) << "radius " << radius;
  ASSERT_EQ(midpoint_j_at(radius, check.calls / 8), -1) << "radius " << radius;
}

TEST(MidpointClosedForm, MatchesTheLoopForEveryRadiusUpTo3000) {
  for (int r = 0; r <= 3000; ++r) expect_form_matches_loop(static_cast<float>(r));
}

TEST(MidpointClosedForm, MatchesTheLoopForFractionalRadii) {
  for (int quarters = 1; quarters <= 4000; ++quarters) {
    expect_form_matches_loop(static_cast<float>(quarters) / 4.0f);
  }
  for (int k = 0; k < 500; ++k) expect_form_matches_loop(0.37f * static_cast<float>(k) + 0.001f);
}

TEST(MidpointClosedForm, MatchesTheLoopForLargeRadii) {
  for (float r : {4097.0f, 65537.0f, 1234567.0f, 16777220.0f, 2.0e7f}) {
    expect_form_matches_loop(r);
  }
}

TEST(MidpointClosedForm, NegativeRadiusAndCountersOutsideTheLoop) {
  EXPECT_EQ(midpoint_j_at(-1.0f, 0), -1);
  EXPECT_EQ(midpoint_j_at(5.0f, -1), -1);
  EXPECT_EQ(midpoint_j_at(0.0f, 0), 0);
  EXPECT_EQ(midpoint_j_at(0.0f, 1), -1);
  // 2^31 - 1 as a float is 2^31: j saturates one below the radius the constants see.
  EXPECT_EQ(midpoint_j_at(2147483648.0f, 0), INT32_MAX);
  EXPECT_EQ(midpoint_j_at(2147483648.0f, 1), INT32_MAX);
}

// Pixel bytes viewed as an Image; every row is followed by padding that no drawing may touch.
// Byte k starts as (37k + 11) mod 256, so any stray write shows.
struct Canvas {
  std::vector<uint8_t> bytes;
  Image image;

  Canvas(int32_t rows, int32_t cols, int32_t bits, int32_t padding = 3) {
    const int32_t pixel_bytes = bits / 8 > 0 ? bits / 8 : 1;
    const int32_t stride = cols * pixel_bytes + padding;
    bytes.resize(static_cast<size_t>(rows) * static_cast<size_t>(stride) + 1);
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * 37 + 11);
    image.view(rows, cols, stride, bits, bytes.data());
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  size_t offset(int32_t row, int32_t col) const {
    return static_cast<size_t>(row) * static_cast<size_t>(image.stride) +
           static_cast<size_t>(col) * static_cast<size_t>(image.bits_per_pixel / 8);
  }
  void fill_pixels(const std::vector<uint8_t>& pixel) {
    for (int32_t r = 0; r < image.height; ++r) {
      for (int32_t c = 0; c < image.width; ++c) {
        std::memcpy(&bytes[offset(r, c)], pixel.data(), pixel.size());
      }
    }
  }
};

std::vector<uint8_t> float_bytes(float value) {
  std::vector<uint8_t> out(4);
  std::memcpy(out.data(), &value, 4);
  return out;
}

std::vector<uint8_t> u16_bytes(uint16_t value) {
  std::vector<uint8_t> out(2);
  std::memcpy(out.data(), &value, 2);
  return out;
}

struct PixelCase {
  const char* name;
  int32_t bits;
  int32_t row;
  int32_t col;
  std::vector<uint8_t> colour;
  float alpha;
  std::vector<uint8_t> under;     // bytes placed at the written pixel first; empty: none
  bool changes;                   // whether a pixel is written at all
  int32_t at_row;                 // the pixel written, after clamping
  int32_t at_col;
  std::vector<uint8_t> expected;  // its bytes afterwards
};

TEST(PlotCirclePixel, SetsOneClampedPixelByDepth) {
  // The image has 3 rows and 4 columns.
  const PixelCase cases[] = {
      {"8-bit half white over 100", 8, 1, 2, {255, 0, 0}, 0.5f, {100}, true, 1, 2, {177}},
      // In float 10 * 0.7f would round up to exactly 7.
      {"8-bit blend is in double", 8, 1, 2, {10, 0, 0}, 0.7f, {0}, true, 1, 2, {6}},
      // In float 1 - 1e-8 would be exactly 1 and keep 200.
      {"8-bit 1 - alpha is in double", 8, 1, 0, {0, 0, 0}, 1.0e-8f, {200}, true, 1, 0, {199}},
      // -100.5 + 15 = -85.5 truncates to -85 (0xAB), not -86.
      {"8-bit negative sum truncates toward zero", 8, 0, 1, {10, 0, 0}, 1.5f, {201}, true, 0, 1,
       {171}},
      {"8-bit keeps the low 8 bits", 8, 2, 3, {200, 0, 0}, 2.0f, {10}, true, 2, 3, {134}},
      {"24-bit blends each byte with its colour", 24, 1, 1, {40, 80, 120}, 0.25f, {200, 100, 0},
       true, 1, 1, {160, 95, 30}},
      {"16-bit becomes 1", 16, 2, 0, {0, 0, 0}, 0.0f, {}, true, 2, 0, u16_bytes(1)},
      {"float becomes colour 0", 32, 0, 3, {7, 8, 9}, 0.0f, {}, true, 0, 3, float_bytes(7.0f)},
      {"row above, column right", 32, -5, 9, {42, 0, 0}, 1.0f, {}, true, 0, 3,
       float_bytes(42.0f)},
      {"row at height, column left", 32, 3, -1, {42, 0, 0}, 1.0f, {}, true, 2, 0,
       float_bytes(42.0f)},
      {"32-bit extremes", 32, INT32_MAX, INT32_MIN, {42, 0, 0}, 1.0f, {}, true, 2, 0,
       float_bytes(42.0f)},
      {"8-bit extremes", 8, INT32_MIN, INT32_MAX, {42, 0, 0}, 1.0f, {}, true, 0, 3, {42}},
      {"64 bits per pixel", 64, 1, 1, {255, 255, 255}, 1.0f, {}, false, 0, 0, {}},
      {"fewer than 8 bits per pixel", 7, 1, 1, {255, 255, 255}, 1.0f, {}, false, 0, 0, {}},
      {"negative depth", -8, 1, 1, {255, 255, 255}, 1.0f, {}, false, 0, 0, {}},
  };
  for (const PixelCase& c : cases) {
    SCOPED_TRACE(c.name);
    Canvas canvas(3, 4, c.bits);
    if (!c.under.empty()) {
      std::memcpy(&canvas.bytes[canvas.offset(c.at_row, c.at_col)], c.under.data(),
                  c.under.size());
    }
    std::vector<uint8_t> expected = canvas.bytes;
    if (c.changes) {
      std::memcpy(&expected[canvas.offset(c.at_row, c.at_col)], c.expected.data(),
                  c.expected.size());
    }
    PlotContext context{&canvas.image, {c.colour[0], c.colour[1], c.colour[2]}, c.alpha,
                        &canvas.image};
    EXPECT_EQ(plot_circle_pixel(c.row, c.col, &context), 1);
    EXPECT_EQ(canvas.bytes, expected);
  }
}

TEST(PlotCirclePixel, BlendReadsTheOtherImageThroughItsOwnStride) {
  Canvas target(3, 4, 24, 1);
  Canvas other(3, 4, 24, 5);
  std::memcpy(&other.bytes[other.offset(2, 3)], std::vector<uint8_t>{100, 20, 0}.data(), 3);
  const std::vector<uint8_t> other_before = other.bytes;
  std::vector<uint8_t> expected = target.bytes;
  const uint8_t blended[3] = {177, 137, 127};  // 100, 20 and 0 halfway to white
  std::memcpy(&expected[target.offset(2, 3)], blended, 3);

  PlotContext context{&target.image, {255, 255, 255}, 0.5f, &other.image};
  EXPECT_EQ(plot_circle_pixel(7, 9, &context), 1);
  EXPECT_EQ(target.bytes, expected);
  EXPECT_EQ(other.bytes, other_before);
}

TEST(PlotCirclePixel, NoPixelNoWrite) {
  struct Shape {
    const char* name;
    int32_t height;
    int32_t width;
    bool null_data;
  };
  const Shape shapes[] = {
      {"no columns", 3, 0, false}, {"no rows", 0, 4, false},     {"negative width", 3, -2, false},
      {"null pixels", 3, 4, true}, {"negative height", -1, 4, false},
  };
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.name);
    std::vector<uint8_t> bytes(64, 9);
    Image image;
    image.view(s.height, s.width, 16, 32, s.null_data ? nullptr : bytes.data());
    PlotContext context{&image, {255, 255, 255}, 1.0f, &image};
    EXPECT_EQ(plot_circle_pixel(1, 1, &context), 1);
    EXPECT_EQ(draw_white_circle(1, 1, 3, &image), 1);
    EXPECT_EQ(draw_white_circle(1, 1, 100000, &image), 1);
    EXPECT_EQ(bytes, std::vector<uint8_t>(64, 9));
  }
}

TEST(PlotCirclePixel, BlendSourceWithoutThatPixelWritesNothing) {
  Canvas target(3, 4, 8);
  Canvas small_other(1, 1, 8);
  Canvas deeper_other(3, 4, 16);
  for (const Image* other : {&small_other.image, &deeper_other.image}) {
    const std::vector<uint8_t> before = target.bytes;
    PlotContext context{&target.image, {255, 255, 255}, 0.5f, other};
    EXPECT_EQ(plot_circle_pixel(2, 3, &context), 1);
    EXPECT_EQ(target.bytes, before);
  }
}

// The pixels of a picture: '.' keeps its starting bytes, any other character maps to the
// pixel bytes given for it.
std::vector<uint8_t> painted(const Canvas& canvas, const std::vector<std::string>& picture,
                             const std::vector<std::pair<char, std::vector<uint8_t>>>& inks) {
  std::vector<uint8_t> out = canvas.bytes;
  for (int32_t r = 0; r < static_cast<int32_t>(picture.size()); ++r) {
    for (int32_t c = 0; c < static_cast<int32_t>(picture[static_cast<size_t>(r)].size()); ++c) {
      const char mark = picture[static_cast<size_t>(r)][static_cast<size_t>(c)];
      for (const auto& ink : inks) {
        if (ink.first == mark) {
          std::memcpy(&out[canvas.offset(r, c)], ink.second.data(), ink.second.size());
        }
      }
    }
  }
  return out;
}

const std::vector<std::string> kRadius3Picture = {
    "...XXX...",  //
    "..X...X..",  //
    ".X.....X.",  //
    ".X.....X.",  //
    ".X.....X.",  //
    "..X...X..",  //
    "...XXX...",
};

TEST(DrawCircle, WhiteCircleOnFloatSetsItsPixelsTo255AndNothingElse) {
  Canvas canvas(7, 9, 32);
  const std::vector<uint8_t> expected =
      painted(canvas, kRadius3Picture, {{'X', float_bytes(255.0f)}});
  EXPECT_EQ(draw_white_circle(3, 4, 3, &canvas.image), 1);
  EXPECT_EQ(canvas.bytes, expected);
}

TEST(DrawCircle, SixteenBitPixelsBecomeOne) {
  Canvas canvas(7, 9, 16);
  const std::vector<uint8_t> expected = painted(canvas, kRadius3Picture, {{'X', u16_bytes(1)}});
  const uint8_t red[3] = {200, 0, 0};
  EXPECT_EQ(draw_circle(3, 4, 3, &canvas.image, red, 0.25f, nullptr), 1);
  EXPECT_EQ(canvas.bytes, expected);
}

TEST(DrawCircle, TopmostPointsAboveTheImageLandOnRowZero) {
  Canvas canvas(6, 9, 8);
  canvas.fill_pixels({0});
  const std::vector<uint8_t> expected = painted(canvas,
                                                {
                                                    ".XXXXXXX.",  // rows -2, -1 and 0
                                                    ".X.....X.",  //
                                                    ".X.....X.",  //
                                                    "..X...X..",  //
                                                    "...XXX...",  //
                                                    ".........",
                                                },
                                                {{'X', {255}}});
  EXPECT_EQ(draw_white_circle(1, 4, 3, &canvas.image), 1);
  EXPECT_EQ(canvas.bytes, expected);
}

TEST(DrawCircle, HalfWhiteBlendsAgainAtEveryRepeatedPlot) {
  // Points on the axes are plotted twice: 100 -> 177 -> 216.
  Canvas canvas(7, 9, 8);
  canvas.fill_pixels({100});
  const std::vector<uint8_t> expected = painted(canvas,
                                                {
                                                    ".........",  //
                                                    "...aba...",  //
                                                    "..a...a..",  //
                                                    "..b...b..",  //
                                                    "..a...a..",  //
                                                    "...aba...",  //
                                                    ".........",
                                                },
                                                {{'a', {177}}, {'b', {216}}});
  EXPECT_EQ(draw_circle(3, 4, 2, &canvas.image, nullptr, 0.5f, nullptr), 1);
  EXPECT_EQ(canvas.bytes, expected);
}

TEST(DrawCircle, NothingForNegativeRadiusOrOtherDepths) {
  const struct {
    int32_t bits;
    int32_t radius;
  } cases[] = {{32, -1}, {8, INT32_MIN}, {64, 2}, {64, 100000}, {40, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, radius " << c.radius);
    Canvas canvas(5, 6, c.bits);
    const std::vector<uint8_t> before = canvas.bytes;
    EXPECT_EQ(draw_white_circle(2, 3, c.radius, &canvas.image), 1);
    EXPECT_EQ(canvas.bytes, before);
  }
}

// draw_circle must give exactly the full trace through plot_circle_pixel, also where
// repeated blends make the number of plots matter and where it takes its bounded path.
TEST(DrawCircle, EqualsTheFullTraceForEveryDepthAndAlpha) {
  const struct {
    int32_t bits;
    float alpha;
    bool other;
  } modes[] = {{8, 0.5f, false},  {8, 1.0f, false},   {24, 0.25f, false}, {24, 1.0f, true},
               {8, 0.5f, true},   {16, 0.3f, false},  {32, 0.0f, false},
               // Each plot sends a pixel somewhere else (mod 256): every repeat shows.
               {8, -0.5f, false}, {24, -0.5f, false}};
  const uint8_t colour[3] = {250, 60, 5};
  for (const auto& mode : modes) {
    for (int32_t radius : {0, 2, 7, 4096, 4097, 5000, 20000}) {
      SCOPED_TRACE(testing::Message() << mode.bits << " bits, alpha " << mode.alpha << ", radius "
                                      << radius << (mode.other ? ", other image" : ""));
      // The circle passes through the middle of the image, far from its axis points.
      const int32_t row = 4 + static_cast<int32_t>(std::lround(0.8 * radius));
      const int32_t col = 6 - static_cast<int32_t>(std::lround(0.6 * radius));
      Canvas drawn(9, 13, mode.bits);
      Canvas traced_canvas(9, 13, mode.bits);
      Canvas other(9, 13, mode.bits, 7);
      const Image* other_image = mode.other ? &other.image : nullptr;
      EXPECT_EQ(draw_circle(row, col, radius, &drawn.image, colour, mode.alpha, other_image), 1);
      PlotContext context{&traced_canvas.image,
                          {colour[0], colour[1], colour[2]},
                          mode.alpha,
                          mode.other ? &other.image : &traced_canvas.image};
      trace_circle(static_cast<float>(row), static_cast<float>(col), static_cast<float>(radius),
                   plot_circle_pixel, &context);
      EXPECT_EQ(drawn.bytes, traced_canvas.bytes);
    }
  }
}

// Draws one circle both ways into fresh float images and compares every byte.
void expect_bounded_matches_trace(int32_t rows, int32_t cols, int32_t centre_row,
                                  int32_t centre_col, int32_t radius) {
  Canvas bounded(rows, cols, 32);
  Canvas full(rows, cols, 32);
  PlotContext bounded_context{&bounded.image, {255, 255, 255}, 1.0f, &bounded.image};
  PlotContext full_context{&full.image, {255, 255, 255}, 1.0f, &full.image};
  plot_circle_bounded(centre_row, centre_col, radius, &bounded_context);
  trace_circle(static_cast<float>(centre_row), static_cast<float>(centre_col),
               static_cast<float>(radius), plot_circle_pixel, &full_context);
  ASSERT_EQ(bounded.bytes, full.bytes) << rows << "x" << cols << " image, centre (" << centre_row
                                       << ", " << centre_col << "), radius " << radius;
}

const Point kImageShapes[] = {{7, 11}, {1, 1}, {5, 1}, {1, 5}};

TEST(BoundedCircle, SetsTheSamePixelsAsTheTraceForSmallRadii) {
  const Point centres[] = {
      {3, 5},        {0, 0},          {6, 10},          {-3, 20},         {9, -4},
      {-1000, 5000}, {-70000, 3},     {2, -123456},     {INT32_MAX, 5},   {4, INT32_MIN},
      {INT32_MIN, INT32_MAX},         {16777217, -16777219},            {-2, -2},
  };
  for (const Point& shape : kImageShapes) {
    for (const Point& centre : centres) {
      for (int32_t radius = -2; radius <= 300; ++radius) {
        expect_bounded_matches_trace(shape.first, shape.second, centre.first, centre.second,
                                     radius);
      }
    }
  }
}

TEST(BoundedCircle, SetsTheSamePixelsAsTheTraceForLargeRadii) {
  // Each circle is made to pass at a random angle through a random point in or near the
  // image, so that its arc, not only its clamped remainder, crosses the pixels.
  std::mt19937 random(20240611u);
  std::uniform_real_distribution<double> log_radius(std::log(4096.0), std::log(4.0e6));
  std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
  std::uniform_int_distribution<int32_t> near(-3, 13);
  // Axis and diagonal crossings first; the first two radii are beyond 2^24, where the
  // counters are rounded to floats.
  const double octant_edges[] = {0.7853981633974483, 0.0, 1.5707963267948966,
                                 3.9269908169872414};
  const int32_t radii[] = {20000000, 17000001};
  for (int k = 0; k < 14; ++k) {
    const Point shape = kImageShapes[k % 4];
    const int32_t radius = k < 2 ? radii[k] : static_cast<int32_t>(std::exp(log_radius(random)));
    const double theta = k < 4 ? octant_edges[k] : angle(random);
    const int32_t through_row = near(random);
    const int32_t through_col = near(random);
    const int32_t row = through_row + static_cast<int32_t>(std::lround(radius * std::sin(theta)));
    const int32_t col = through_col + static_cast<int32_t>(std::lround(radius * std::cos(theta)));
    expect_bounded_matches_trace(shape.first, shape.second, row, col, radius);
  }
  // Centred in the image the whole circle clamps onto its border.
  expect_bounded_matches_trace(7, 11, 3, 5, 5000000);
}

TEST(BoundedCircle, SetsTheSamePixelsWhereOnlyTheClampedArcSweepsTheBorder) {
  // Circles passing up to 800 pixels beside the image: their clamped points run along its
  // border while the arc itself stays outside.
  std::mt19937 random(7u);
  std::uniform_int_distribution<int32_t> radii(4097, 30000);
  std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
  std::uniform_int_distribution<int32_t> beside(-800, 800);
  for (int k = 0; k < 400; ++k) {
    const Point shape = kImageShapes[k % 4];
    const int32_t radius = radii(random);
    const double theta = angle(random);
    const int32_t through_row = beside(random);
    const int32_t through_col = beside(random);
    const int32_t row = through_row + static_cast<int32_t>(std::lround(radius * std::sin(theta)));
    const int32_t col = through_col + static_cast<int32_t>(std::lround(radius * std::cos(theta)));
    expect_bounded_matches_trace(shape.first, shape.second, row, col, radius);
  }
}

TEST(BoundedCircle, HugeRadiiFinishAndClampOntoTheBorder) {
  // From a centre in or beside the image the circle, clamped, covers exactly the border.
  const Point centres[] = {{2, 3}, {0, 0}, {5, 8}, {-40, 4}, {3, 200}};
  for (int32_t radius : {INT32_MAX, 200000000, 2147483000}) {
    for (const Point& centre : centres) {
      SCOPED_TRACE(testing::Message() << "radius " << radius << ", centre (" << centre.first
                                      << ", " << centre.second << ")");
      Canvas canvas(6, 9, 32);
      std::vector<uint8_t> expected = canvas.bytes;
      for (int32_t r = 0; r < 6; ++r) {
        for (int32_t c = 0; c < 9; ++c) {
          if (r == 0 || r == 5 || c == 0 || c == 8) {
            std::memcpy(&expected[canvas.offset(r, c)], float_bytes(255.0f).data(), 4);
          }
        }
      }
      EXPECT_EQ(draw_white_circle(centre.first, centre.second, radius, &canvas.image), 1);
      EXPECT_EQ(canvas.bytes, expected);
    }
  }
  // Far away only a corner or an edge can be reached; these must simply come back.
  const Point far_centres[] = {{INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MAX},
                               {-100000000, 3},        {200000003, 4},
                               {3, -2147483000}};
  for (int32_t radius : {INT32_MAX, 200000000}) {
    for (const Point& centre : far_centres) {
      Canvas canvas(6, 9, 8);
      EXPECT_EQ(draw_white_circle(centre.first, centre.second, radius, &canvas.image), 1);
    }
  }
}

}  // namespace
