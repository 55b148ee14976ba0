// kelvora, then kelvora-gallery, as a user runs them: on the phantom volume, in a fresh
// directory, checking the exit status, every line printed, the page and the PNGs.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "gallery/grey_picture.h"
#include "png_decode_util.h"
#include "support/nifti_files.h"
#include "support/process.h"

namespace {

ProcessResult run_gallery_binary(const std::vector<std::string>& args, const std::string& cwd) {
  return run_process(KELVORA_GALLERY, args, cwd, 120);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class GalleryEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    ASSERT_EQ(run_process(KELVORA_PHANTOM, {"phantom.nii"}, dir_.path()).exit_status, 0);
    write_text_file(dir_.file("features.txt"), read_file_bytes(KELVORA_SOURCE_DIR "/sample/features.txt"));
  }

  void kelvora(const std::vector<std::string>& args) {
    const ProcessResult r = run_kelvora_binary(args, dir_.path());
    ASSERT_EQ(r.exit_status, 0) << r.out;
  }

  // The PNG beside `pgm` decodes to exactly the PGM's pixels.
  void expect_png_matches(const std::string& pgm) {
    GreyPicture picture;
    ASSERT_EQ(read_pgm_file(dir_.file(pgm).c_str(), &picture), kPgmOk) << pgm;
    const std::string png = pgm.substr(0, pgm.size() - 4) + ".png";
    const DecodedPng decoded = decode_png(read_file_bytes(dir_.file(png)));
    ASSERT_TRUE(decoded.ok) << png;
    EXPECT_EQ(decoded.width, static_cast<uint32_t>(picture.width)) << png;
    EXPECT_EQ(decoded.height, static_cast<uint32_t>(picture.height)) << png;
    EXPECT_EQ(decoded.bit_depth, 8) << png;
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    ASSERT_EQ(decoded.pixels.size(), count) << png;
    EXPECT_TRUE(std::equal(decoded.pixels.begin(), decoded.pixels.end(), picture.pixels)) << png;
  }

  std::vector<std::string> files_ending(const std::string& dir, const std::string& suffix) {
    std::vector<std::string> found;
    for (const std::string& name : list_directory(dir)) {
      if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        found.push_back(name);
      }
    }
    return found;
  }

  TempDir dir_;
};

TEST_F(GalleryEndToEnd, FeatureListFormConvertsEveryPictureLosslesslyAndLinksIt) {
  kelvora({"phantom.nii", "features.txt", "run1"});
  const ProcessResult r = run_gallery_binary({"phantom.nii", "features.txt", "run1"}, dir_.path());
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "Wrote run1.gallery.html: 7 features, 7 shown, 0 missing, 0 broken.\n");
  EXPECT_EQ(r.err, "");

  const std::string page = read_file_bytes(dir_.file("run1.gallery.html"));
  const std::vector<std::string> pictures = files_ending(dir_.path(), ".pgm");
  ASSERT_EQ(pictures.size(), 7u);
  for (const std::string& pgm : pictures) {
    expect_png_matches(pgm);
    EXPECT_TRUE(contains(page, "<img src=\"" + pgm.substr(0, pgm.size() - 4) + ".png\"")) << pgm;
  }
  EXPECT_TRUE(contains(page, "<title>kelvora gallery: phantom.nii with features.txt</title>"));
  // Only the inputs, kelvora's pictures, their PNGs and the page: no temporary file left.
  EXPECT_EQ(list_directory(dir_.path()).size(), 2u + 7u + 7u + 1u);
}

TEST_F(GalleryEndToEnd, SingleFeatureFormNamesThePageAfterTheCode) {
  kelvora({"phantom.nii", "10.9", "20.2", "3.0", "2", "one"});
  const ProcessResult r = run_gallery_binary({"phantom.nii", "10.9", "20.2", "3.0", "2", "one"}, dir_.path());
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "Wrote one.gallery.html: 1 feature, 1 shown, 0 missing, 0 broken.\n");
  expect_png_matches("one.phantom.nii_x010_y020_z003.pgm");
}

TEST_F(GalleryEndToEnd, APageInASubdirectoryLinksThePngsBesideIt) {
  ASSERT_EQ(run_process("/bin/mkdir", {"out"}, dir_.path()).exit_status, 0);
  kelvora({"phantom.nii", "features.txt", "out/run1"});
  const ProcessResult r = run_gallery_binary({"phantom.nii", "features.txt", "out/run1"}, dir_.path());
  EXPECT_EQ(r.exit_status, 0) << r.out;
  const std::string page = read_file_bytes(dir_.file("out/run1.gallery.html"));
  EXPECT_TRUE(contains(page, "<img src=\"run1.phantom.nii_x014_y018_z016.png\""));
  EXPECT_FALSE(contains(page, "src=\"out/"));
  expect_png_matches("out/run1.phantom.nii_x014_y018_z016.pgm");
}

