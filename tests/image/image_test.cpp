#include "image/image.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

namespace {

// ---------------------------------------------------------------------------------------
// Buffer ownership

void expect_geometry(const Image& image, int32_t width, int32_t height, int32_t stride,
                     int32_t bits) {
  EXPECT_EQ(image.width, width);
  EXPECT_EQ(image.height, height);
  EXPECT_EQ(image.stride, stride);
  EXPECT_EQ(image.bits_per_pixel, bits);
}

TEST(ImageBuffer, ConstructedImageIsEmptyAndReleasesSafelyTwice) {
  Image image;
  expect_geometry(image, 0, 0, 0, 0);
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(image.capacity, 0);
  image.release();
  image.release();
  EXPECT_EQ(image.data, nullptr);
}

TEST(ImageBuffer, InitAllocatesExactlyAndReusesLargeEnoughBuffers) {
  Image image;
  ASSERT_EQ(image.init(10, 20, 80, 32), 1);
  expect_geometry(image, 20, 10, 80, 32);
  EXPECT_EQ(image.capacity, 800);
  ASSERT_NE(image.data, nullptr);
  for (int i = 0; i < 800; ++i) image.data[i] = static_cast<uint8_t>(i * 7);
  uint8_t* first = image.data;

  ASSERT_EQ(image.init(10, 40, 40, 8), 1);
  expect_geometry(image, 40, 10, 40, 8);
  EXPECT_EQ(image.capacity, 800);
  EXPECT_EQ(image.data, first);
  for (int i = 0; i < 800; ++i) ASSERT_EQ(image.data[i], static_cast<uint8_t>(i * 7)) << i;

  ASSERT_EQ(image.init(30, 20, 80, 32), 1);
  expect_geometry(image, 20, 30, 80, 32);
  EXPECT_EQ(image.capacity, 2400);
  ASSERT_NE(image.data, nullptr);
  std::memset(image.data, 0x5A, 2400);  // the whole buffer must be ours (sanitizer run)

  image.release();
  expect_geometry(image, 20, 30, 80, 32);
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(image.capacity, 0);
}

TEST(ImageBuffer, ReserveGrowsOnlyForLargerRequests) {
  Image image;
  ASSERT_EQ(image.reserve(100), 1);
  EXPECT_EQ(image.capacity, 100);
  uint8_t* first = image.data;
  struct Step {
    int32_t bytes;
    int32_t capacity;
  };
  const Step keeps[] = {{100, 100}, {57, 100}, {0, 100}, {-5, 100}};
  for (const Step& step : keeps) {
    EXPECT_EQ(image.reserve(step.bytes), 1) << step.bytes;
    EXPECT_EQ(image.capacity, step.capacity) << step.bytes;
    EXPECT_EQ(image.data, first) << step.bytes;
  }
  ASSERT_EQ(image.reserve(101), 1);
  EXPECT_EQ(image.capacity, 101);
  std::memset(image.data, 1, 101);
}

// A non-positive product allocates nothing, succeeds and stores the geometry unchanged.
struct EmptyInit {
  int32_t height, width, stride, bits;
};

class ImageEmptyInit : public ::testing::TestWithParam<EmptyInit> {};

TEST_P(ImageEmptyInit, SucceedsWithoutBuffer) {
  const EmptyInit c = GetParam();
  Image image;
  EXPECT_EQ(image.init(c.height, c.width, c.stride, c.bits), 1);
  expect_geometry(image, c.width, c.height, c.stride, c.bits);
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(image.capacity, 0);
}

INSTANTIATE_TEST_SUITE_P(NonPositiveSizes, ImageEmptyInit,
                         ::testing::Values(EmptyInit{0, 20, 80, 32}, EmptyInit{7, 0, 0, 8},
                                           EmptyInit{-3, 5, 15, 24},
                                           EmptyInit{9, 4, -16, 32}));

// height x stride beyond 2^31 - 1 is a refused allocation, also where a 32-bit product
// would wrap to something small or negative.
struct OversizedInit {
  int32_t height, stride;
};

class ImageOversizedInit : public ::testing::TestWithParam<OversizedInit> {};

TEST_P(ImageOversizedInit, FailsAndDropsTheOwnedBuffer) {
  const OversizedInit c = GetParam();
  Image image;
  ASSERT_EQ(image.init(3, 5, 20, 32), 1);
  EXPECT_EQ(image.init(c.height, 11, c.stride, 32), 0);
  expect_geometry(image, 11, c.height, c.stride, 32);
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(image.capacity, 0);
}

INSTANTIATE_TEST_SUITE_P(Products, ImageOversizedInit,
                         ::testing::Values(OversizedInit{70000, 280000},      // 19.6e9
                                           OversizedInit{65536, 65537},       // wraps to 65536
                                           OversizedInit{2, 1073741824},      // 2^31 exactly
                                           OversizedInit{-70000, -70000}));  // 4.9e9

TEST(ImageBuffer, ViewFreesTheOwnedBufferAndReleaseLeavesViewedMemory) {
  std::vector<uint8_t> parent(6 * 9);
  for (size_t i = 0; i < parent.size(); ++i) parent[i] = static_cast<uint8_t>(i + 1);
  Image image;
  ASSERT_EQ(image.init(4, 4, 16, 32), 1);  // a leak of this buffer fails the sanitizer run
  uint8_t* pixels = parent.data() + 9 + 2;
  EXPECT_EQ(image.view(3, 4, 9, 8, pixels), 1);
  expect_geometry(image, 4, 3, 9, 8);
  EXPECT_EQ(image.data, pixels);
  EXPECT_EQ(image.capacity, 0);

  image.release();
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(image.capacity, 0);
  for (size_t i = 0; i < parent.size(); ++i) ASSERT_EQ(parent[i], static_cast<uint8_t>(i + 1));
}

TEST(ImageBuffer, InitOfAViewAllocatesOnlyWhenItNeedsBytes) {
  std::vector<uint8_t> parent(5 * 7, 0xC3);
  Image image;
  image.view(5, 7, 7, 8, parent.data());

  ASSERT_EQ(image.init(0, 3, 3, 8), 1);
  EXPECT_EQ(image.data, parent.data());
  EXPECT_EQ(image.capacity, 0);

  ASSERT_EQ(image.init(2, 3, 3, 8), 1);
  EXPECT_EQ(image.capacity, 6);
  ASSERT_NE(image.data, nullptr);
  EXPECT_NE(image.data, parent.data());
  std::memset(image.data, 0x11, 6);
  for (uint8_t byte : parent) ASSERT_EQ(byte, 0xC3);
}

// ---------------------------------------------------------------------------------------
// Writing to a stream

// Collects what write_pnm puts on a stream.
struct Written {
  int result;
  std::string bytes;
};

Written write_to_memory(const Image& image, int binary) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  Written written{image.write_pnm(stream, binary), std::string()};
  std::fclose(stream);
  written.bytes.assign(buffer, size);
  std::free(buffer);
  return written;
}

