#include "volume/volume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/nifti_files.h"
#include "volume/nifti_convert.h"

// The out-of-memory cases ask malloc for exabytes; under AddressSanitizer that must come
// back as null, as it does from glibc, instead of stopping the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

const char kUnsupportedMessage[] = "err\treg_changeDatatype\tThe initial image data type is not supported\n";
constexpr float kInf = std::numeric_limits<float>::infinity();

// A Volume whose every field holds a recognisable value, to show that a failed load
// leaves it alone. The pointers are never dereferenced or freed.
Volume sentinel_volume() {
  static float marker[3];
  return Volume{7, 8, 9, 2, 3, &marker[0], &marker[1], &marker[2]};
}

void expect_same_volume(const Volume& actual, const Volume& expected) {
  EXPECT_EQ(actual.depth, expected.depth);
  EXPECT_EQ(actual.rows, expected.rows);
  EXPECT_EQ(actual.cols, expected.cols);
  EXPECT_EQ(actual.frames, expected.frames);
  EXPECT_EQ(actual.channels, expected.channels);
  EXPECT_EQ(actual.data, expected.data);
  EXPECT_EQ(actual.spare1, expected.spare1);
  EXPECT_EQ(actual.spare2, expected.spare2);
}

// Loads with the library's diagnostics on standard error kept out of the test log, and
// returns what the load printed on standard output.
int load_capturing_stdout(const std::string& path, Volume* volume, std::string* printed) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  const int result = load_volume(path.c_str(), volume);
  *printed = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  return result;
}

std::vector<uint32_t> float_bits(const float* values, size_t count) {
  std::vector<uint32_t> bits(count);
  std::memcpy(bits.data(), values, count * sizeof(float));
  return bits;
}

std::vector<uint32_t> float_bits(const std::vector<float>& values) {
  return float_bits(values.data(), values.size());
}

// ---------------------------------------------------------------------------------------
// Every datatype of the conversion table, with its extremes and the rounding points.

struct ConversionCase {
  const char* name;
  int datatype;
  int bytes_per_value;
  std::vector<uint8_t> stored;
  std::vector<float> expected;  // compared bit for bit
};

double nextafter_up(double value) { return std::nextafter(value, kInf); }

std::vector<ConversionCase> conversion_cases() {
  const double float_max = std::numeric_limits<float>::max();
  const double half_ulp_above_max = float_max + std::ldexp(1.0, 103);
  return {
      {"Uint8", DT_UINT8, 1, voxel_bytes<uint8_t>({0, 1, 255, 128}), {0.0f, 1.0f, 255.0f, 128.0f}},
      {"Int8", DT_INT8, 1, voxel_bytes<int8_t>({-128, -1, 127, 0}), {-128.0f, -1.0f, 127.0f, 0.0f}},
      {"Int16", DT_INT16, 2, voxel_bytes<int16_t>({-32768, 32767, -1}), {-32768.0f, 32767.0f, -1.0f}},
      {"Uint16", DT_UINT16, 2, voxel_bytes<uint16_t>({65535, 0, 32768}), {65535.0f, 0.0f, 32768.0f}},
      // 16777217 and 16777221 are ties (to even: down, down); 16777219 a tie going up,
      // which truncation would miss.
      {"Int32", DT_INT32, 4,
       voxel_bytes<int32_t>({16777217, 16777219, 16777221, -16777219, std::numeric_limits<int32_t>::min(),
                             std::numeric_limits<int32_t>::max()}),
       {16777216.0f, 16777220.0f, 16777220.0f, -16777220.0f, -2147483648.0f, 2147483648.0f}},
      {"Uint32", DT_UINT32, 4, voxel_bytes<uint32_t>({4294967295u, 2147483648u, 16777219u, 0u}),
       {4294967296.0f, 2147483648.0f, 16777220.0f, 0.0f}},
      // 0.1 rounds up to 0x3dcccccd; 1 + 2^-24 is a tie that goes to 1; just under the
      // half ulp above FLT_MAX stays finite, the tie itself goes to infinity.
      {"Float64", DT_FLOAT64, 8,
       voxel_bytes<double>({1e300, -1e300, 0.1, 1.0 + std::ldexp(1.0, -24), std::nextafter(half_ulp_above_max, 0.0),
                            half_ulp_above_max, -0.0, nextafter_up(0.0)}),
       {kInf, -kInf, 0.1f, 1.0f, std::numeric_limits<float>::max(), kInf, -0.0f, 0.0f}},
      // The library itself zeroes non-finite floats it reads, so these stay finite.
      {"Float32", DT_FLOAT32, 4,
       voxel_bytes<float>({-0.0f, std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max(),
                           -std::numeric_limits<float>::max(), 0.1f}),
       {-0.0f, std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max(),
        -std::numeric_limits<float>::max(), 0.1f}},
  };
}

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class Conversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, ConvertsEveryStoredValue) {
  const ConversionCase& c = GetParam();
  ASSERT_EQ(datatype_size(c.datatype), c.bytes_per_value);
  ASSERT_EQ(c.stored.size(), c.expected.size() * static_cast<size_t>(c.bytes_per_value));

  // The values repeated to 37: two whole blocks of a vectorised loop and a remainder.
  const size_t count = 37;
  const size_t width = static_cast<size_t>(c.bytes_per_value);
  std::vector<uint8_t> stored;
  std::vector<float> expected;
  for (size_t i = 0; i < count; ++i) {
    const size_t k = i % c.expected.size();
    stored.insert(stored.end(), c.stored.begin() + static_cast<std::ptrdiff_t>(k * width),
                  c.stored.begin() + static_cast<std::ptrdiff_t>((k + 1) * width));
    expected.push_back(c.expected[k]);
  }
  std::vector<float> out(count + 1, 42.0f);
  EXPECT_EQ(convert_voxels_to_float(stored.data(), c.datatype, count, out.data()), 1);
  EXPECT_EQ(float_bits(out.data(), count), float_bits(expected));
  EXPECT_EQ(out.back(), 42.0f) << "wrote past count";
}

