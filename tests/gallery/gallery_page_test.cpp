#include "gallery/gallery_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SizeCase {
  int32_t width;
  int32_t height;
  int32_t shown_width;
  int32_t shown_height;
};

TEST(ThumbnailSize, FitsTheLongerSideToTheBoxAndTruncatesTheOther) {
  static_assert(kThumbnailBox == 200, "the cases below assume a box of 200");
  const SizeCase cases[] = {
      {104, 88, 200, 169},   // 169.2: enlarged
      {88, 104, 169, 200},
      {671, 617, 200, 183},  // 183.9: shrunk, truncated, not rounded to 184
      {200, 200, 200, 200},
      {1, 1, 200, 200},
      {1000, 1, 200, 1},     // 0.2 would vanish: kept at 1
      {3, 5000, 1, 200},
      {0, 5, 0, 0},
      {5, -1, 0, 0},
  };
  for (const SizeCase& c : cases) {
    int32_t w = -7;
    int32_t h = -7;
    thumbnail_size(c.width, c.height, &w, &h);
    EXPECT_EQ(w, c.shown_width) << c.width << "x" << c.height;
    EXPECT_EQ(h, c.shown_height) << c.width << "x" << c.height;
  }
}

GalleryEntry make_entry(const std::string& image, float x, const std::string& code) {
  GalleryEntry e;
  e.image_path = image;
  e.feature.x = x;
  e.feature.y = 20.2f;
  e.feature.z = 3;
  e.feature.scale = 1.5f;
  e.output_code = code;
  e.picture_name = code + "." + image + "_x.pgm";
  e.png_name = code + "." + image + "_x.png";
  return e;
}

class GalleryPageTest : public testing::Test {
 protected:
  void SetUp() override {
    entries_ = {make_entry("brain.nii", 10.9f, "run1"), make_entry("brain.nii", 2, "q<b>&\"'"),
                make_entry("a b.nii", 3, "run1"), make_entry("c.nii", 4, "run1")};
    items_.resize(4);
    for (size_t i = 0; i < 4; ++i) items_[i].entry = &entries_[i];
    items_[0].state = kItemShown;
    items_[0].width = 104;
    items_[0].height = 88;
    items_[0].png_url = "run1.brain.nii_x.png";
    items_[1].state = kItemShown;
    items_[1].width = 671;
    items_[1].height = 617;
    items_[1].png_url = "q%3Cb%3E%26%22%27.brain.nii_x.png";
    items_[2].state = kItemMissing;
    items_[3].state = kItemBroken;
    items_[3].problem = "truncated";
    append_gallery_page("brain.nii with <feats>.txt", items_, &html_);
  }

  // The part of the page between the first `from` and the next `to`.
  std::string between(const std::string& from, const std::string& to) const {
    const size_t start = html_.find(from);
    if (start == std::string::npos) return "";
    const size_t end = html_.find(to, start + from.size());
    return html_.substr(start, end == std::string::npos ? std::string::npos : end - start);
  }

  std::vector<GalleryEntry> entries_;
  std::vector<GalleryItem> items_;
  std::string html_;
};

TEST_F(GalleryPageTest, HasOneFigurePerEntryInOrder) {
  size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    at = html_.find("id=\"entry-" + std::to_string(i) + "\"", at);
    ASSERT_NE(at, std::string::npos) << i;
  }
  EXPECT_EQ(html_.find("id=\"entry-4\""), std::string::npos);
}

TEST_F(GalleryPageTest, CaptionsShowTheFeatureAndEscapeMarkup) {
  const std::string first = between("id=\"entry-0\"", "</figure>");
  EXPECT_NE(first.find(">brain.nii</div>"), std::string::npos);
  EXPECT_NE(first.find("x <span class=\"num\">10.9</span>"), std::string::npos);
  EXPECT_NE(first.find("y <span class=\"num\">20.2</span>"), std::string::npos);
  EXPECT_NE(first.find("z <span class=\"num\">3</span>"), std::string::npos);
  EXPECT_NE(first.find("scale <span class=\"num\">1.5</span>"), std::string::npos);
  EXPECT_NE(first.find("code <span class=\"num\">run1</span>"), std::string::npos);

  const std::string odd = between("id=\"entry-1\"", "</figure>");
  EXPECT_NE(odd.find("code <span class=\"num\">q&lt;b&gt;&amp;&quot;&#39;</span>"), std::string::npos);
  EXPECT_NE(odd.find("data-picture=\"q&lt;b&gt;&amp;&quot;&#39;.brain.nii_x.pgm\""), std::string::npos);
  EXPECT_EQ(html_.find("q<b>"), std::string::npos);
  EXPECT_NE(html_.find("<title>kelvora gallery: brain.nii with &lt;feats&gt;.txt</title>"), std::string::npos);
}

