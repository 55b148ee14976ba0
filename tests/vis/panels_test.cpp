#include "vis/panels.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "volume/volume.h"

namespace {

struct Pgm {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;
};

Pgm read_pgm(const std::string& path) {
  Pgm pgm;
  const std::string bytes = read_file_bytes(path);
  int maxval = 0;
  int header = 0;
  if (std::sscanf(bytes.c_str(), "P5\n%d %d\n%d\n%n", &pgm.width, &pgm.height, &maxval, &header) != 3 ||
      maxval != 255) {
    ADD_FAILURE() << "not a P5 picture: " << path;
    return pgm;
  }
  pgm.pixels.assign(bytes.begin() + header, bytes.end());
  EXPECT_EQ(pgm.pixels.size(), static_cast<size_t>(pgm.width * pgm.height));
  return pgm;
}

class PanelsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }
  // depth 2, rows 3, cols 4; voxel (x, y, z) holds 1 + x + 4y + 12z.
  Volume small_volume() {
    voxels_.clear();
    for (int k = 0; k < 24; ++k) voxels_.push_back(static_cast<float>(1 + k));
    return Volume{2, 3, 4, 1, 1, voxels_.data(), nullptr, nullptr};
  }
  TempDir temp_;
  const std::string& dir_ = temp_.path();
  std::vector<float> voxels_;
};

TEST_F(PanelsTest, CombinedPictureMatchesHandComputedBytes) {
  const Volume volume = small_volume();
  const Feature f = make_feature(2.7f, 1.2f, 1.9f, 0.4f);  // centre (2, 1, 1), radius 0
  const std::string prefix = dir_ + "/run1.tiny.nii";
  testing::internal::CaptureStdout();
  EXPECT_EQ(f.write_feature_panels(volume, prefix.c_str(), 1, 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  const std::string name = prefix + "_x002_y001_z001.pgm";
  const std::string bytes = read_file_bytes(name);
  const std::vector<unsigned char> expected = {
      // ZY (3 wide, 2 high) | ZX (4 wide, 2 high)
      0, 51, 102, 0, 17, 34, 51,          //
      153, 255, 255, 204, 221, 255, 255,  // circles at ZY (1,1) and ZX (1,2)
      // XY turned (3 wide, 4 high): x = 3 on top; right block stays 0
      69, 162, 255, 0, 0, 0, 0,  // 69.54 and 231.81 truncate, never round
      46, 255, 231, 0, 0, 0, 0,  // the XY circle at (y 1, x 2)
      23, 115, 208, 0, 0, 0, 0,  //
      0, 92, 185, 0, 0, 0, 0};
  const std::string header = "P5\n7 6\n255\n";
  ASSERT_EQ(bytes.size(), header.size() + expected.size());
  EXPECT_EQ(bytes.substr(0, header.size()), header);
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + static_cast<long>(header.size()), bytes.end()),
            expected);
}

TEST_F(PanelsTest, WithoutOverlayOnlyStretchedVoxelsShow) {
  const Volume volume = small_volume();
  const Feature f = make_feature(2, 1, 1, 5);
  const std::string prefix = dir_ + "/plain";
  EXPECT_EQ(f.write_feature_panels(volume, prefix.c_str(), 0, 1), 1);
  const Pgm pgm = read_pgm(prefix + "_x002_y001_z001.pgm");
  ASSERT_EQ(pgm.pixels.size(), 42u);
  EXPECT_EQ(pgm.pixels[7 + 1], 204);  // ZY (1,1) keeps its stretched value
  EXPECT_EQ(pgm.pixels[3 * 7 + 1], 139);  // XY (1, 2), where the circle would be
}

TEST_F(PanelsTest, SeparateLayoutWritesThreeUnturnedSlices) {
  const Volume volume = small_volume();
  const Feature f = make_feature(2, 1, 1, 0);
  const std::string prefix = dir_ + "/sep";
  EXPECT_EQ(f.write_feature_panels(volume, prefix.c_str(), 1, 0), 1);
  const Pgm zy = read_pgm(prefix + "_x002_y001_z001_zy.pgm");
  const Pgm xy = read_pgm(prefix + "_x002_y001_z001_xy.pgm");
  const Pgm zx = read_pgm(prefix + "_x002_y001_z001_zx.pgm");
  EXPECT_EQ(zy.width, 3);
  EXPECT_EQ(zy.height, 2);
  EXPECT_EQ(zx.width, 4);
  EXPECT_EQ(zx.height, 2);
  EXPECT_EQ(xy.width, 4);
  EXPECT_EQ(xy.height, 3);
  // Not turned: row y, column x; the slice's own stretch, circle at (1, 2).
  EXPECT_EQ(xy.pixels, (std::vector<unsigned char>{0, 23, 46, 69, 92, 115, 255, 162, 185, 208, 231, 255}));
  EXPECT_EQ(list_directory(dir_).size(), 3u);
}