TEST_P(Conversion, LoadsFromAFileUnscaled) {
  const ConversionCase& c = GetParam();
  TempDir dir;
  NiftiFileSpec spec;
  spec.nx = static_cast<int32_t>(c.expected.size());
  spec.datatype = c.datatype;
  spec.voxels = c.stored;
  spec.scl_slope = 2.0f;
  spec.scl_inter = 10.0f;
  const std::string path = dir.file("values.nii");
  ASSERT_TRUE(write_nifti_file(path, NiftiFileKind::kSingleFile, spec));

  Volume volume{};
  ASSERT_EQ(load_volume(path.c_str(), &volume), kLoadOk);
  EXPECT_EQ(float_bits(volume.data, c.expected.size()), float_bits(c.expected));
  release_volume(&volume);
}

INSTANTIATE_TEST_SUITE_P(EveryDatatype, Conversion, testing::ValuesIn(conversion_cases()),
                         [](const testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

TEST(ConvertVoxels, PassesNonFiniteValuesThrough) {
  const uint32_t payload_nan_bits = 0x7fc01234u;
  float payload_nan;
  std::memcpy(&payload_nan, &payload_nan_bits, sizeof(payload_nan));
  const std::vector<float> floats = {-kInf, payload_nan, kInf};
  std::vector<float> out(3);
  ASSERT_EQ(convert_voxels_to_float(floats.data(), DT_FLOAT32, 3, out.data()), 1);
  EXPECT_EQ(float_bits(out), float_bits(floats));

  const std::vector<double> doubles = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::quiet_NaN()};
  ASSERT_EQ(convert_voxels_to_float(doubles.data(), DT_FLOAT64, 2, out.data()), 1);
  EXPECT_EQ(out[0], kInf);
  EXPECT_TRUE(std::isnan(out[1]));
}

// ---------------------------------------------------------------------------------------
// Datatypes outside the table.

struct UnsupportedCase {
  const char* name;
  int datatype;
  int bytes_per_value;
};

void PrintTo(const UnsupportedCase& c, std::ostream* os) { *os << c.name; }

class Unsupported : public testing::TestWithParam<UnsupportedCase> {};

TEST_P(Unsupported, ConvertsNothing) {
  const UnsupportedCase& c = GetParam();
  EXPECT_EQ(datatype_size(c.datatype), 0);
  const std::vector<uint8_t> stored(static_cast<size_t>(c.bytes_per_value) * 2, 0x11);
  std::vector<float> out(2, 42.0f);
  EXPECT_EQ(convert_voxels_to_float(stored.data(), c.datatype, 2, out.data()), 0);
  EXPECT_EQ(out, std::vector<float>(2, 42.0f));
}

TEST_P(Unsupported, LoadPrintsTheMessageAndLeavesTheVolume) {
  const UnsupportedCase& c = GetParam();
  TempDir dir;
  NiftiFileSpec spec;
  spec.nx = 3;
  spec.ny = 2;
  spec.datatype = c.datatype;
  spec.voxels.assign(static_cast<size_t>(6 * c.bytes_per_value), 0x5a);
  const std::string path = dir.file("odd.nii");
  ASSERT_TRUE(write_nifti_file(path, NiftiFileKind::kSingleFile, spec));

  Volume volume = sentinel_volume();
  std::string printed;
  EXPECT_EQ(load_capturing_stdout(path, &volume, &printed), kLoadUnsupportedType);
  EXPECT_EQ(printed, kUnsupportedMessage);
  expect_same_volume(volume, sentinel_volume());
}

INSTANTIATE_TEST_SUITE_P(OutsideTheTable, Unsupported,
                         testing::Values(UnsupportedCase{"Rgb24", DT_RGB24, 3},
                                         UnsupportedCase{"Int64", DT_INT64, 8},
                                         UnsupportedCase{"Uint64", DT_UINT64, 8},
                                         UnsupportedCase{"Complex64", DT_COMPLEX64, 8},
                                         UnsupportedCase{"Complex128", DT_COMPLEX128, 16},
                                         UnsupportedCase{"Rgba32", DT_RGBA32, 4}),
                         [](const testing::TestParamInfo<UnsupportedCase>& info) { return info.param.name; });

TEST(DatatypeSize, IsZeroForCodesThatAreNoDatatype) {
  for (int code : {0, 1, 3, 17, 1000, -2}) EXPECT_EQ(datatype_size(code), 0) << code;
}

// ---------------------------------------------------------------------------------------
// Layout and extents.

// 10 columns, 20 rows, 3 slices; voxel i stores i.
NiftiFileSpec counting_spec(int32_t nx, int32_t ny, int32_t nz, int32_t nt) {
  NiftiFileSpec spec;
  spec.nx = nx;
  spec.ny = ny;
  spec.nz = nz;
  spec.nt = nt;
  spec.datatype = DT_INT16;
  std::vector<int16_t> values(static_cast<size_t>(nx * ny * nz * nt));
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>(i);
  spec.voxels = voxel_bytes(values);
  return spec;
}

TEST(LoadVolume, KeepsTheStoredOrderColumnsFastest) {
  TempDir dir;
  const std::string path = dir.file("layout.nii");
  ASSERT_TRUE(write_nifti_file(path, NiftiFileKind::kSingleFile, counting_spec(10, 20, 3, 1)));

  Volume volume = sentinel_volume();
  ASSERT_EQ(load_volume(path.c_str(), &volume), kLoadOk);
  EXPECT_EQ(volume.cols, 10);
  EXPECT_EQ(volume.rows, 20);
  EXPECT_EQ(volume.depth, 3);
  EXPECT_EQ(volume.frames, 1);
  EXPECT_EQ(volume.channels, 1);
  EXPECT_EQ(volume.spare1, nullptr);
  EXPECT_EQ(volume.spare2, nullptr);
  EXPECT_EQ(volume.data[1], 1.0f);     // column 1, row 0
  EXPECT_EQ(volume.data[10], 10.0f);   // column 0, row 1
  EXPECT_EQ(volume.data[200], 200.0f); // slice 1 begins
  EXPECT_EQ(volume.data[599], 599.0f); // last voxel
  release_volume(&volume);
}

TEST(LoadVolume, KeepsTheFramesOfAFourDimensionalImage) {
  TempDir dir;
  const std::string path = dir.file("series.nii");
  ASSERT_TRUE(write_nifti_file(path, NiftiFileKind::kSingleFile, counting_spec(4, 3, 2, 5)));

  Volume volume{};
  ASSERT_EQ(load_volume(path.c_str(), &volume), kLoadOk);
  EXPECT_EQ(volume.cols, 4);
  EXPECT_EQ(volume.rows, 3);
  EXPECT_EQ(volume.depth, 2);
  EXPECT_EQ(volume.frames, 5);
  EXPECT_EQ(volume.data[24], 24.0f);   // frame 1 begins
  EXPECT_EQ(volume.data[119], 119.0f); // last voxel of the last frame
  release_volume(&volume);
}

TEST(LoadVolume, ReloadsIntoAReleasedVolume) {
  TempDir dir;
  const std::string first = dir.file("first.nii");
  const std::string second = dir.file("second.nii");
  ASSERT_TRUE(write_nifti_file(first, NiftiFileKind::kSingleFile, counting_spec(5, 4, 3, 1)));
  ASSERT_TRUE(write_nifti_file(second, NiftiFileKind::kSingleFile, counting_spec(2, 7, 6, 1)));

  Volume volume{};
  ASSERT_EQ(load_volume(first.c_str(), &volume), kLoadOk);
  release_volume(&volume);
  ASSERT_EQ(load_volume(second.c_str(), &volume), kLoadOk);
  EXPECT_EQ(volume.cols, 2);
  EXPECT_EQ(volume.rows, 7);
  EXPECT_EQ(volume.depth, 6);
  EXPECT_EQ(volume.data[83], 83.0f);
  release_volume(&volume);
}

// ---------------------------------------------------------------------------------------
// File kinds and the names the library resolves.

struct FileKindCase {
  const char* name;
  NiftiFileKind kind;
  const char* written_as;
  const char* loaded_as;
};

void PrintTo(const FileKindCase& c, std::ostream* os) { *os << c.name; }

class FileKinds : public testing::TestWithParam<FileKindCase> {};

TEST_P(FileKinds, LoadsByEveryNameTheLibraryResolves) {
  const FileKindCase& c = GetParam();
  TempDir dir;
  ASSERT_TRUE(write_nifti_file(dir.file(c.written_as), c.kind, counting_spec(5, 4, 3, 1)));

  Volume volume{};
  ASSERT_EQ(load_volume(dir.file(c.loaded_as).c_str(), &volume), kLoadOk);
  EXPECT_EQ(volume.cols, 5);
  EXPECT_EQ(volume.rows, 4);
  EXPECT_EQ(volume.depth, 3);
  for (int i = 0; i < 60; ++i) ASSERT_EQ(volume.data[i], static_cast<float>(i)) << i;
  release_volume(&volume);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, FileKinds,
    testing::Values(FileKindCase{"SingleFile", NiftiFileKind::kSingleFile, "a.nii", "a.nii"},
                    FileKindCase{"SingleFileByBase", NiftiFileKind::kSingleFile, "a.nii", "a"},
                    FileKindCase{"Gzipped", NiftiFileKind::kSingleFile, "a.nii.gz", "a.nii.gz"},
                    FileKindCase{"NiftiPairByHdr", NiftiFileKind::kNiftiPair, "a.hdr", "a.hdr"},
                    FileKindCase{"NiftiPairByImg", NiftiFileKind::kNiftiPair, "a.hdr", "a.img"},
                    FileKindCase{"NiftiPairByBase", NiftiFileKind::kNiftiPair, "a.hdr", "a"},
                    FileKindCase{"AnalyzeByHdr", NiftiFileKind::kAnalyzePair, "a.hdr", "a.hdr"},
                    FileKindCase{"AnalyzeByImg", NiftiFileKind::kAnalyzePair, "a.hdr", "a.img"},
                    FileKindCase{"AnalyzeByBase", NiftiFileKind::kAnalyzePair, "a.hdr", "a"},
                    FileKindCase{"Text", NiftiFileKind::kAscii, "a.nia", "a.nia"}),
    [](const testing::TestParamInfo<FileKindCase>& info) { return info.param.name; });

TEST(LoadVolume, MissingPathLeavesTheVolumeAndPrintsNothing) {
  TempDir dir;
  Volume released{4, 5, 6, 1, 1, nullptr, nullptr, nullptr};
  for (Volume before : {Volume{}, released, sentinel_volume()}) {
    Volume volume = before;
    std::string printed;
    EXPECT_EQ(load_capturing_stdout(dir.file("absent.nii"), &volume, &printed), kLoadNoImage);
    EXPECT_EQ(printed, "");
    expect_same_volume(volume, before);
  }
}

// ---------------------------------------------------------------------------------------
// Crafted single-file images the library is handed without its own writer.

TEST(RawNiftiFile, AWellFormedOneLoads) {
  TempDir dir;
  const std::vector<uint16_t> values = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                        21, 22, 23, 60000};
  const std::string path = dir.file("raw.nii");
  ASSERT_TRUE(write_binary_file(path, raw_nifti_bytes(raw_nifti_header(4, 3, 2, DT_UINT16), voxel_bytes(values))));

  Volume volume{};
  ASSERT_EQ(load_volume(path.c_str(), &volume), kLoadOk);
  EXPECT_EQ(volume.cols, 4);
  EXPECT_EQ(volume.rows, 3);
  EXPECT_EQ(volume.depth, 2);
  EXPECT_EQ(volume.data[5], 6.0f);
  EXPECT_EQ(volume.data[23], 60000.0f);
  release_volume(&volume);
}

