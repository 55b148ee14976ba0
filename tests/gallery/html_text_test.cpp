#include "gallery/html_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "input/c_numbers.h"

namespace {

struct TextCase {
  std::string input;
  std::string expected;
};

std::string html(const std::string& text) {
  std::string out = "[";
  append_html_escaped(&out, text);
  return out;
}

std::string json(const std::string& text) {
  std::string out = "x";
  append_json_string(&out, text);
  return out;
}

TEST(HtmlEscape, MakesMarkupAndQuotesShowAsText) {
  const TextCase cases[] = {
      {"", "["},
      {"run1", "[run1"},
      {"<b>", "[&lt;b&gt;"},
      {"a&b", "[a&amp;b"},
      {"&amp;", "[&amp;amp;"},
      {"\"quoted\"", "[&quot;quoted&quot;"},
      {"it's", "[it&#39;s"},
      {"q<b>&\"'", "[q&lt;b&gt;&amp;&quot;&#39;"},
      {"</figcaption><script>", "[&lt;/figcaption&gt;&lt;script&gt;"},
      {"caf\xc3\xa9 dir/x.nii", "[caf\xc3\xa9 dir/x.nii"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(html(c.input), c.expected) << c.input;
}

TEST(JsonString, IsQuotedAndCannotEndTheScriptElement) {
  const TextCase cases[] = {
      {"", "x\"\""},
      {"run1", "x\"run1\""},
      {"say \"hi\"", "x\"say \\\"hi\\\"\""},
      {"a\\b.nii", "x\"a\\\\b.nii\""},
      {"tab\there\nnew\rret", "x\"tab\\there\\nnew\\rret\""},
      {std::string("nul\0bell\x07", 9), "x\"nul\\u0000bell\\u0007\""},
      {"</script><!--", "x\"\\u003c/script\\u003e\\u003c!--\""},
      {"a&b", "x\"a\\u0026b\""},
      {"caf\xc3\xa9", "x\"caf\xc3\xa9\""},
  };
  for (const TextCase& c : cases) EXPECT_EQ(json(c.input), c.expected) << c.input;
}

TEST(PercentEncodePath, KeepsSlashesAndUnreservedBytesOnly) {
  const TextCase cases[] = {
      {"run1.brain.nii_x010_y020_z003.png", "run1.brain.nii_x010_y020_z003.png"},
      {"out/run-1~a/p.png", "out/run-1~a/p.png"},
      {"../other/p.png", "../other/p.png"},
      {"my run.png", "my%20run.png"},
      {"a#b?c%d.png", "a%23b%3Fc%25d.png"},
      {"q<b>&\"'.png", "q%3Cb%3E%26%22%27.png"},
      {"a\\b.png", "a%5Cb.png"},
      {"caf\xc3\xa9.png", "caf%C3%A9.png"},
      {"a:b;c=d+e,f.png", "a%3Ab%3Bc%3Dd%2Be%2Cf.png"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(percent_encode_path(c.input), c.expected) << c.input;
}

struct NumberCase {
  float value;
  const char* expected;
};

TEST(FeatureNumber, IsTheShortestTextOfTheFloat) {
  const NumberCase cases[] = {
      {10.9f, "10.9"},          // not 10.8999996
      {0.1f, "0.1"},
      {3.0f, "3"},
      {-0.5f, "-0.5"},
      {1.125f, "1.125"},
      {0.0f, "0"},
      {-0.0f, "-0"},
      {16777217.0f, "16777216"},  // the float nearest to it
      {1e20f, "1e+20"},
      {std::numeric_limits<float>::infinity(), "inf"},
      {-std::numeric_limits<float>::infinity(), "-inf"},
      {std::numeric_limits<float>::quiet_NaN(), "nan"},
  };
  for (const NumberCase& c : cases) EXPECT_EQ(format_feature_number(c.value), c.expected) << c.expected;
}

TEST(FeatureNumber, ReadsBackAsTheSameFloatThroughTheProjectsParser) {
  const float values[] = {10.9f, 20.2f, 0.1f, 1.0f / 3.0f, 123456.789f, -7.25e-5f, 3.4028235e38f, 1.4e-45f};
  for (const float v : values) {
    EXPECT_EQ(parse_float(format_feature_number(v).c_str()), v) << format_feature_number(v);
  }
  EXPECT_TRUE(std::isnan(parse_float(format_feature_number(std::nanf("")).c_str())));
}

}  // namespace
