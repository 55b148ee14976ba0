#include "input/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "support/fixtures.h"

// The refused huge allocation below must come back as a null pointer under
// AddressSanitizer too, instead of ending the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

std::string read_bytes(const std::string& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
}

std::vector<std::string> lines_of(TextFile& text) {
  std::vector<std::string> lines;
  for (int32_t i = 0; i < text.get_count(); ++i) {
    const char* line = text.get_line(i);
    if (line != nullptr) lines.emplace_back(line);
  }
  return lines;
}

// A line whose characters differ from their neighbours, so a lost or doubled character
// at a split shows.
std::string pattern(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
  return text;
}

struct LineTableCase {
  const char* name;
  std::string bytes;
  int32_t width;
  std::vector<std::string> lines;
};

class LineTableTest : public ::testing::TestWithParam<LineTableCase> {};

TEST_P(LineTableTest, ReadsSlotsAndWidth) {
  const LineTableCase& c = GetParam();
  const std::string path = write_scratch_file("in.txt", c.bytes);
  TextFile text;
  ASSERT_EQ(text.read(path.c_str()), kTextOk);
  EXPECT_EQ(text.is_valid(), 1);
  EXPECT_EQ(text.get_count(), static_cast<int32_t>(c.lines.size()));
  EXPECT_EQ(text.line_width, c.width);
  EXPECT_EQ(lines_of(text), c.lines);
  std::remove(path.c_str());
}

const std::string k1998 = pattern(1998);
const std::string k1999 = pattern(1999);
const std::string k3000 = pattern(3000);

INSTANTIATE_TEST_SUITE_P(
    Files, LineTableTest,
    ::testing::Values(
        LineTableCase{"OneLine", "abc\n", 5, {"abc"}},
        LineTableCase{"NoFinalNewlineKeepsLastChar", "abc", 4, {"abc"}},
        LineTableCase{"EmptyLineBetween", "a\n\nbcd\n", 5, {"a", "", "bcd"}},
        LineTableCase{"CrLfReadsAsLf", "a\r\n\r\nbcd\r\n", 5, {"a", "", "bcd"}},
        LineTableCase{"WidthFromLongestLine", "xy\nabcdef\nq", 8, {"xy", "abcdef", "q"}},
        LineTableCase{"LoneCrKept", "a\rb\n", 5, {"a\rb"}},
        LineTableCase{"CrAtEndOfFileKept", "abc\r", 5, {"abc\r"}},
        LineTableCase{"OnlyTheCrBeforeLfDropped", "\r\r\n", 3, {"\r"}},
        LineTableCase{"Exactly1999CharsSplitsOffEmptyLine", k1999 + "\n", 2000, {k1999, ""}},
        LineTableCase{"CrOfCrLfNotCountedInPiece", k1998 + "\r\n", 2000, {k1998}},
        LineTableCase{"CrLfAfter1999Chars", k1999 + "\r\nz\r\n", 2000, {k1999, "", "z"}},
        LineTableCase{"LoneCrFillsPiece", k1998 + "\rx\n", 2000, {k1998 + "\r", "x"}},
        LineTableCase{"LongLineSplitWithoutLoss", k3000 + "\nend\n", 2000,
                      {k3000.substr(0, 1999), k3000.substr(1999), "end"}}),
    [](const ::testing::TestParamInfo<LineTableCase>& info) { return std::string(info.param.name); });

TEST(TextFileRead, EmptyFileHasNoLines) {
  const std::string path = write_scratch_file("empty.txt", "");
  TextFile text;
  EXPECT_EQ(text.read(path.c_str()), kTextNoLines);
  EXPECT_EQ(text.is_valid(), 0);
  for (int32_t i : {-1, 0, 1}) EXPECT_EQ(text.get_line(i), nullptr) << i;
  std::remove(path.c_str());
}

TEST(TextFileRead, NulBytesSizeSlotsByTrueLength) {
  // Sized by strlen, the slots would be 3 wide and the second pass would overrun it.
  const std::string bytes("ab\0cd\ne\n", 8);
  const std::string path = write_scratch_file("nul.txt", bytes);
  TextFile text;
  ASSERT_EQ(text.read(path.c_str()), kTextOk);
  ASSERT_EQ(text.get_count(), 2);
  ASSERT_EQ(text.line_width, 7);
  EXPECT_EQ(std::string(text.get_line(0), 7), std::string("ab\0cd\0\0", 7));
  EXPECT_STREQ(text.get_line(1), "e");
  std::remove(path.c_str());
}