std::string bytes_of(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// Fills an owned image row by row from `rows` (each row's pixel bytes); the bytes between
// a row's pixels and the next row hold 0xEE so a writer that sends them shows up.
void fill_rows(Image* image, const std::vector<std::string>& rows) {
  std::memset(image->data, 0xEE, static_cast<size_t>(image->capacity));
  for (size_t r = 0; r < rows.size(); ++r) {
    std::memcpy(image->data + r * static_cast<size_t>(image->stride), rows[r].data(),
                rows[r].size());
  }
}

TEST(WritePnm, EightBitRowsSkipTheStridePadding) {
  Image image;
  ASSERT_EQ(image.init(2, 3, 4, 8), 1);
  fill_rows(&image, {bytes_of({10, 200, 30}), bytes_of({0, 255, 77})});
  const std::string expected = std::string("P5\n3 2\n255\n") + bytes_of({10, 200, 30, 0, 255, 77});
  for (int binary : {1, 0}) {
    const Written w = write_to_memory(image, binary);
    EXPECT_EQ(w.result, 1) << binary;
    EXPECT_EQ(w.bytes, expected) << binary;
  }
}

TEST(WritePnm, SixteenBitSamplesAreTheirLowBytes) {
  Image image;
  ASSERT_EQ(image.init(2, 3, 8, 16), 1);
  const uint16_t values[2][3] = {{0x1234, 0xABCD, 0x00FF}, {0xFF00, 0x0001, 0x8081}};
  std::memset(image.data, 0xEE, 16);
  for (int r = 0; r < 2; ++r) std::memcpy(image.data + r * 8, values[r], 6);
  const std::string expected =
      std::string("P5\n3 2\n255\n") + bytes_of({0x34, 0xCD, 0xFF, 0x00, 0x01, 0x81});
  for (int binary : {1, 0}) {
    const Written w = write_to_memory(image, binary);
    EXPECT_EQ(w.result, 1) << binary;
    EXPECT_EQ(w.bytes, expected) << binary;
  }
}

TEST(WritePnm, SixteenBitRowsLongerThanOneChunk) {
  const int32_t width = 5000;
  Image image;
  ASSERT_EQ(image.init(2, width, width * 2 + 6, 16), 1);
  std::string expected = "P5\n5000 2\n255\n";
  for (int32_t r = 0; r < 2; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const uint16_t v = static_cast<uint16_t>((c * 31 + r * 7) | 0x4200);
      std::memcpy(image.data + r * image.stride + c * 2, &v, 2);
      expected.push_back(static_cast<char>(v & 0xFF));
    }
  }
  const Written w = write_to_memory(image, 1);
  EXPECT_EQ(w.result, 1);
  EXPECT_EQ(w.bytes, expected);
}