TEST_F(GalleryEndToEnd, MissingAndBrokenPicturesAreReportedShownAndNeverInvented) {
  const std::string odd = "q<b>&\"'";
  const std::string made = "phantom.nii\t14\t18\t16\t1.5\tgood\n"
                           "phantom.nii\t33\t36\t24\t2.25\t" + odd + "\n"
                           "phantom.nii\t30\t15\t12\t1.125\tcut\n"
                           "phantom.nii\t2\t3\t1\t1.5\tplain\n";
  write_text_file(dir_.file("made.txt"), made);
  write_text_file(dir_.file("all.txt"), "# every line of made.txt, and one kelvora never saw\n" + made +
                                            "phantom.nii\t1\t2\t3\t1\tnever\n");
  kelvora({"made.txt"});
  const std::string cut = "cut.phantom.nii_x030_y015_z012.pgm";
  const std::string plain = "plain.phantom.nii_x002_y003_z001.pgm";
  write_text_file(dir_.file(cut), read_file_bytes(dir_.file(cut)).substr(0, 500));
  write_text_file(dir_.file(plain), "P2\n1 1\n255\n0\n");

  const ProcessResult r = run_gallery_binary({"all.txt"}, dir_.path());
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out,
            "Broken picture: cut.phantom.nii_x030_y015_z012.pgm: truncated\n"
            "Broken picture: plain.phantom.nii_x002_y003_z001.pgm: not a binary PGM (P5) file\n"
            "Missing picture: never.phantom.nii_x001_y002_z003.pgm\n"
            "Wrote gallery.html: 5 features, 2 shown, 1 missing, 2 broken.\n"
            "Error: 3 of 5 pictures missing or broken; run kelvora with the same arguments first.\n");

  expect_png_matches("good.phantom.nii_x014_y018_z016.pgm");
  expect_png_matches(odd + ".phantom.nii_x033_y036_z024.pgm");
  for (const std::string none : {"cut.phantom.nii_x030_y015_z012.png", "plain.phantom.nii_x002_y003_z001.png",
                                  "never.phantom.nii_x001_y002_z003.png"}) {
    EXPECT_FALSE(file_exists(dir_.file(none))) << none;
  }

  const std::string page = read_file_bytes(dir_.file("gallery.html"));
  EXPECT_TRUE(contains(page, "<img src=\"q%3Cb%3E%26%22%27.phantom.nii_x033_y036_z024.png\""));
  EXPECT_TRUE(contains(page, "code <span class=\"num\">q&lt;b&gt;&amp;&quot;&#39;</span>"));
  EXPECT_FALSE(contains(page, "q<b>"));
  EXPECT_TRUE(contains(page, "<strong>broken: truncated</strong><code>" + cut + "</code>"));
  EXPECT_TRUE(contains(page, "<strong>missing</strong><code>never.phantom.nii_x001_y002_z003.pgm</code>"));
  EXPECT_EQ(files_ending(dir_.path(), ".png").size(), 2u);
}

TEST_F(GalleryEndToEnd, FeaturesSharingAPictureShareItsPng) {
  write_text_file(dir_.file("twins.txt"), "14 18 16 1.5\n14.5 18.9 16.2 3\n");
  kelvora({"phantom.nii", "twins.txt", "t"});
  const ProcessResult r = run_gallery_binary({"phantom.nii", "twins.txt", "t"}, dir_.path());
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "Wrote t.gallery.html: 2 features, 2 shown, 0 missing, 0 broken.\n");
  EXPECT_EQ(files_ending(dir_.path(), ".png"), std::vector<std::string>{"t.phantom.nii_x014_y018_z016.png"});
  const std::string page = read_file_bytes(dir_.file("t.gallery.html"));
  EXPECT_TRUE(contains(page, "id=\"entry-1\""));
  EXPECT_TRUE(contains(page, "scale <span class=\"num\">3</span>"));
}

TEST_F(GalleryEndToEnd, ASecondRunWritesTheSamePage) {
  kelvora({"phantom.nii", "features.txt", "run1"});
  ASSERT_EQ(run_gallery_binary({"phantom.nii", "features.txt", "run1"}, dir_.path()).exit_status, 0);
  const std::string first = read_file_bytes(dir_.file("run1.gallery.html"));
  const std::string png = read_file_bytes(dir_.file("run1.phantom.nii_x014_y018_z016.png"));
  ASSERT_EQ(run_gallery_binary({"phantom.nii", "features.txt", "run1"}, dir_.path()).exit_status, 0);
  EXPECT_EQ(read_file_bytes(dir_.file("run1.gallery.html")), first);
  EXPECT_EQ(read_file_bytes(dir_.file("run1.phantom.nii_x014_y018_z016.png")), png);
}