TEST_F(GalleryPageTest, ThumbnailsLinkThePngAtTheirShownSize) {
  const std::string small = between("id=\"entry-0\"", "</figure>");
  EXPECT_NE(small.find("<img src=\"run1.brain.nii_x.png\" width=\"200\" height=\"169\" class=\"enlarged\""),
            std::string::npos)
      << small;
  const std::string large = between("id=\"entry-1\"", "</figure>");
  EXPECT_NE(large.find("<img src=\"q%3Cb%3E%26%22%27.brain.nii_x.png\" width=\"200\" height=\"183\" alt="),
            std::string::npos)
      << large;
}

TEST_F(GalleryPageTest, MissingAndBrokenEntriesShowTheExpectedNameAndNoPicture) {
  const std::string missing = between("id=\"entry-2\"", "</figure>");
  EXPECT_NE(missing.find("<strong>missing</strong><code>run1.a b.nii_x.pgm</code>"), std::string::npos);
  EXPECT_EQ(missing.find("<img"), std::string::npos);
  EXPECT_NE(html_.find("<figure class=\"entry missing\" id=\"entry-2\""), std::string::npos);
  EXPECT_NE(html_.find("<figure class=\"entry broken\" id=\"entry-3\""), std::string::npos);
  const std::string broken = between("id=\"entry-3\"", "</figure>");
  EXPECT_NE(broken.find("<strong>broken: truncated</strong><code>run1.c.nii_x.pgm</code>"), std::string::npos);
  EXPECT_EQ(broken.find("<img"), std::string::npos);
  EXPECT_NE(html_.find("4 features: 2 shown, <span class=\"bad\">1 missing</span>, "
                       "<span class=\"bad\">1 broken</span>."),
            std::string::npos);
}

TEST_F(GalleryPageTest, DataForTheScriptCarriesEveryEntryAndCannotCloseItsElement) {
  const std::string data = between("<script type=\"application/json\" id=\"gallery-data\">", "</script>");
  ASSERT_FALSE(data.empty());
  EXPECT_NE(data.find("{\"image\":\"brain.nii\",\"x\":\"10.9\",\"y\":\"20.2\",\"z\":\"3\",\"scale\":\"1.5\","
                      "\"code\":\"run1\",\"picture\":\"run1.brain.nii_x.pgm\",\"state\":\"shown\",\"problem\":\"\","
                      "\"png\":\"run1.brain.nii_x.png\",\"w\":104,\"h\":88}"),
            std::string::npos)
      << data;
  EXPECT_NE(data.find("\"code\":\"q\\u003cb\\u003e\\u0026\\\"'\""), std::string::npos);
  EXPECT_NE(data.find("\"state\":\"missing\",\"problem\":\"\",\"png\":\"\",\"w\":0,\"h\":0"), std::string::npos);
  EXPECT_NE(data.find("\"state\":\"broken\",\"problem\":\"truncated\""), std::string::npos);
}

TEST_F(GalleryPageTest, NeedsNothingFromTheNetwork) {
  EXPECT_EQ(html_.find("http:"), std::string::npos);
  EXPECT_EQ(html_.find("https:"), std::string::npos);
  EXPECT_EQ(html_.find("<link"), std::string::npos);
  EXPECT_EQ(html_.find("<script src"), std::string::npos);
  EXPECT_EQ(html_.find("@import"), std::string::npos);
  EXPECT_EQ(html_.find("url("), std::string::npos);
}

TEST(GalleryPage, ForNoEntriesIsStillAWholePage) {
  std::string html;
  append_gallery_page("empty", {}, &html);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("0 features: 0 shown."), std::string::npos);
  EXPECT_NE(html.find("id=\"gallery-data\">[]</script>"), std::string::npos);
  EXPECT_EQ(html.substr(html.size() - 8), "</html>\n");
}

}  // namespace