TEST(WritePnm, TwentyFourBitBinaryIsP6) {
  Image image;
  ASSERT_EQ(image.init(2, 2, 7, 24), 1);
  fill_rows(&image, {bytes_of({1, 2, 3, 4, 5, 6}), bytes_of({250, 9, 8, 7, 128, 0})});
  const Written w = write_to_memory(image, 1);
  EXPECT_EQ(w.result, 1);
  EXPECT_EQ(w.bytes,
            std::string("P6\n2 2\n255\n") + bytes_of({1, 2, 3, 4, 5, 6, 250, 9, 8, 7, 128, 0}));
}

TEST(WritePnm, TwentyFourBitTextIsP3OnTheHeaderLine) {
  Image pixel;
  ASSERT_EQ(pixel.init(1, 1, 3, 24), 1);
  fill_rows(&pixel, {bytes_of({1, 2, 3})});
  Written w = write_to_memory(pixel, 0);
  EXPECT_EQ(w.result, 1);
  EXPECT_EQ(w.bytes, "P3\n1 1\n255\n1 2 3 ");

  Image image;
  ASSERT_EQ(image.init(2, 2, 8, 24), 1);
  fill_rows(&image, {bytes_of({0, 255, 10, 200, 7, 99}), bytes_of({128, 1, 2, 3, 4, 5})});
  w = write_to_memory(image, 0);
  EXPECT_EQ(w.result, 1);
  EXPECT_EQ(w.bytes, "P3\n2 2\n255\n0 255 10 200 7 99 128 1 2 3 4 5 ");
}

// Little-endian bytes of a float, built from its bit pattern rather than memory order.
std::string little_endian(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  std::string s;
  for (int shift = 0; shift < 32; shift += 8) s.push_back(static_cast<char>((bits >> shift) & 0xFF));
  return s;
}

TEST(WritePnm, FloatImageIsACompleteP8Picture) {
  Image image;
  ASSERT_EQ(image.init(3, 2, 12, 32), 1);
  std::memset(image.data, 0xEE, 36);
  const float values[3][2] = {{1.5f, -2.0f}, {0.1f, 3.0e7f}, {-0.0f, 255.0f}};
  std::string expected = "P8\n2 3\n0\n";
  for (int r = 0; r < 3; ++r) {
    std::memcpy(image.data + r * 12, values[r], 8);
    for (float v : values[r]) expected += little_endian(v);
  }
  for (int binary : {1, 0}) {
    const Written w = write_to_memory(image, binary);
    EXPECT_EQ(w.result, 1) << binary;
    EXPECT_EQ(w.bytes, expected) << binary;
  }
}

struct HeaderOnly {
  int32_t bits;
  int32_t height;
  int32_t width;
  int binary;
  const char* header;
};

class WritePnmHeaderOnly : public ::testing::TestWithParam<HeaderOnly> {};

TEST_P(WritePnmHeaderOnly, ImagesWithoutPixelsGiveTheHeaderAlone) {
  const HeaderOnly c = GetParam();
  Image image;
  ASSERT_EQ(image.init(c.height, c.width, c.width * c.bits / 8, c.bits), 1);
  const Written w = write_to_memory(image, c.binary);
  EXPECT_EQ(w.result, 1);
  EXPECT_EQ(w.bytes, c.header);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, WritePnmHeaderOnly,
    ::testing::Values(HeaderOnly{8, 0, 5, 1, "P5\n5 0\n255\n"},
                      HeaderOnly{16, 0, 6, 1, "P5\n6 0\n255\n"},
                      HeaderOnly{24, 0, 7, 1, "P6\n7 0\n255\n"},
                      HeaderOnly{24, 0, 7, 0, "P3\n7 0\n255\n"},
                      HeaderOnly{32, 0, 8, 1, "P8\n8 0\n0\n"},
                      HeaderOnly{8, 4, 0, 1, "P5\n0 4\n255\n"}));