TEST_F(GalleryEndToEnd, APngThatCannotBeWrittenIsReportedAndFailsTheRun) {
  kelvora({"phantom.nii", "features.txt", "run1"});
  // A directory where one PNG should go: renaming the finished file onto it fails.
  ASSERT_EQ(run_process("/bin/mkdir", {"run1.phantom.nii_x014_y018_z016.png"}, dir_.path()).exit_status, 0);
  const ProcessResult r = run_gallery_binary({"phantom.nii", "features.txt", "run1"}, dir_.path());
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.out,
            "Error: cannot write run1.phantom.nii_x014_y018_z016.png: Is a directory\n"
            "Wrote run1.gallery.html: 7 features, 6 shown, 0 missing, 1 broken.\n");
  const std::string page = read_file_bytes(dir_.file("run1.gallery.html"));
  EXPECT_TRUE(contains(page, "<strong>not converted: PNG not written: Is a directory</strong>"));
  EXPECT_FALSE(contains(page, "src=\"run1.phantom.nii_x014_y018_z016.png\""));
  EXPECT_EQ(files_ending(dir_.path(), ".png").size(), 7u);  // six PNGs and the directory
}

struct UnwritableCase {
  const char* name;
  const char* code;
  const char* reason;
};

void PrintTo(const UnwritableCase& c, std::ostream* os) { *os << c.name; }

class GalleryUnwritable : public GalleryEndToEnd, public testing::WithParamInterface<UnwritableCase> {};

TEST_P(GalleryUnwritable, StopsBeforeConvertingWithAClearError) {
  write_text_file(dir_.file("afile"), "not a directory");
  kelvora({"phantom.nii", "features.txt", "run1"});
  const std::string code = GetParam().code;
  const ProcessResult r = run_gallery_binary({"phantom.nii", "features.txt", code}, dir_.path());
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.out, "Error: cannot write gallery page " + code + ".gallery.html: " + GetParam().reason + "\n");
  EXPECT_TRUE(files_ending(dir_.path(), ".png").empty());
}

INSTANTIATE_TEST_SUITE_P(Directories, GalleryUnwritable,
                         testing::Values(UnwritableCase{"Absent", "nodir/run1", "No such file or directory"},
                                         UnwritableCase{"AFile", "afile/run1", "Not a directory"}),
                         [](const testing::TestParamInfo<UnwritableCase>& info) { return std::string(info.param.name); });

struct InputErrorCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string first_line;
};

void PrintTo(const InputErrorCase& c, std::ostream* os) { *os << c.name; }

class GalleryInputError : public GalleryEndToEnd, public testing::WithParamInterface<InputErrorCase> {};

TEST_P(GalleryInputError, GivesAClearMessageAndWritesNoPage) {
  write_text_file(dir_.file("words.txt"), "no features\nhere 1 2\n");
  write_text_file(dir_.file("empty.txt"), "");
  const ProcessResult r = run_gallery_binary(GetParam().args, dir_.path());
  EXPECT_EQ(r.exit_status, GetParam().status);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), GetParam().first_line);
  EXPECT_TRUE(files_ending(dir_.path(), ".html").empty());
}

const std::string kUsageFirstLine = "kelvora-gallery: a page to look through and rate the pictures kelvora wrote\n";

INSTANTIATE_TEST_SUITE_P(
    Arguments, GalleryInputError,
    testing::Values(
        InputErrorCase{"NoArgument", {}, 2, kUsageFirstLine},
        InputErrorCase{"TwoArguments", {"phantom.nii", "features.txt"}, 2, kUsageFirstLine},
        InputErrorCase{"Help", {"--help"}, 0, kUsageFirstLine},
        InputErrorCase{"UnknownOption", {"-x"}, 2, "Error: unknown command line argument: -x\n"},
        InputErrorCase{"MissingCommandFile", {"absent.txt"}, 2,
                       "Error: could not open command file (missing, unreadable or empty): absent.txt\n"},
        InputErrorCase{"EmptyCommandFile", {"empty.txt"}, 2,
                       "Error: could not open command file (missing, unreadable or empty): empty.txt\n"},
        InputErrorCase{"MissingFeatureList", {"phantom.nii", "absent.txt", "r"}, 2,
                       "Error: could not open feature list: absent.txt\n"},
        InputErrorCase{"FeatureListWithoutFeatures", {"phantom.nii", "words.txt", "r"}, 2,
                       "Error: no features found in words.txt\n"}),
    [](const testing::TestParamInfo<InputErrorCase>& info) { return std::string(info.param.name); });

}  // namespace
