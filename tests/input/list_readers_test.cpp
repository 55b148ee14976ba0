#include "input/list_readers.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/c_numbers.h"
#include "support/fixtures.h"

namespace {

using Numbers = std::array<float, 4>;  // x, y, z, scale

// Just above the midpoint between 1 and the next float, but so close that it becomes
// that midpoint as a double: read through double it ties to 1, read directly as a float
// it rounds up. It tells the two rounding points apart.
const char* const kNearMidpoint = "1.0000000596046447753906251";
const float kAboveOne = std::nextafter(1.0f, 2.0f);

Numbers numbers_of(const Feature& f) { return {f.x, f.y, f.z, f.scale}; }

// Everything a reader must leave at zero.
void expect_carried_fields_zero(const Feature& f) {
  EXPECT_EQ(f.info, 0);
  for (float v : f.matrix) EXPECT_EQ(v, 0.0f);
  for (float v : f.triple) EXPECT_EQ(v, 0.0f);
  for (float v : f.values) EXPECT_EQ(v, 0.0f);
}

// ---------------------------------------------------------------------------------------
// Number parsing

TEST(ParseFloat, ConvertsLikeAtofRoundedToFloat) {
  struct Case {
    const char* text;
    float expected;
  };
  const Case cases[] = {
      {"2.5", 2.5f},          {"  -3e2xyz", -300.0f}, {"\t7.25\t8", 7.25f},
      {".5", 0.5f},           {"+12", 12.0f},         {"abc", 0.0f},
      {"", 0.0f},             {"#4", 0.0f},           {"1,5", 1.0f},
      {kNearMidpoint, 1.0f},  {"0.1", 0.1f},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_float(c.text), c.expected) << '"' << c.text << '"';
  EXPECT_EQ(parse_float(nullptr), 0.0f);
}

TEST(ScanFeatureLine, FillsConversionsInOrder) {
  struct Case {
    const char* line;
    int result;
    Numbers expected;  // the first `result` values are checked
  };
  const Case cases[] = {
      {"1 2 3 4", 4, {1, 2, 3, 4}},
      {"1\t2\t3\t4\n", 4, {1, 2, 3, 4}},
      {"  1.5 \t-2.5\t\t3e1  0.25 trailing", 4, {1.5f, -2.5f, 30, 0.25f}},
      {"1-2-3-4", 4, {1, -2, -3, -4}},
      {"1 2 3", 3, {1, 2, 3, 0}},
      {"1 2 x 4", 2, {1, 2, 0, 0}},
      {"# 1 2 3 4", 0, {0, 0, 0, 0}},
      {"", EOF, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Numbers out = {-7, -7, -7, -7};
    EXPECT_EQ(scan_feature_line(c.line, out.data()), c.result) << '"' << c.line << '"';
    for (int i = 0; i < c.result; ++i) EXPECT_EQ(out[i], c.expected[i]) << c.line << " #" << i;
  }
  Numbers out = {};
  const std::string near_line = std::string(kNearMidpoint) + " 0 0 0";
  ASSERT_EQ(scan_feature_line(near_line.c_str(), out.data()), 4);
  EXPECT_EQ(out[0], kAboveOne);  // read directly as a float
}

// ---------------------------------------------------------------------------------------
// Feature list

struct FeatureListCase {
  const char* name;
  std::string bytes;
  std::vector<Numbers> features;
};

class FeatureListTest : public ::testing::TestWithParam<FeatureListCase> {};

TEST_P(FeatureListTest, AcceptsPiecesBeginningWithFourNumbers) {
  const FeatureListCase& c = GetParam();
  const std::string path = write_scratch_file("list.txt", c.bytes);
  FeatureTable features;
  features.append(make_feature(9, 9, 9, 9));  // cleared before reading
  EXPECT_EQ(read_feature_list(path.c_str(), &features), static_cast<int>(c.features.size()));
  ASSERT_EQ(features.count(), c.features.size());
  for (size_t i = 0; i < features.count(); ++i) {
    EXPECT_EQ(numbers_of(*features.at(i)), c.features[i]) << "record " << i;
    expect_carried_fields_zero(*features.at(i));
  }
  std::remove(path.c_str());
}

std::string long_line_with_feature_at_split() {
  // A feature at the start, padding up to 1999 characters, and another feature right
  // where the line is split: with any other piece length the second one is lost.
  std::string line = "9 8 7 6";
  line.append(1999 - line.size(), 'x');
  return line + "1 2 3 4\n";
}

INSTANTIATE_TEST_SUITE_P(
    Files, FeatureListTest,
    ::testing::Values(
        FeatureListCase{"Blanks", "1 2 3 4\n10.5 20.25 3 2.5\n", {{1, 2, 3, 4}, {10.5f, 20.25f, 3, 2.5f}}},
        FeatureListCase{"Tabs", "1\t2\t3\t4\n", {{1, 2, 3, 4}}},
        FeatureListCase{"MixedAndLeadingWhiteSpace", "  1 \t 2\t\t3  4\n", {{1, 2, 3, 4}}},
        FeatureListCase{"TrailingTextAccepted", "5 6 7 8 extra text 9\n", {{5, 6, 7, 8}}},
        FeatureListCase{"NonFeatureLinesSkipped",
                        "1 2 3\n# 5 6 7 8\n\nx y z s\n9 8 7 6\n",
                        {{9, 8, 7, 6}}},
        FeatureListCase{"OnlySkippedLines", "1 2 3\n#\n\nabc\n", {}},
        FeatureListCase{"Empty", "", {}},
        FeatureListCase{"NoSeparators", "1-2-3-4\n", {{1, -2, -3, -4}}},
        FeatureListCase{"CrLf", "1.5 2.5 3.5 4.5\r\n5 6 7 8\r\n", {{1.5f, 2.5f, 3.5f, 4.5f}, {5, 6, 7, 8}}},
        FeatureListCase{"LastLineWithoutNewline", "1 2 3 4\n5 6 7 8", {{1, 2, 3, 4}, {5, 6, 7, 8}}},
        FeatureListCase{"NulEndsTheScan", std::string("1 2\0 3 4\n5 6 7 8\n", 17), {{5, 6, 7, 8}}},
        FeatureListCase{"LongLineScannedPieceByPiece", long_line_with_feature_at_split(),
                        {{9, 8, 7, 6}, {1, 2, 3, 4}}},
        FeatureListCase{"ReadDirectlyAsFloat", std::string(kNearMidpoint) + " 0 0 0\n",
                        {{kAboveOne, 0, 0, 0}}}),
    [](const ::testing::TestParamInfo<FeatureListCase>& info) { return std::string(info.param.name); });

TEST(FeatureList, KeepsFileOrderOverManyLines) {
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += std::to_string(i) + " 1 2 3\n";
  const std::string path = write_scratch_file("many.txt", bytes);
  FeatureTable features;
  ASSERT_EQ(read_feature_list(path.c_str(), &features), 3000);
  for (size_t i = 0; i < features.count(); i += 499) {
    EXPECT_EQ(features.at(i)->x, static_cast<float>(i));
  }
  std::remove(path.c_str());
}

TEST(FeatureList, UnopenableFileLeavesTableUntouched) {
  FeatureTable features;
  features.append(make_feature(1.5f, 2.5f, 3.5f, 4.5f));
  EXPECT_EQ(read_feature_list(scratch_path("missing.txt").c_str(), &features), -1);
  EXPECT_EQ(read_feature_list(nullptr, &features), -1);
  ASSERT_EQ(features.count(), 1u);
  EXPECT_EQ(numbers_of(*features.at(0)), (Numbers{1.5f, 2.5f, 3.5f, 4.5f}));
}

TEST(FeatureList, DirectoryYieldsNoRecords) {
  FeatureTable features;
  features.append(make_feature(1, 2, 3, 4));
  EXPECT_EQ(read_feature_list(::testing::TempDir().c_str(), &features), 0);
  EXPECT_EQ(features.count(), 0u);
}

// ---------------------------------------------------------------------------------------
// Command file

struct Entry {
  std::string path;
  Numbers numbers;
  std::string code;
};

bool operator==(const Entry& a, const Entry& b) {
  return a.path == b.path && a.numbers == b.numbers && a.code == b.code;
}

std::ostream& operator<<(std::ostream& out, const Entry& e) {
  return out << "{" << e.path << " | " << e.numbers[0] << " " << e.numbers[1] << " "
             << e.numbers[2] << " " << e.numbers[3] << " | " << e.code << "}";
}

struct CommandFile {
  TextFile text;
  std::vector<const char*> image_paths;
  FeatureTable features;
  std::vector<const char*> output_codes;
  int result = -99;

  std::vector<Entry> entries() const {
    std::vector<Entry> all;
    for (size_t i = 0; i < features.count(); ++i) {
      all.push_back({image_paths[i], numbers_of(*features.at(i)), output_codes[i]});
    }
    return all;
  }
};

// Reads `bytes` as a command file; false when the TextFile refused it.
bool read_commands(const std::string& bytes, CommandFile* commands) {
  const std::string path = write_scratch_file("commands.txt", bytes);
  const int code = commands->text.read(path.c_str());
  std::remove(path.c_str());
  if (code != kTextOk) return false;
  commands->result = read_command_file(&commands->image_paths, &commands->features,
                                       &commands->output_codes, &commands->text);
  return true;
}

struct CommandFileCase {
  const char* name;
  std::string bytes;
  std::vector<Entry> entries;
};

class CommandFileTest : public ::testing::TestWithParam<CommandFileCase> {};

TEST_P(CommandFileTest, SplitsAcceptedLines) {
  const CommandFileCase& c = GetParam();
  CommandFile commands;
  ASSERT_TRUE(read_commands(c.bytes, &commands));
  EXPECT_EQ(commands.result, static_cast<int>(c.entries.size()));
  ASSERT_EQ(commands.image_paths.size(), commands.features.count());
  ASSERT_EQ(commands.output_codes.size(), commands.features.count());
  EXPECT_EQ(commands.entries(), c.entries);
  for (size_t i = 0; i < commands.features.count(); ++i) {
    expect_carried_fields_zero(*commands.features.at(i));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CommandFileTest,
    ::testing::Values(
        CommandFileCase{"OneEntry", "brain.nii\t120\t96\t40.5\t2.5\trun1\n",
                        {{"brain.nii", {120, 96, 40.5f, 2.5f}, "run1"}}},
        CommandFileCase{"CommentOnlyInFirstColumn",
                        "#a.nii\t1\t2\t3\t4\tc\n #b.nii\t5\t6\t7\t8\td\n",
                        {{" #b.nii", {5, 6, 7, 8}, "d"}}},
        CommandFileCase{"HashInsideAFieldIsText", "a.nii\t#1\t2\t3\t4\t#c\n",
                        {{"a.nii", {0, 2, 3, 4}, "#c"}}},
        CommandFileCase{"FourTabsSkipped", "a.nii\t1\t2\t3\tc\n", {}},
        CommandFileCase{"FiveTabsCodeRunsToLineEnd", "a.nii\t1\t2\t3\t4\tcode with blanks \n",
                        {{"a.nii", {1, 2, 3, 4}, "code with blanks "}}},
        CommandFileCase{"SixTabsEndTheCode", "a.nii\t1\t2\t3\t4\tcode\trest\n",
                        {{"a.nii", {1, 2, 3, 4}, "code"}}},
        CommandFileCase{"SevenTabsRestIgnored", "a.nii\t1\t2\t3\t4\tcode\tr1\tr2\n",
                        {{"a.nii", {1, 2, 3, 4}, "code"}}},
        CommandFileCase{"FieldsNeverRejected", "a.nii\tabc\t 7.25xyz\t\t1e1\tc\n",
                        {{"a.nii", {0, 7.25f, 0, 10}, "c"}}},
        CommandFileCase{"EmptyPathAndCodeAccepted", "\t1\t2\t3\t4\t\n", {{"", {1, 2, 3, 4}, ""}}},
        CommandFileCase{"PathNotTrimmed", " my dir/a b.nii \t1\t2\t3\t4\tc\n",
                        {{" my dir/a b.nii ", {1, 2, 3, 4}, "c"}}},
        CommandFileCase{"LastLineWithoutNewlineKeepsCode", "a.nii\t1\t2\t3\t4\tcode",
                        {{"a.nii", {1, 2, 3, 4}, "code"}}},
        CommandFileCase{"CrLf", "a.nii\t1\t2\t3\t4\tcode\r\nb.nii\t5\t6\t7\t8\tz\r\n",
                        {{"a.nii", {1, 2, 3, 4}, "code"}, {"b.nii", {5, 6, 7, 8}, "z"}}},
        CommandFileCase{"TwoEntriesThenComment",
                        "b.nii\t1\t2\t3\t4\tp\na.nii\t5\t6\t7\t8\tq\n#c.nii\t9\t9\t9\t9\tr\n",
                        {{"b.nii", {1, 2, 3, 4}, "p"}, {"a.nii", {5, 6, 7, 8}, "q"}}},
        CommandFileCase{"OnlyComments", "# nothing\n#\ta\tb\tc\td\te\n", {}},
        CommandFileCase{"RoundedThroughDouble",
                        std::string("a.nii\t") + kNearMidpoint + "\t2\t3\t4\tc\n",
                        {{"a.nii", {1.0f, 2, 3, 4}, "c"}}}),
    [](const ::testing::TestParamInfo<CommandFileCase>& info) { return std::string(info.param.name); });

TEST(CommandFile, StringsPointIntoTheTextFile) {
  CommandFile commands;
  ASSERT_TRUE(read_commands("a.nii\t1\t2\t3\t4\tp\n#skip\nlonger/b.nii\t5\t6\t7\t8\tq\n", &commands));
  ASSERT_EQ(commands.result, 2);
  TextFile& text = commands.text;
  const char* const begin = text.buffer;
  const char* const end = begin + static_cast<ptrdiff_t>(text.line_count) * text.line_width;
  for (const std::vector<const char*>* strings : {&commands.image_paths, &commands.output_codes}) {
    for (const char* s : *strings) {
      EXPECT_GE(s, begin);
      EXPECT_LT(s, end);
    }
  }
  EXPECT_EQ(commands.image_paths[0], text.get_line(0));
  EXPECT_EQ(commands.image_paths[1], text.get_line(2));
  EXPECT_EQ(commands.output_codes[1], text.get_line(2) + 21);
}

TEST(CommandFile, FeaturesClearedFirst) {
  CommandFile commands;
  commands.features.append(make_feature(9, 9, 9, 9));
  ASSERT_TRUE(read_commands("a.nii\t1\t2\t3\t4\tp\n", &commands));
  EXPECT_EQ(commands.result, 1);
  ASSERT_EQ(commands.features.count(), 1u);
  EXPECT_EQ(numbers_of(*commands.features.at(0)), (Numbers{1, 2, 3, 4}));
}

TEST(CommandFile, LongLineBecomesSeveralTableLines) {
  // The first 1999 characters hold a whole entry whose code is cut at the split; the
  // rest of the line is a table line of its own with fewer than five tabs.
  std::string line = "a.nii\t1\t2\t3\t4\t";
  const size_t code_length = 1999 - line.size();
  line += std::string(code_length, 'c') + "tail\t1\t2\n";
  CommandFile commands;
  ASSERT_TRUE(read_commands(line, &commands));
  ASSERT_EQ(commands.result, 1);
  EXPECT_EQ(std::string(commands.output_codes[0]), std::string(code_length, 'c'));
}

// ---------------------------------------------------------------------------------------
// Locale independence

class CommaLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* current = setlocale(LC_ALL, nullptr);
    saved_ = current != nullptr ? current : "C";
    if (setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
      GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    }
    // The locale must really read a comma, or the test would show nothing.
    ASSERT_EQ(std::strtod("2,5", nullptr), 2.5);
  }
  void TearDown() override { setlocale(LC_ALL, saved_.c_str()); }

  std::string saved_;
};

TEST_F(CommaLocaleTest, DecimalPointStillReadsAsPoint) {
  EXPECT_EQ(parse_float("2.5"), 2.5f);
  Numbers out = {};
  ASSERT_EQ(scan_feature_line("2.5 1.5 0.5 3.5", out.data()), 4);
  EXPECT_EQ(out, (Numbers{2.5f, 1.5f, 0.5f, 3.5f}));

  const std::string path = write_scratch_file("list.txt", "2.5 1.5 0.5 3.5\n");
  FeatureTable features;
  ASSERT_EQ(read_feature_list(path.c_str(), &features), 1);
  EXPECT_EQ(numbers_of(*features.at(0)), (Numbers{2.5f, 1.5f, 0.5f, 3.5f}));
  std::remove(path.c_str());

  CommandFile commands;
  ASSERT_TRUE(read_commands("a.nii\t2.5\t1.5\t0.5\t3.5\tc\n", &commands));
  ASSERT_EQ(commands.result, 1);
  EXPECT_EQ(numbers_of(*commands.features.at(0)), (Numbers{2.5f, 1.5f, 0.5f, 3.5f}));

  // The process locale is back in force afterwards.
  EXPECT_EQ(std::strtod("2,5", nullptr), 2.5);
}

TEST_F(CommaLocaleTest, ThreadLocaleRestored) {
  const locale_t comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", nullptr);
  ASSERT_NE(comma, nullptr);
  const locale_t before = uselocale(comma);
  EXPECT_EQ(parse_float("2.5"), 2.5f);
  Numbers out = {};
  EXPECT_EQ(scan_feature_line("2.5 1 1 1", out.data()), 4);
  EXPECT_EQ(out[0], 2.5f);
  EXPECT_EQ(uselocale(nullptr), comma);
  uselocale(before);
  freelocale(comma);
}

}  // namespace
