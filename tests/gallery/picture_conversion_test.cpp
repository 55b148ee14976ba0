#include "gallery/picture_conversion.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "png_decode_util.h"
#include "support/nifti_files.h"
#include "support/process.h"

namespace {

std::string pgm(int width, int height, int seed) {
  std::string file = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int i = 0; i < width * height; ++i) file.push_back(static_cast<char>((i * 29 + seed) & 0xff));
  return file;
}

// The pixel bytes of a PGM made by pgm().
std::string pixels_of(const std::string& file, int width, int height) {
  return file.substr(file.size() - static_cast<size_t>(width * height));
}

std::string decoded_pixels(const std::string& png_path) {
  const DecodedPng decoded = decode_png(read_file_bytes(png_path));
  if (!decoded.ok || decoded.bit_depth != 8 || decoded.row_bytes != decoded.width) return "(not 8-bit grey)";
  return std::string(decoded.pixels.begin(), decoded.pixels.end());
}

class PictureConversionTest : public testing::Test {
 protected:
  TempDir dir_;
  GreyPicture picture_;
  PngBuffer png_;
};

TEST_F(PictureConversionTest, WritesAPngWithThePgmsPixels) {
  const std::string file = pgm(13, 7, 5);
  write_text_file(dir_.file("a.pgm"), file);
  const PictureConversion done =
      convert_pgm_to_png(dir_.file("a.pgm").c_str(), dir_.file("a.png").c_str(), &picture_, &png_);
  EXPECT_EQ(done.pgm_result, kPgmOk);
  EXPECT_EQ(done.png_error, 0);
  EXPECT_EQ(done.width, 13);
  EXPECT_EQ(done.height, 7);
  EXPECT_EQ(decoded_pixels(dir_.file("a.png")), pixels_of(file, 13, 7));
  EXPECT_EQ(list_directory(dir_.path()), (std::vector<std::string>{"a.pgm", "a.png"}));
}

TEST_F(PictureConversionTest, ReplacesAnOlderPng) {
  write_text_file(dir_.file("a.png"), "stale");
  const std::string file = pgm(4, 3, 1);
  write_text_file(dir_.file("a.pgm"), file);
  convert_pgm_to_png(dir_.file("a.pgm").c_str(), dir_.file("a.png").c_str(), &picture_, &png_);
  EXPECT_EQ(decoded_pixels(dir_.file("a.png")), pixels_of(file, 4, 3));
}

TEST_F(PictureConversionTest, WritesNoPngForAMissingOrBrokenPicture) {
  write_text_file(dir_.file("cut.pgm"), pgm(5, 5, 0).substr(0, 20));
  write_text_file(dir_.file("plain.pgm"), "P2\n1 1\n255\n7\n");
  struct {
    const char* name;
    int result;
  } const cases[] = {{"none.pgm", kPgmMissing}, {"cut.pgm", kPgmTruncated}, {"plain.pgm", kPgmNotP5}};
  for (const auto& c : cases) {
    const std::string png = dir_.file(std::string(c.name) + ".png");
    const PictureConversion done = convert_pgm_to_png(dir_.file(c.name).c_str(), png.c_str(), &picture_, &png_);
    EXPECT_EQ(done.pgm_result, c.result) << c.name;
    EXPECT_FALSE(file_exists(png)) << c.name;
  }
}

TEST_F(PictureConversionTest, ReportsAPngThatCannotBeWrittenAndLeavesNoTemporaryFile) {
  write_text_file(dir_.file("a.pgm"), pgm(3, 3, 2));
  const PictureConversion done = convert_pgm_to_png(dir_.file("a.pgm").c_str(),
                                                    dir_.file("no/such/dir/a.png").c_str(), &picture_, &png_);
  EXPECT_EQ(done.pgm_result, kPgmOk);
  EXPECT_EQ(done.png_error, ENOENT);
  EXPECT_EQ(list_directory(dir_.path()), (std::vector<std::string>{"a.pgm"}));
}

TEST_F(PictureConversionTest, ABatchOnSeveralThreadsGivesEachJobItsOwnResult) {
  std::vector<ConversionJob> jobs;
  std::vector<std::string> files;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "p" + std::to_string(i);
    ConversionJob job;
    job.pgm_path = dir_.file(name + ".pgm");
    job.png_path = dir_.file(name + ".png");
    files.push_back(pgm(3 + i, 2 + i % 3, i));
    if (i != 4) write_text_file(job.pgm_path, files.back());
    jobs.push_back(job);
  }
  convert_pictures(&jobs, 3);
  for (int i = 0; i < 12; ++i) {
    const PictureConversion& done = jobs[static_cast<size_t>(i)].result;
    if (i == 4) {
      EXPECT_EQ(done.pgm_result, kPgmMissing);
      continue;
    }
    EXPECT_EQ(done.pgm_result, kPgmOk) << i;
    EXPECT_EQ(done.width, 3 + i) << i;
    EXPECT_EQ(done.height, 2 + i % 3) << i;
    EXPECT_EQ(decoded_pixels(jobs[static_cast<size_t>(i)].png_path),
              pixels_of(files[static_cast<size_t>(i)], 3 + i, 2 + i % 3))
        << i;
  }
}

TEST_F(PictureConversionTest, AnEmptyBatchIsDone) {
  std::vector<ConversionJob> jobs;
  convert_pictures(&jobs, 4);
  EXPECT_TRUE(jobs.empty());
}

}  // namespace
