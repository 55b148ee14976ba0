#include "gallery/grey_picture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/nifti_files.h"
#include "support/process.h"

namespace {

std::vector<uint8_t> bytes_of(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

int parse(const std::string& text, GreyPicture* picture) {
  static std::vector<uint8_t> held;  // parse_pgm points into its input
  held = bytes_of(text);
  return parse_pgm(held.data(), held.size(), picture);
}

// Five distinct pixels on two rows of three; the first is a line feed and the second a
// blank, which a reader that skips all white space after maxval would swallow.
const std::string kPixels("\x0a\x20\x00\xff\x7f\x01", 6);

struct HeaderCase {
  const char* name;
  std::string file;
  int result;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class PgmHeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(PgmHeaderTest, GivesItsResultAndAPictureOnlyWhenValid) {
  const HeaderCase& c = GetParam();
  GreyPicture picture;
  EXPECT_EQ(parse(c.file, &picture), c.result);
  if (c.result == kPgmOk) {
    ASSERT_EQ(picture.width, 3);
    ASSERT_EQ(picture.height, 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(picture.pixels), 6), kPixels);
  } else {
    EXPECT_EQ(picture.pixels, nullptr);
    EXPECT_EQ(picture.width, 0);
    EXPECT_EQ(picture.height, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PgmHeaderTest,
    testing::Values(
        HeaderCase{"AsKelvoraWritesIt", "P5\n3 2\n255\n" + kPixels, kPgmOk},
        HeaderCase{"CommentsAndMixedSpace", "P5 # made by hand\n\t3\r\n#\n 2 255 " + kPixels, kPgmOk},
        HeaderCase{"TrailingBytesIgnored", "P5\n3 2\n255\n" + kPixels + "more", kPgmOk},
        HeaderCase{"EmptyFile", "", kPgmNotP5},
        HeaderCase{"PlainPgm", "P2\n3 2\n255\n0 1 2 3 4 5\n", kPgmNotP5},
        HeaderCase{"ColourPpm", "P6\n1 2\n255\n" + kPixels, kPgmNotP5},
        HeaderCase{"PngSignature", "\x89PNG\r\n\x1a\n", kPgmNotP5},
        HeaderCase{"LowerCaseMagic", "p5\n3 2\n255\n" + kPixels, kPgmNotP5},
        HeaderCase{"NoSpaceAfterMagic", "P53 2\n255\n" + kPixels, kPgmBadHeader},
        HeaderCase{"LetterForWidth", "P5\nx 2\n255\n" + kPixels, kPgmBadHeader},
        HeaderCase{"ZeroWidth", "P5\n0 2\n255\n", kPgmBadHeader},
        HeaderCase{"ZeroHeight", "P5\n3 0\n255\n", kPgmBadHeader},
        HeaderCase{"NegativeHeight", "P5\n3 -2\n255\n" + kPixels, kPgmBadHeader},
        HeaderCase{"WidthBeyond32Bits", "P5\n4294967299 2\n255\n" + kPixels, kPgmBadHeader},
        HeaderCase{"ZeroMaxval", "P5\n3 2\n0\n" + kPixels, kPgmBadHeader},
        HeaderCase{"NoSpaceAfterMaxval", "P5\n3 2\n255x" + kPixels, kPgmBadHeader},
        HeaderCase{"SixteenBit", "P5\n3 2\n65535\n" + kPixels + kPixels, kPgmNotEightBit},
        HeaderCase{"SmallMaxval", "P5\n3 2\n15\n" + kPixels, kPgmNotEightBit},
        HeaderCase{"EndsAfterMagic", "P5", kPgmTruncated},
        HeaderCase{"EndsInsideHeader", "P5\n3 2\n25", kPgmTruncated},
        HeaderCase{"EndsAfterMaxval", "P5\n3 2\n255", kPgmTruncated},
        HeaderCase{"OnePixelShort", "P5\n3 2\n255\n" + kPixels.substr(0, 5), kPgmTruncated},
        HeaderCase{"NoPixels", "P5\n3 2\n255\n", kPgmTruncated},
        HeaderCase{"AboveThePixelLimit", "P5\n65536 4097\n255\n" + kPixels, kPgmTooLarge}),
    [](const testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST(PgmLimit, AcceptsAPictureOfExactlyTheLimit) {
  // 2^14 x 2^14 pixels is the limit itself: accepted as far as the size check, then
  // found truncated, not too large.
  GreyPicture picture;
  EXPECT_EQ(parse("P5\n16384 16384\n255\n" + kPixels, &picture), kPgmTruncated);
}

class PgmFileTest : public testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(PgmFileTest, ReadsPixelsAndReusesItsStorageForASmallerPicture) {
  write_text_file(dir_.file("big.pgm"), "P5\n4 3\n255\n" + std::string("abcdefghijkl"));
  write_text_file(dir_.file("small.pgm"), "P5\n3 2\n255\n" + kPixels);
  GreyPicture picture;
  ASSERT_EQ(read_pgm_file(dir_.file("big.pgm").c_str(), &picture), kPgmOk);
  EXPECT_EQ(picture.width, 4);
  EXPECT_EQ(picture.height, 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(picture.pixels), 12), "abcdefghijkl");
  const uint8_t* storage = picture.storage;

  ASSERT_EQ(read_pgm_file(dir_.file("small.pgm").c_str(), &picture), kPgmOk);
  EXPECT_EQ(picture.storage, storage);
  EXPECT_EQ(picture.width, 3);
  EXPECT_EQ(picture.height, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(picture.pixels), 6), kPixels);
}

TEST_F(PgmFileTest, TellsAMissingFileFromOneThatCannotBeRead) {
  GreyPicture picture;
  EXPECT_EQ(read_pgm_file(dir_.file("absent.pgm").c_str(), &picture), kPgmMissing);
  EXPECT_EQ(read_pgm_file(dir_.file("absent/inside.pgm").c_str(), &picture), kPgmMissing);
  ASSERT_EQ(mkdir(dir_.file("folder.pgm").c_str(), 0755), 0);
  EXPECT_EQ(read_pgm_file(dir_.file("folder.pgm").c_str(), &picture), kPgmUnreadable);
}

TEST_F(PgmFileTest, ReportsAnEmptyOrTruncatedFileAndKeepsNoPicture) {
  write_text_file(dir_.file("empty.pgm"), "");
  write_text_file(dir_.file("cut.pgm"), "P5\n3 2\n255\n" + kPixels.substr(0, 4));
  GreyPicture picture;
  EXPECT_EQ(read_pgm_file(dir_.file("empty.pgm").c_str(), &picture), kPgmNotP5);
  EXPECT_EQ(read_pgm_file(dir_.file("cut.pgm").c_str(), &picture), kPgmTruncated);
  EXPECT_EQ(picture.pixels, nullptr);
}

TEST(PgmResultText, NamesEveryResult) {
  const int results[] = {kPgmOk,          kPgmMissing,   kPgmUnreadable, kPgmNotP5,   kPgmBadHeader,
                         kPgmNotEightBit, kPgmTruncated, kPgmTooLarge,   kPgmNoMemory};
  std::vector<std::string> texts;
  for (const int r : results) texts.push_back(pgm_result_text(r));
  for (size_t i = 0; i < texts.size(); ++i) {
    for (size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
  }
  EXPECT_EQ(std::string(pgm_result_text(kPgmTruncated)), "truncated");
  EXPECT_EQ(std::string(pgm_result_text(kPgmNotP5)), "not a binary PGM (P5) file");
}

}  // namespace
