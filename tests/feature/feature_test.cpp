#include "feature/feature.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool all_zero(const Feature& f) {
  static const Feature zero_bytes_reference = [] {
    Feature f;
    std::memset(static_cast<void*>(&f), 0, sizeof f);
    return f;
  }();
  return std::memcmp(&f, &zero_bytes_reference, sizeof f) == 0;
}

Feature at(float x) {
  Feature f;
  f.x = x;
  return f;
}

TEST(FeatureTable, ResizeAppendsZeroRecordsAndKeepsTheFirst) {
  FeatureTable table;
  table.resize(1);
  ASSERT_EQ(table.count(), 1u);
  EXPECT_TRUE(all_zero(*table.at(0)));

  table.at(0)->x = 4.5f;
  table.resize(1);
  EXPECT_EQ(table.at(0)->x, 4.5f);

  table.append(at(7));
  table.append(at(8));
  table.resize(1);
  ASSERT_EQ(table.count(), 1u);
  EXPECT_EQ(table.at(0)->x, 4.5f);
}

TEST(FeatureTable, AppendStoresACopyInOrder) {
  FeatureTable table;
  Feature mine = at(1);
  table.append(mine);
  table.append(at(2));
  table.at(0)->x = 10;
  EXPECT_EQ(mine.x, 1.0f);
  EXPECT_EQ(table.at(0)->x, 10.0f);
  EXPECT_EQ(table.at(1)->x, 2.0f);
  EXPECT_EQ(table.at(2), nullptr);

  table.clear();
  EXPECT_EQ(table.count(), 0u);
  table.clear();
  EXPECT_EQ(table.count(), 0u);
  EXPECT_EQ(table.at(0), nullptr);
}

TEST(Feature, ResetClearsEveryField) {
  Feature f;
  EXPECT_TRUE(all_zero(f));
  f.info = 3;
  f.scale = 2;
  f.matrix[8] = 1;
  f.values[63] = 1;
  f.reset();
  EXPECT_TRUE(all_zero(f));
}

}  // namespace