TEST(TextFileRead, FileOfNulBytesStaysInsideItsSlots) {
  const std::string path = write_scratch_file("zeros.bin", std::string(5000, '\0'));
  TextFile text;
  ASSERT_EQ(text.read(path.c_str()), kTextOk);
  EXPECT_EQ(text.get_count(), 3);  // 1999 + 1999 + 1002 bytes
  EXPECT_EQ(text.line_width, 2000);
  EXPECT_EQ(lines_of(text), (std::vector<std::string>{"", "", ""}));
  std::remove(path.c_str());
}

TEST(TextFileRead, BinaryJunkGivesTerminatedSlots) {
  std::string bytes;
  uint32_t state = 12345u;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(state >> 24));
  }
  const std::string path = write_scratch_file("junk.bin", bytes);
  TextFile text;
  ASSERT_EQ(text.read(path.c_str()), kTextOk);
  ASSERT_GT(text.get_count(), 0);
  ASSERT_LE(text.line_width, 2000);
  for (int32_t i = 0; i < text.get_count(); ++i) {
    EXPECT_NE(std::memchr(text.get_line(i), '\0', static_cast<size_t>(text.line_width)), nullptr)
        << "slot " << i;
  }
  std::remove(path.c_str());
}

TEST(TextFileRead, CannotOpen) {
  TextFile text;
  EXPECT_EQ(text.read(scratch_path("missing.txt").c_str()), kTextCannotOpen);
  EXPECT_EQ(text.read(nullptr), kTextCannotOpen);
  // A directory opens, but cannot be read.
  EXPECT_EQ(text.read(::testing::TempDir().c_str()), kTextCannotOpen);
  EXPECT_EQ(text.is_valid(), 0);
}

TEST(TextFileRead, SecondReadReplacesContentAndFailedOpenKeepsIt) {
  const std::string first = write_scratch_file("first.txt", "one\ntwo\nthree\n");
  const std::string second = write_scratch_file("second.txt", "solo\n");
  const std::string empty = write_scratch_file("empty.txt", "");
  TextFile text;
  ASSERT_EQ(text.read(first.c_str()), kTextOk);
  ASSERT_EQ(text.read(second.c_str()), kTextOk);
  EXPECT_EQ(lines_of(text), (std::vector<std::string>{"solo"}));
  EXPECT_EQ(text.line_width, 6);

  EXPECT_EQ(text.read(scratch_path("missing.txt").c_str()), kTextCannotOpen);
  EXPECT_EQ(lines_of(text), (std::vector<std::string>{"solo"}));

  EXPECT_EQ(text.read(empty.c_str()), kTextNoLines);
  EXPECT_EQ(text.is_valid(), 0);
  EXPECT_EQ(text.get_line(0), nullptr);
  for (const std::string& p : {first, second, empty}) std::remove(p.c_str());
}

TEST(TextFileRead, StreamThatCannotBeReadTwiceKeepsNothing) {
  const std::string fifo = scratch_path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string first = write_scratch_file("first.txt", "old\n");
  TextFile text;
  ASSERT_EQ(text.read(first.c_str()), kTextOk);

  // Opening either end of a FIFO waits for the other, so the writer runs alongside.
  std::thread writer([&fifo] {
    FILE* file = std::fopen(fifo.c_str(), "w");
    if (file == nullptr) return;
    std::fputs("abc\n", file);
    std::fclose(file);
  });
  EXPECT_EQ(text.read(fifo.c_str()), kTextCannotOpen);
  writer.join();
  EXPECT_EQ(text.is_valid(), 0);
  EXPECT_EQ(text.get_line(0), nullptr);
  std::remove(fifo.c_str());
  std::remove(first.c_str());
}

TEST(TextFileLines, IndexOutsideTableGivesNull) {
  TextFile text;
  EXPECT_EQ(text.get_line(0), nullptr);
  ASSERT_EQ(text.allocate(3, 4), kTextOk);
  EXPECT_EQ(text.get_line(-1), nullptr);
  EXPECT_EQ(text.get_line(3), nullptr);
  EXPECT_EQ(text.get_line(std::numeric_limits<int32_t>::min()), nullptr);
  EXPECT_EQ(text.get_line(0), text.buffer);
  EXPECT_EQ(text.get_line(2), text.buffer + 8);
  EXPECT_EQ(text.type_code(), 1);
}

TEST(TextFileWrite, RoundTripThroughFile) {
  TextFile text;
  ASSERT_EQ(text.allocate(3, 9), kTextOk);
  std::strcpy(text.get_line(0), "ab");
  std::strcpy(text.get_line(2), "wxyz\t#1");
  const std::string path = scratch_path("out.txt");
  ASSERT_EQ(text.write(path.c_str()), kTextOk);
  EXPECT_EQ(read_bytes(path), "ab\n\nwxyz\t#1\n");

  TextFile back;
  ASSERT_EQ(back.read(path.c_str()), kTextOk);
  EXPECT_EQ(lines_of(back), (std::vector<std::string>{"ab", "", "wxyz\t#1"}));
  EXPECT_EQ(back.line_width, 9);  // longest line plus two
  std::remove(path.c_str());
}