TEST_F(PanelsTest, NamesTruncateTowardZeroAndSaturate) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float x, y, z;
    const char* name;
  } cases[] = {
      {10.9f, 20.2f, 3.0f, "_x010_y020_z003.pgm"},
      {-0.5f, 7.0f, 1234.0f, "_x000_y007_z1234.pgm"},
      {-3.7f, -1e30f, 1e30f, "_x-003_y-2147483648_z2147483647.pgm"},
      {nan, 0.99f, -12.5f, "_x000_y000_z-012.pgm"},
  };
  for (const Case& c : cases) {
    char name[400];
    const Feature f = make_feature(c.x, c.y, c.z, 1.0f);
    const int length = format_feature_file_name(name, sizeof name, "p", feature_position(f), "");
    EXPECT_EQ(std::string(name), std::string("p") + c.name);
    EXPECT_EQ(length, static_cast<int>(std::string(name).size()));
  }
  EXPECT_EQ(feature_position(make_feature(0, 0, 0, 1.3f)).radius, 2);  // 2.6, not 2 x 1
  EXPECT_EQ(feature_position(make_feature(0, 0, 0, 0.4f)).radius, 0);
  EXPECT_EQ(feature_position(make_feature(0, 0, 0, 1e20f)).radius, INT32_MAX);
  EXPECT_EQ(feature_position(make_feature(0, 0, 0, nan)).radius, 0);
}

TEST_F(PanelsTest, OutsideFeatureCutsTheEdgeSliceAndClampsItsCircle) {
  const Volume volume = small_volume();
  const Feature f = make_feature(-3.7f, 9.0f, 0.0f, 0.0f);  // cut at column 0 and row 2
  const std::string prefix = dir_ + "/edge";
  EXPECT_EQ(f.write_feature_panels(volume, prefix.c_str(), 1, 0), 1);
  const Pgm zx = read_pgm(prefix + "_x-003_y009_z000_zx.pgm");
  // Row 2 of the volume stretched to 0, 17, .. 255; the circle lands on the left edge, so
  // the picture's own stretch starts at 17.
  EXPECT_EQ(zx.pixels, (std::vector<unsigned char>{255, 0, 18, 36, 200, 218, 236, 255}));
}

TEST_F(PanelsTest, OneSliceVolumeShowsEmptyCrossPanels) {
  std::vector<float> voxels = {5, 1, 2, 3, 4, 6};  // 1 slice, 2 rows, 3 cols
  const Volume flat = {1, 2, 3, 1, 1, voxels.data(), nullptr, nullptr};
  const Feature f = make_feature(1, 0, 0, 0);
  const std::string prefix = dir_ + "/flat";
  EXPECT_EQ(f.write_feature_panels(flat, prefix.c_str(), 1, 1), 1);
  const Pgm pgm = read_pgm(prefix + "_x001_y000_z000.pgm");
  ASSERT_EQ(pgm.width, 5);
  ASSERT_EQ(pgm.height, 4);
  // Row 0 holds the ZY and ZX panels: zero but for their circle points.
  EXPECT_EQ(std::vector<unsigned char>(pgm.pixels.begin(), pgm.pixels.begin() + 5),
            (std::vector<unsigned char>{255, 0, 0, 255, 0}));
}

TEST_F(PanelsTest, HugeScaleFinishesAndMarksTheEdges) {
  const Volume volume = small_volume();
  const Feature f = make_feature(1, 1, 1, 1e8f);
  const std::string prefix = dir_ + "/huge";
  EXPECT_EQ(f.write_feature_panels(volume, prefix.c_str(), 1, 1), 1);
  EXPECT_TRUE(file_exists(prefix + "_x001_y001_z001.pgm"));
}

TEST_F(PanelsTest, UnwritablePictureIsReportedAndLeavesNoFile) {
  const Volume volume = small_volume();
  const Feature f = make_feature(1, 1, 1, 1);
  const std::string prefix = dir_ + "/missing/run";
  testing::internal::CaptureStdout();
  EXPECT_EQ(f.write_feature_panels(volume, prefix.c_str(), 1, 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: could not write feature image: " + prefix + "_x001_y001_z001.pgm\n");

  const std::string long_prefix = dir_ + "/" + std::string(390, 'a');
  testing::internal::CaptureStdout();
  EXPECT_EQ(f.write_feature_panels(volume, long_prefix.c_str(), 1, 0), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find(long_prefix + "_x001_y001_z001_zy.pgm\n"), std::string::npos);
  EXPECT_NE(out.find(long_prefix + "_x001_y001_z001_zx.pgm\n"), std::string::npos);
  EXPECT_TRUE(list_directory(dir_).empty());
}

}  // namespace