// What the library does with a header decides between two outcomes: refused (by the
// library, or by the loader for data the file does not hold or a spatial extent below 1,
// which the library would quietly read as 1), or repaired by the library into a
// consistent image, which must then load within the bytes the file holds.
enum class Outcome { kRefused, kRefusedOrConsistent };

struct BrokenHeaderCase {
  const char* name;
  void (*damage)(nifti_1_header* header);
  size_t stored_bytes;  // of the 4x3x2 INT16 image's 48
  Outcome outcome;
};

void PrintTo(const BrokenHeaderCase& c, std::ostream* os) { *os << c.name; }

class BrokenHeaders : public testing::TestWithParam<BrokenHeaderCase> {};

TEST_P(BrokenHeaders, AreRefusedOrLoadOnlyWhatTheFileHolds) {
  const BrokenHeaderCase& c = GetParam();
  nifti_1_header header = raw_nifti_header(4, 3, 2, DT_INT16);
  c.damage(&header);
  std::vector<uint8_t> stored(c.stored_bytes);
  for (size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<uint8_t>(i * 7 + 1);
  TempDir dir;
  const std::string path = dir.file("broken.nii");
  ASSERT_TRUE(write_binary_file(path, raw_nifti_bytes(header, stored)));

  Volume volume = sentinel_volume();
  std::string printed;
  const int result = load_capturing_stdout(path, &volume, &printed);
  if (c.outcome == Outcome::kRefused || result < 0) {
    EXPECT_LT(result, 0);
    expect_same_volume(volume, sentinel_volume());
    return;
  }
  ASSERT_EQ(result, kLoadOk);
  EXPECT_GE(volume.cols, 1);
  EXPECT_GE(volume.rows, 1);
  EXPECT_GE(volume.depth, 1);
  EXPECT_LE(int64_t{volume.cols} * volume.rows * volume.depth, 24);
  release_volume(&volume);
}

INSTANTIATE_TEST_SUITE_P(
    Crafted, BrokenHeaders,
    testing::Values(
        BrokenHeaderCase{"DimsLargerThanData", [](nifti_1_header* h) { h->dim[3] = 40; }, 48, Outcome::kRefused},
        BrokenHeaderCase{"DataCutShort", [](nifti_1_header*) {}, 47, Outcome::kRefused},
        BrokenHeaderCase{"DataOffsetPastTheEnd", [](nifti_1_header* h) { h->vox_offset = 4096.0f; }, 48,
                         Outcome::kRefused},
        BrokenHeaderCase{"ZeroColumns", [](nifti_1_header* h) { h->dim[1] = 0; }, 48, Outcome::kRefused},
        BrokenHeaderCase{"TooManyDimensions", [](nifti_1_header* h) { h->dim[0] = 9; }, 48, Outcome::kRefused},
        BrokenHeaderCase{"HugeExtents", [](nifti_1_header* h) { h->dim[1] = h->dim[2] = h->dim[3] = 32767; }, 48,
                         Outcome::kRefused},
        BrokenHeaderCase{"UnknownDatatype", [](nifti_1_header* h) { h->datatype = 3; }, 48, Outcome::kRefused},
        BrokenHeaderCase{"ZeroSlices", [](nifti_1_header* h) { h->dim[3] = 0; }, 48, Outcome::kRefused},
        BrokenHeaderCase{"ZeroRows", [](nifti_1_header* h) { h->dim[2] = 0; }, 48, Outcome::kRefused},
        BrokenHeaderCase{"NegativeRows", [](nifti_1_header* h) { h->dim[2] = -3; }, 48, Outcome::kRefused},
        BrokenHeaderCase{"NoDimensions", [](nifti_1_header* h) { h->dim[0] = 0; }, 48, Outcome::kRefused},
        // Beyond the three spatial extents a zero is read as 1, as old ANALYZE writers meant it.
        BrokenHeaderCase{"ZeroFrames", [](nifti_1_header* h) { h->dim[0] = 4; h->dim[4] = 0; }, 48,
                         Outcome::kRefusedOrConsistent},
        BrokenHeaderCase{"WrongHeaderSize", [](nifti_1_header* h) { h->sizeof_hdr = 100; }, 48,
                         Outcome::kRefusedOrConsistent}),
    [](const testing::TestParamInfo<BrokenHeaderCase>& info) { return info.param.name; });

TEST(RawNiftiFile, ATruncatedHeaderIsRefused) {
  TempDir dir;
  std::vector<uint8_t> bytes = raw_nifti_bytes(raw_nifti_header(4, 3, 2, DT_INT16), std::vector<uint8_t>(48, 1));
  bytes.resize(200);
  const std::string path = dir.file("short.nii");
  ASSERT_TRUE(write_binary_file(path, bytes));

  Volume volume = sentinel_volume();
  std::string printed;
  EXPECT_EQ(load_capturing_stdout(path, &volume, &printed), kLoadNoImage);
  expect_same_volume(volume, sentinel_volume());
}

// A file of a few hundred bytes whose header claims gigabytes is refused from its size
// alone: the library never gets to allocate (or zero-fill) the block. When it did, the
// first claim cost 4 GB of address space and a "nifti_read_buffer" warning, and the
// second failed inside the library ("failed to alloc", kLoadNoImage).
TEST(RawNiftiFile, HugeClaimsAreRefusedBeforeTheLibraryAllocates) {
  struct Claim {
    int16_t extent;
    int16_t datatype;
  };
  for (const Claim claim : {Claim{1000, DT_FLOAT32}, Claim{32767, DT_FLOAT64}}) {
    TempDir dir;
    const std::string path = dir.file("huge.nii");
    const nifti_1_header header = raw_nifti_header(claim.extent, claim.extent, claim.extent, claim.datatype);
    ASSERT_TRUE(write_binary_file(path, raw_nifti_bytes(header, std::vector<uint8_t>(48, 1))));

    Volume volume = sentinel_volume();
    testing::internal::CaptureStderr();
    const int result = load_volume(path.c_str(), &volume);
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, kLoadNoData) << claim.extent;
    EXPECT_EQ(diagnostics.find("nifti_read_buffer"), std::string::npos) << diagnostics;
    EXPECT_EQ(diagnostics.find("alloc"), std::string::npos) << diagnostics;
    expect_same_volume(volume, sentinel_volume());
  }
}

