#include "gallery/gallery_entries.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/nifti_files.h"
#include "support/process.h"

namespace {

int read_run(const std::vector<std::string>& args, GalleryRun* run) {
  std::vector<const char*> argv{"kelvora-gallery"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  return read_gallery_run(static_cast<int>(args.size() + 1), argv.data(), run);
}

struct NameCase {
  const char* image;
  Feature feature;
  const char* code;
  const char* expected;
};

TEST(PictureName, FollowsKelvorasNameRule) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const NameCase cases[] = {
      {"data/brain.nii", make_feature(10.9f, 20.2f, 3.0f, 2), "run1", "run1.brain.nii_x010_y020_z003.pgm"},
      {"brain.nii", make_feature(-0.5f, 7, 1234, 1), "r", "r.brain.nii_x000_y007_z1234.pgm"},
      {"brain.nii", make_feature(-3.7f, -12, 0, 1), "r", "r.brain.nii_x-003_y-012_z000.pgm"},
      {"brain.nii", make_feature(nan, 1e20f, -1e20f, 1), "r", "r.brain.nii_x000_y2147483647_z-2147483648.pgm"},
      {"a\\b/c.nii", make_feature(1, 2, 3, 1), "k", "k.b/c.nii_x001_y002_z003.pgm"},
      {"a/b\\c.nii", make_feature(1, 2, 3, 1), "k", "k.c.nii_x001_y002_z003.pgm"},
      {"img.hdr", make_feature(1, 2, 3, 1), "out/run1", "out/run1.img.hdr_x001_y002_z003.pgm"},
      {"", make_feature(1, 2, 3, 1), "", "._x001_y002_z003.pgm"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(picture_name_for(c.image, c.feature, c.code), c.expected);
}

TEST(PictureName, HasNoLengthLimit) {
  const std::string code(600, 'c');
  EXPECT_EQ(picture_name_for("b.nii", make_feature(1, 2, 3, 1), code.c_str()), code + ".b.nii_x001_y002_z003.pgm");
}

struct RelativeCase {
  std::string page;
  std::string file;
  std::string expected;
};

TEST(PageRelativePath, LinksFromThePagesDirectory) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::string here(cwd);
  const RelativeCase cases[] = {
      {"run1.gallery.html", "run1.a.png", "run1.a.png"},
      {"out/run1.gallery.html", "out/run1.a.png", "run1.a.png"},
      {"gallery.html", "out/run1.a.png", "out/run1.a.png"},
      {"out/a.gallery.html", "other/x.png", "../other/x.png"},
      {"./out/../out/g.html", "out/./x.png", "x.png"},
      {"/srv/p/g.html", "/srv/p/q/x.png", "q/x.png"},
      {"/srv/p/g.html", "/srv/x.png", "../x.png"},
      {"gallery.html", here + "/x.png", "x.png"},
      {here + "/sub/gallery.html", "x.png", "../x.png"},
  };
  for (const RelativeCase& c : cases) EXPECT_EQ(page_relative_path(c.page, c.file), c.expected) << c.page << " " << c.file;
}

class GalleryRunTest : public testing::Test {
 protected:
  TempDir dir_;
  GalleryRun run_;
};

TEST_F(GalleryRunTest, SingleFeatureFormReadsNumbersLikeKelvora) {
  ASSERT_EQ(read_run({"data/brain.nii", "10.9", "-3.7", "abc", "1.3", "out/run1"}, &run_), kGalleryInputOk);
  EXPECT_EQ(run_.form, kFormSingleFeature);
  EXPECT_EQ(run_.page_path, "out/run1.gallery.html");
  ASSERT_EQ(run_.entries.size(), 1u);
  const GalleryEntry& e = run_.entries[0];
  EXPECT_EQ(e.image_path, "data/brain.nii");
  EXPECT_EQ(e.output_code, "out/run1");
  EXPECT_EQ(e.feature.x, 10.9f);
  EXPECT_EQ(e.feature.y, -3.7f);
  EXPECT_EQ(e.feature.z, 0.0f);
  EXPECT_EQ(e.feature.scale, 1.3f);
  EXPECT_EQ(e.picture_name, "out/run1.brain.nii_x010_y-003_z000.pgm");
  EXPECT_EQ(e.png_name, "out/run1.brain.nii_x010_y-003_z000.png");
}

TEST_F(GalleryRunTest, FeatureListFormRepeatsImageAndCode) {
  write_text_file(dir_.file("feats.txt"), "# x y z scale\n1 2 3 4\nthree numbers 1 2\n5.5\t6 7 8 trailing text\n");
  ASSERT_EQ(read_run({"brain.nii", dir_.file("feats.txt"), "r"}, &run_), kGalleryInputOk);
  EXPECT_EQ(run_.form, kFormFeatureList);
  EXPECT_EQ(run_.page_path, "r.gallery.html");
  ASSERT_EQ(run_.entries.size(), 2u);
  EXPECT_EQ(run_.entries[0].picture_name, "r.brain.nii_x001_y002_z003.pgm");
  EXPECT_EQ(run_.entries[1].picture_name, "r.brain.nii_x005_y006_z007.pgm");
  EXPECT_EQ(run_.entries[1].feature.scale, 8.0f);
  EXPECT_EQ(run_.entries[1].image_path, "brain.nii");
  EXPECT_EQ(run_.entries[1].output_code, "r");
}

TEST_F(GalleryRunTest, CommandFileFormUsesTheProjectsReaderQuirksIncluded) {
  // The last line has no line feed; it is read the way kelvora reads it (whole).
  write_text_file(dir_.file("cmd.txt"),
                  "# comment\n"
                  "a\\b.nii\t1\t2\t3\t1\tone\n"
                  "only\tfour\ttabs\there\n"
                  "c/d.nii\t4.9\t5\t6\t1\ttwo\textra\tfields\n"
                  "e.nii\t7\t8\t9\t1\tthree");
  ASSERT_EQ(read_run({dir_.file("cmd.txt")}, &run_), kGalleryInputOk);
  EXPECT_EQ(run_.form, kFormCommandFile);
  EXPECT_EQ(run_.page_path, "gallery.html");
  ASSERT_EQ(run_.entries.size(), 3u);
  EXPECT_EQ(run_.entries[0].picture_name, "one.b.nii_x001_y002_z003.pgm");
  EXPECT_EQ(run_.entries[1].picture_name, "two.d.nii_x004_y005_z006.pgm");
  EXPECT_EQ(run_.entries[2].output_code, "three");
  EXPECT_EQ(run_.entries[2].picture_name, "three.e.nii_x007_y008_z009.pgm");
}

struct BadInputCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the test directory
  int result;
};

void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.name; }

