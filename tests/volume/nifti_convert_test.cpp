#include "volume/nifti_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "support/nifti_files.h"

namespace {

// 11 columns, 7 rows, 3 slices: 231 voxels, whole blocks of the widening and a remainder.
constexpr int32_t kCols = 11, kRows = 7, kSlices = 3;
constexpr size_t kVoxels = static_cast<size_t>(kCols * kRows * kSlices);

struct WidenCase {
  const char* name;
  int16_t datatype;
  std::vector<uint8_t> pattern;  // stored values, repeated over the volume
};

void PrintTo(const WidenCase& c, std::ostream* out) { *out << c.name; }

std::vector<WidenCase> widen_cases() {
  return {
      {"Uint8", DT_UINT8, voxel_bytes<uint8_t>({0, 1, 127, 128, 254, 255, 37})},
      {"Int8", DT_INT8, voxel_bytes<int8_t>({-128, -1, 0, 1, 127, 42})},
      {"Int16", DT_INT16, voxel_bytes<int16_t>({-32768, -1, 0, 1, 32767, 1234, -999})},
      {"Uint16", DT_UINT16, voxel_bytes<uint16_t>({0, 1, 65535, 32768, 4321})},
      {"Int32", DT_INT32, voxel_bytes<int32_t>({INT32_MIN, -1, 0, 16777217, INT32_MAX, 77})},
      {"Uint32", DT_UINT32, voxel_bytes<uint32_t>({0, 4294967295u, 2147483648u, 16777217u, 5})},
      {"Float32", DT_FLOAT32, voxel_bytes<float>({-0.0f, 0.1f, -3.4e38f, 1e-40f, 7.25f})},
  };
}

// The stored bytes of the whole volume: the pattern's values in turn, voxel by voxel.
std::vector<uint8_t> stored_volume(const WidenCase& c) {
  const size_t width = static_cast<size_t>(nifti_bitpix(c.datatype) / 8);
  const size_t values = c.pattern.size() / width;
  std::vector<uint8_t> stored;
  for (size_t i = 0; i < kVoxels; ++i) {
    const size_t k = (i * 3) % values;  // neighbours differ, so a shifted copy shows
    stored.insert(stored.end(), c.pattern.begin() + static_cast<std::ptrdiff_t>(k * width),
                  c.pattern.begin() + static_cast<std::ptrdiff_t>((k + 1) * width));
  }
  return stored;
}

std::vector<uint32_t> float_bits(const float* values, size_t count) {
  std::vector<uint32_t> bits(count);
  std::memcpy(bits.data(), values, count * sizeof(float));
  return bits;
}

// A record read without voxels, as load_volume reads it.
nifti_image* header_only(const std::string& path) { return nifti_image_read(path.c_str(), 0); }

class LoadAsFloats : public testing::TestWithParam<WidenCase> {};

TEST_P(LoadAsFloats, WidensInPlaceToWhatTheCopyingConversionGives) {
  const WidenCase& c = GetParam();
  TempDir dir;
  NiftiFileSpec spec;
  spec.nx = kCols;
  spec.ny = kRows;
  spec.nz = kSlices;
  spec.datatype = c.datatype;
  spec.voxels = stored_volume(c);
  const std::string path = dir.file("volume.nii");
  ASSERT_TRUE(write_nifti_file(path, NiftiFileKind::kSingleFile, spec));

  std::vector<float> expected(kVoxels);
  ASSERT_EQ(convert_voxels_to_float(spec.voxels.data(), c.datatype, kVoxels, expected.data()), 1);

  nifti_image* image = header_only(path);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(load_voxels_as_floats(image), kLoadAsFloatsDone);
  EXPECT_EQ(image->datatype, DT_FLOAT32);
  EXPECT_EQ(image->nbyper, 4);
  EXPECT_EQ(float_bits(static_cast<const float*>(image->data), kVoxels),
            float_bits(expected.data(), kVoxels));

  Volume volume{};
  ASSERT_EQ(volume_from_float_image(image, &volume), kLoadOk);  // frees the record
  EXPECT_EQ(volume.cols, kCols);
  EXPECT_EQ(volume.rows, kRows);
  EXPECT_EQ(volume.depth, kSlices);
  EXPECT_EQ(volume.channels, 1);
  EXPECT_EQ(float_bits(volume.data, kVoxels), float_bits(expected.data(), kVoxels));
  release_volume(&volume);
}

INSTANTIATE_TEST_SUITE_P(EveryNarrowDatatype, LoadAsFloats, testing::ValuesIn(widen_cases()),
                         [](const testing::TestParamInfo<WidenCase>& info) { return info.param.name; });

TEST(LoadAsFloats, LeavesOtherRecordsToTheCopyingConversion) {
  TempDir dir;
  NiftiFileSpec wide;
  wide.nx = 3;
  wide.datatype = DT_FLOAT64;
  wide.voxels = voxel_bytes<double>({1.0, 2.0, 3.0});
  ASSERT_TRUE(write_nifti_file(dir.file("wide.nii"), NiftiFileKind::kSingleFile, wide));
  NiftiFileSpec text;
  text.nx = 2;
  text.datatype = DT_INT16;
  text.voxels = voxel_bytes<int16_t>({5, 6});
  ASSERT_TRUE(write_nifti_file(dir.file("text.nia"), NiftiFileKind::kAscii, text));

  for (const char* name : {"wide.nii", "text.nia"}) {
    nifti_image* image = header_only(dir.file(name));
    ASSERT_NE(image, nullptr) << name;
    void* const data_before = image->data;
    EXPECT_EQ(load_voxels_as_floats(image), kLoadAsFloatsNotApplicable) << name;
    EXPECT_EQ(image->data, data_before) << name;
    nifti_image_free(image);
  }

  // A record that already holds its voxels is not read again.
  nifti_image* loaded = nifti_image_read(dir.file("wide.nii").c_str(), 1);
  ASSERT_NE(loaded, nullptr);
  loaded->datatype = DT_INT16;
  loaded->nbyper = 2;
  void* const block = loaded->data;
  EXPECT_EQ(load_voxels_as_floats(loaded), kLoadAsFloatsNotApplicable);
  EXPECT_EQ(loaded->data, block);
  nifti_image_free(loaded);
}

TEST(LoadAsFloats, AVanishedDataFileIsAReadFailureWithoutData) {
  TempDir dir;
  NiftiFileSpec spec;
  spec.nx = 4;
  spec.ny = 3;
  spec.datatype = DT_UINT8;
  spec.voxels = std::vector<uint8_t>(12, 9);
  ASSERT_TRUE(write_nifti_file(dir.file("pair.hdr"), NiftiFileKind::kNiftiPair, spec));
  nifti_image* image = header_only(dir.file("pair.hdr"));
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(std::remove(dir.file("pair.img").c_str()), 0);
  EXPECT_EQ(load_voxels_as_floats(image), kLoadAsFloatsReadFailed);
  EXPECT_EQ(image->data, nullptr);
  nifti_image_free(image);
}

TEST(VolumeFromFloatImage, RefusesARecordThatIsNotFloats) {
  Volume volume{};
  EXPECT_EQ(volume_from_float_image(nullptr, &volume), kLoadNoImage);
  nifti_image* image = nifti_simple_init_nim();
  ASSERT_NE(image, nullptr);
  image->datatype = DT_INT16;
  image->nbyper = 2;
  image->data = std::calloc(1, 2);
  EXPECT_EQ(volume_from_float_image(image, &volume), kLoadNoData);  // frees the record
  EXPECT_EQ(volume.data, nullptr);
}

TEST(AllocateFloatArray, LargeArraysAreAlignedForHugePagesAndFreedByFree) {
  struct Case {
    size_t count;
    size_t alignment;  // at least
  } cases[] = {{0, alignof(float)}, {1000, alignof(float)}, {size_t{3} << 20, size_t{2} << 20}};
  for (const Case& c : cases) {
    float* floats = allocate_float_array(c.count);
    ASSERT_NE(floats, nullptr) << c.count;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(floats) % c.alignment, 0u) << c.count;
    if (c.count > 0) floats[c.count - 1] = 1.0f;  // the whole array is there
    std::free(floats);
  }
  EXPECT_EQ(allocate_float_array(std::numeric_limits<size_t>::max() / 2), nullptr);
}

}  // namespace