TEST(WritePnm, OtherDepthsWriteNothing) {
  for (int32_t bits : {0, 12, 64}) {
    Image image;
    ASSERT_EQ(image.init(2, 2, 16, bits), 1);
    std::memset(image.data, 0, 32);
    for (int binary : {1, 0}) {
      const Written w = write_to_memory(image, binary);
      EXPECT_EQ(w.result, 0) << bits;
      EXPECT_EQ(w.bytes, "") << bits;
    }
  }
}

TEST(WritePnm, ImageWithoutItsBufferWritesNothing) {
  Image image;
  ASSERT_EQ(image.init(70000, 70000, 70000, 8), 0);
  const Written w = write_to_memory(image, 1);
  EXPECT_EQ(w.result, 0);
  EXPECT_EQ(w.bytes, "");
}

TEST(WritePnm, FailedStreamWriteGivesZero) {
  for (int32_t bits : {8, 16, 24, 32}) {
    Image image;
    ASSERT_EQ(image.init(3, 4, 16, bits), 1);
    std::memset(image.data, 0x21, 48);
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(image.write_pnm(full, 1), 0) << bits;
    EXPECT_EQ(image.write_pnm(full, 0), 0) << bits;
    std::fclose(full);
  }
}

// ---------------------------------------------------------------------------------------
// Writing to a file

class WritePnmFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    ASSERT_EQ(picture_.init(2, 3, 5, 8), 1);
    fill_rows(&picture_, {bytes_of({9, 8, 7}), bytes_of({60, 50, 40})});
  }
  std::string path(const char* name) { return dir_ + "/" + name; }
  bool dir_is_empty() const { return list_directory(dir_).empty(); }

  TempDir temp_;
  const std::string& dir_ = temp_.path();
  Image picture_;
  const std::string expected_ = std::string("P5\n3 2\n255\n") + bytes_of({9, 8, 7, 60, 50, 40});
};

TEST_F(WritePnmFile, WritesTheBinaryPictureOverAnyOldContents) {
  const std::string name = path("out.pgm");
  {
    std::ofstream old(name, std::ios::binary);
    old << std::string(300, 'x');
  }
  EXPECT_EQ(picture_.write_pnm_file(name.c_str()), 1);
  EXPECT_EQ(read_file_bytes(name), expected_);
}

TEST_F(WritePnmFile, NullNameTouchesNoFile) {
  EXPECT_EQ(picture_.write_pnm_file(nullptr), 0);
  EXPECT_TRUE(dir_is_empty());
}

TEST_F(WritePnmFile, MissingDirectoryGivesZero) {
  const std::string name = dir_ + "/no-such-dir/out.pgm";
  EXPECT_EQ(picture_.write_pnm_file(name.c_str()), 0);
  EXPECT_TRUE(dir_is_empty());
}

TEST_F(WritePnmFile, IncompletePictureLeavesNoFile) {
  Image unsupported;
  ASSERT_EQ(unsupported.init(2, 2, 8, 12), 1);
  std::memset(unsupported.data, 0, 16);
  Image without_buffer;
  ASSERT_EQ(without_buffer.init(70000, 70000, 70000, 8), 0);
  const std::string first = path("unsupported.pgm");
  const std::string second = path("without-buffer.pgm");
  {
    std::ofstream old(second, std::ios::binary);
    old << "old";
  }
  EXPECT_EQ(unsupported.write_pnm_file(first.c_str()), 0);
  EXPECT_EQ(without_buffer.write_pnm_file(second.c_str()), 0);
  EXPECT_TRUE(dir_is_empty());
}

TEST_F(WritePnmFile, ShortWriteLeavesNoFile) {
  // A file size limit makes the writes into a regular file fall short.
  Image large;
  ASSERT_EQ(large.init(64, 100, 100, 8), 1);
  std::memset(large.data, 0x42, 6400);
  const std::string name = path("large.pgm");
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct rlimit small = old_limit;
  small.rlim_cur = 1000;
  void (*old_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = large.write_pnm_file(name.c_str());
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(dir_is_empty());
}

TEST_F(WritePnmFile, FailedWriteToADeviceLeavesTheDevice) {
  EXPECT_EQ(picture_.write_pnm_file("/dev/full"), 0);
  struct stat status;
  ASSERT_EQ(stat("/dev/full", &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));
}

}  // namespace