class GalleryBadInputTest : public testing::TestWithParam<BadInputCase> {};

TEST_P(GalleryBadInputTest, IsRefusedWithItsCodeAndNoEntries) {
  TempDir dir;
  write_text_file(dir.file("empty.txt"), "");
  write_text_file(dir.file("comments.txt"), "# nothing\n# here\n");
  write_text_file(dir.file("words.txt"), "no numbers here\n1 2 3\n");
  std::vector<std::string> args;
  for (const std::string& a : GetParam().args) args.push_back(a[0] == '@' ? dir.path() + a.substr(1) : a);
  GalleryRun run;
  EXPECT_EQ(read_run(args, &run), GetParam().result);
  EXPECT_TRUE(run.entries.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, GalleryBadInputTest,
    testing::Values(BadInputCase{"NoArgument", {}, kGalleryUsage},
                    BadInputCase{"TwoArguments", {"a.nii", "f.txt"}, kGalleryUsage},
                    BadInputCase{"FourArguments", {"a", "1", "2", "3"}, kGalleryUsage},
                    BadInputCase{"FiveArguments", {"a", "1", "2", "3", "4"}, kGalleryUsage},
                    BadInputCase{"SevenArguments", {"a", "1", "2", "3", "4", "c", "x"}, kGalleryUsage},
                    BadInputCase{"Option", {"-x"}, kGalleryUnknownOption},
                    BadInputCase{"Help", {"--help"}, kGalleryUnknownOption},
                    BadInputCase{"OptionInPlaceOfImage", {"-a.nii", "1", "2", "3", "4", "c"}, kGalleryUnknownOption},
                    BadInputCase{"MissingCommandFile", {"@/absent.txt"}, kGalleryNoCommandFile},
                    BadInputCase{"EmptyCommandFile", {"@/empty.txt"}, kGalleryNoCommandFile},
                    BadInputCase{"CommandFileOfComments", {"@/comments.txt"}, kGalleryNoEntries},
                    BadInputCase{"MissingFeatureList", {"a.nii", "@/absent.txt", "c"}, kGalleryNoFeatureList},
                    BadInputCase{"FeatureListWithoutFeatures", {"a.nii", "@/words.txt", "c"}, kGalleryNoEntries}),
    [](const testing::TestParamInfo<BadInputCase>& info) { return std::string(info.param.name); });

}  // namespace