TEST(TextFileWrite, SlotFilledToItsLastByteIsNotOverread) {
  TextFile text;
  ASSERT_EQ(text.allocate(2, 3), kTextOk);
  std::memcpy(text.buffer, "abcde", 5);
  const std::string path = scratch_path("full.txt");
  ASSERT_EQ(text.write(path.c_str()), kTextOk);
  EXPECT_EQ(read_bytes(path), "abc\nde\n");
  std::remove(path.c_str());
}

TEST(TextFileWrite, Failures) {
  TextFile never_read;
  EXPECT_EQ(never_read.write(scratch_path("x.txt").c_str()), kTextNoLines);
  EXPECT_EQ(never_read.write(nullptr), kTextNoLines);  // validity is checked first

  TextFile text;
  ASSERT_EQ(text.allocate(1, 4), kTextOk);
  EXPECT_EQ(text.write(nullptr), kTextNullPath);
  EXPECT_EQ(text.write((scratch_path("no_such_dir") + "/x.txt").c_str()), kTextCannotOpen);
  if (::access("/dev/full", W_OK) == 0) {
    // Opens fine; the data fail to reach it when the stream is flushed on close.
    EXPECT_EQ(text.write("/dev/full"), kTextCannotOpen);
  }
}

TEST(TextFileMemory, AllocateAndReleaseCodes) {
  TextFile text;
  EXPECT_EQ(text.release(), 0);  // nothing to free

  ASSERT_EQ(text.allocate(2, 3), kTextOk);
  EXPECT_EQ(text.get_count(), 2);
  EXPECT_EQ(text.line_width, 3);
  EXPECT_EQ(std::string(text.buffer, 6), std::string(6, '\0'));
  EXPECT_EQ(text.is_valid(), 1);

  EXPECT_EQ(text.release(), 0);
  EXPECT_EQ(text.buffer, nullptr);
  EXPECT_EQ(text.get_count(), 2);  // counts survive, validity does not
  EXPECT_EQ(text.line_width, 3);
  EXPECT_EQ(text.is_valid(), 0);

  struct Refused {
    int32_t count;
    int32_t width;
  };
  for (const Refused& r : {Refused{0, 3}, Refused{2, 0}, Refused{-1, 3}, Refused{2, -5}}) {
    ASSERT_EQ(text.allocate(4, 5), kTextOk);
    EXPECT_EQ(text.allocate(r.count, r.width), -2) << r.count << "x" << r.width;
    EXPECT_EQ(text.buffer, nullptr);  // the previous table is released
    EXPECT_EQ(text.is_valid(), 0);
  }

  // count x width overflows 32 bits; formed in 64 it is simply too much memory.
  EXPECT_EQ(text.allocate(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()),
            kTextNoMemory);
  EXPECT_EQ(text.buffer, nullptr);
}

TEST(TextFileMemory, BufferWithBrokenCountIsNotFreedByRelease) {
  TextFile text;
  ASSERT_EQ(text.allocate(2, 3), kTextOk);
  char* const kept = text.buffer;
  text.line_count = 0;
  EXPECT_EQ(text.is_valid(), 0);
  EXPECT_EQ(text.release(), -1);
  EXPECT_EQ(text.buffer, kept);
  EXPECT_EQ(text.allocate(4, 4), -1);  // the old buffer is still there
  EXPECT_EQ(text.buffer, kept);
  text.line_count = 2;
  EXPECT_EQ(text.release(), 0);
}

struct BaseNameCase {
  const char* path;
  int offset;  // where the base name starts in `path`; -1 for a null result
};

class BaseNameTest : public ::testing::TestWithParam<BaseNameCase> {};

TEST_P(BaseNameTest, PointsIntoThePath) {
  const BaseNameCase& c = GetParam();
  const char* result = TextFile::base_name(c.path);
  if (c.offset < 0) {
    EXPECT_EQ(result, nullptr);
  } else {
    EXPECT_EQ(result, c.path + c.offset) << c.path;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, BaseNameTest,
                         ::testing::Values(BaseNameCase{"a\\b/c.nii", 2},  // b/c.nii
                                           BaseNameCase{"a/b\\c.nii", 4},  // c.nii
                                           BaseNameCase{"c/d.nii", 2},
                                           BaseNameCase{"x/y/z.hdr", 4},
                                           BaseNameCase{"e.nii", 0},
                                           BaseNameCase{"dir/", 4},
                                           BaseNameCase{"", 0},
                                           BaseNameCase{nullptr, -1}));

}  // namespace
