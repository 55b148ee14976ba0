// Small fixtures shared by the unit tests: a feature at a position, and scratch files named
// after the running test so parallel tests never share one.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "feature/feature.h"

inline Feature make_feature(float x, float y, float z, float scale) {
  Feature f;
  f.x = x;
  f.y = y;
  f.z = z;
  f.scale = scale;
  return f;
}

// A path in the test temporary directory, unique to this process, test and `name`.
inline std::string scratch_path(const std::string& name) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string unique = std::string(info->test_suite_name()) + "_" + info->name();
  for (char& c : unique) {
    if (c == '/') c = '_';
  }
  return ::testing::TempDir() + "kelvora_" + std::to_string(::getpid()) + "_" + unique + "_" + name;
}

// Writes `bytes` exactly (binary, so CR and NUL bytes reach the file) to scratch_path(name).
inline std::string write_scratch_file(const std::string& name, const std::string& bytes) {
  const std::string path = scratch_path(name);
  FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr) << path;
  if (file == nullptr) return path;
  EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  EXPECT_EQ(std::fclose(file), 0);
  return path;
}