// ---------------------------------------------------------------------------------------
// Records handed over directly: the refusals the library's reader does not let through.
// Every record is freed by the hand-over; the sanitizer build checks that nothing leaks.

nifti_image* make_record(int nx, int ny, int nz, int datatype, int with_data) {
  const int dims[8] = {3, nx, ny, nz, 1, 1, 1, 1};
  return nifti_make_new_nim(dims, datatype, with_data);
}

struct RecordCase {
  const char* name;
  int with_data;
  void (*damage)(nifti_image* image);
  int expected;
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class Records : public testing::TestWithParam<RecordCase> {};

TEST_P(Records, RefuseWithTheirCodeAndLeaveTheVolume) {
  const RecordCase& c = GetParam();
  nifti_image* image = make_record(4, 3, 2, DT_INT16, c.with_data);
  ASSERT_NE(image, nullptr);
  c.damage(image);

  Volume volume = sentinel_volume();
  testing::internal::CaptureStdout();
  EXPECT_EQ(volume_from_nifti_image(image, &volume), c.expected);
  testing::internal::GetCapturedStdout();
  expect_same_volume(volume, sentinel_volume());
}

constexpr size_t kMaxFloats = std::numeric_limits<size_t>::max() / sizeof(float);

INSTANTIATE_TEST_SUITE_P(
    HandOver, Records,
    testing::Values(
        RecordCase{"NoData", 0, [](nifti_image*) {}, kLoadNoData},
        RecordCase{"ZeroColumns", 1, [](nifti_image* i) { i->nx = 0; }, kLoadNoData},
        RecordCase{"NegativeRows", 1, [](nifti_image* i) { i->ny = -1; }, kLoadNoData},
        RecordCase{"ZeroSlices", 1, [](nifti_image* i) { i->nz = 0; }, kLoadNoData},
        RecordCase{"MoreVoxelsThanCounted", 1, [](nifti_image* i) { i->nvox = 23; }, kLoadNoData},
        // nx*ny*nz = 2^90 wraps a 64-bit product to 0.
        RecordCase{"ExtentsWhoseProductWraps", 1, [](nifti_image* i) { i->nx = i->ny = i->nz = 1 << 30; },
                   kLoadNoData},
        RecordCase{"FloatsBeyondSizeT", 1, [](nifti_image* i) { i->nvox = kMaxFloats + 1; }, kLoadNoData},
        RecordCase{"UnsupportedType", 1, [](nifti_image* i) { i->datatype = DT_INT64; }, kLoadUnsupportedType},
        RecordCase{"FloatArrayRefused", 1, [](nifti_image* i) { i->nvox = size_t{1} << 60; }, kLoadOutOfMemory}),
    [](const testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST(HandOver, NoRecordIsNoImage) {
  Volume volume = sentinel_volume();
  EXPECT_EQ(volume_from_nifti_image(nullptr, &volume), kLoadNoImage);
  expect_same_volume(volume, sentinel_volume());
}

TEST(ChangeDatatype, MakesANewFloatArrayEvenForFloats) {
  nifti_image* image = make_record(3, 2, 1, DT_FLOAT32, 1);
  ASSERT_NE(image, nullptr);
  float* stored = static_cast<float*>(image->data);
  for (int i = 0; i < 6; ++i) stored[i] = static_cast<float>(i) * 1.5f;

  EXPECT_EQ(reg_changeDatatype(image), kChangeDatatypeDone);
  EXPECT_NE(image->data, static_cast<void*>(stored));
  EXPECT_EQ(image->datatype, DT_FLOAT32);
  EXPECT_EQ(image->nbyper, 4);
  EXPECT_EQ(static_cast<float*>(image->data)[5], 7.5f);
  nifti_image_free(image);
}

TEST(ChangeDatatype, SetsTheFloatTypeAndSize) {
  nifti_image* image = make_record(3, 2, 1, DT_FLOAT64, 1);
  ASSERT_NE(image, nullptr);
  static_cast<double*>(image->data)[4] = -2.25;

  EXPECT_EQ(reg_changeDatatype(image), kChangeDatatypeDone);
  EXPECT_EQ(image->datatype, DT_FLOAT32);
  EXPECT_EQ(image->nbyper, 4);
  EXPECT_EQ(static_cast<float*>(image->data)[4], -2.25f);
  nifti_image_free(image);
}

struct RefusedChangeCase {
  const char* name;
  int datatype;
  size_t nvox;  // 0 keeps the record's own
  int expected;
  const char* printed;
};

void PrintTo(const RefusedChangeCase& c, std::ostream* os) { *os << c.name; }

class RefusedChange : public testing::TestWithParam<RefusedChangeCase> {};

TEST_P(RefusedChange, LeavesTheRecordAsItWas) {
  const RefusedChangeCase& c = GetParam();
  nifti_image* image = make_record(3, 2, 1, c.datatype, 1);
  ASSERT_NE(image, nullptr);
  if (c.nvox != 0) image->nvox = c.nvox;
  void* const block = image->data;
  const int nbyper = image->nbyper;

  testing::internal::CaptureStdout();
  EXPECT_EQ(reg_changeDatatype(image), c.expected);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
  EXPECT_EQ(image->data, block);
  EXPECT_EQ(image->datatype, c.datatype);
  EXPECT_EQ(image->nbyper, nbyper);
  nifti_image_free(image);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedChange,
    testing::Values(RefusedChangeCase{"Rgb24", DT_RGB24, 0, kChangeDatatypeUnsupported, kUnsupportedMessage},
                    RefusedChangeCase{"Complex64", DT_COMPLEX64, 0, kChangeDatatypeUnsupported, kUnsupportedMessage},
                    RefusedChangeCase{"NoFloatArray", DT_INT16, size_t{1} << 60, kChangeDatatypeOutOfMemory, ""},
                    RefusedChangeCase{"CountBeyondSizeT", DT_UINT8, kMaxFloats + 1, kChangeDatatypeOutOfMemory,
                                      ""}),
    [](const testing::TestParamInfo<RefusedChangeCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------
// Release.

TEST(ReleaseVolume, OnAnEmptyVolumeChangesNothing) {
  Volume volume{};
  EXPECT_EQ(release_volume(&volume), 1);
  expect_same_volume(volume, Volume{});
}

TEST(ReleaseVolume, FreesEveryArrayOnceAndKeepsTheExtents) {
  Volume volume{3, 4, 5, 2, 1, nullptr, nullptr, nullptr};
  volume.data = static_cast<float*>(std::malloc(3 * 4 * 5 * 2 * sizeof(float)));
  volume.spare1 = static_cast<float*>(std::malloc(sizeof(float)));
  volume.spare2 = static_cast<float*>(std::malloc(sizeof(float)));
  ASSERT_NE(volume.data, nullptr);

  EXPECT_EQ(release_volume(&volume), 1);
  const Volume released{3, 4, 5, 2, 1, nullptr, nullptr, nullptr};
  expect_same_volume(volume, released);
  EXPECT_EQ(release_volume(&volume), 1);  // a second release must not free again
  expect_same_volume(volume, released);
}

TEST(ReleaseVolume, AfterALoadKeepsTheImageExtents) {
  TempDir dir;
  const std::string path = dir.file("kept.nii");
  ASSERT_TRUE(write_nifti_file(path, NiftiFileKind::kSingleFile, counting_spec(6, 5, 4, 1)));
  Volume volume{};
  ASSERT_EQ(load_volume(path.c_str(), &volume), kLoadOk);
  release_volume(&volume);
  expect_same_volume(volume, Volume{4, 5, 6, 1, 1, nullptr, nullptr, nullptr});
}

// ---------------------------------------------------------------------------------------
// The sample phantom and its feature list.

struct ListedFeature {
  float x, y, z, scale;
};

std::vector<ListedFeature> read_sample_features() {
  std::ifstream in(std::string(KELVORA_SOURCE_DIR) + "/sample/features.txt");
  std::vector<ListedFeature> features;
  std::string line;
  while (std::getline(in, line)) {
    ListedFeature f{};
    if (std::sscanf(line.c_str(), "%f %f %f %f", &f.x, &f.y, &f.z, &f.scale) == 4) features.push_back(f);
  }
  return features;
}

std::string file_content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST(Phantom, IsDeterministicAndItsLesionsAreWhereTheSampleListSays) {
  TempDir dir;
  const std::string first = dir.file("head.nii");
  const std::string second = dir.file("again.nii");
  const std::string command = std::string("'") + KELVORA_PHANTOM + "' '";
  ASSERT_EQ(std::system((command + first + "'").c_str()), 0);
  ASSERT_EQ(std::system((command + second + "'").c_str()), 0);
  EXPECT_EQ(file_content(first), file_content(second));

  Volume volume{};
  ASSERT_EQ(load_volume(first.c_str(), &volume), kLoadOk);
  EXPECT_EQ(volume.cols, 48);
  EXPECT_EQ(volume.rows, 56);
  EXPECT_EQ(volume.depth, 40);
  EXPECT_EQ(volume.frames, 1);

  const std::vector<ListedFeature> features = read_sample_features();
  ASSERT_EQ(features.size(), 7u);
  const auto at = [&](float x, float y, float z) {
    const int64_t index =
        (static_cast<int64_t>(z) * volume.rows + static_cast<int64_t>(y)) * volume.cols + static_cast<int64_t>(x);
    return volume.data[index];
  };
  for (const ListedFeature& f : features) {
    EXPECT_TRUE(f.x >= 0 && f.x < 48 && f.y >= 0 && f.y < 56 && f.z >= 0 && f.z < 40);
  }
  // The first five are lesions: bright at the centre, brain or fluid two radii away.
  for (size_t i = 0; i < 5; ++i) {
    const ListedFeature& f = features[i];
    const float centre = at(f.x, f.y, f.z);
    EXPECT_GE(centre, 900.0f) << "feature " << i;
    const float radius = f.scale / 0.75f;
    EXPECT_LT(at(f.x + 2.0f * radius, f.y, f.z), 600.0f) << "feature " << i;
  }
  EXPECT_EQ(at(features[5].x, features[5].y, features[5].z), 0.0f);  // the corner is background
  release_volume(&volume);
}

}  // namespace
