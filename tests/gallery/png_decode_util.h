// Test helper: decodes a PNG with libpng exactly as stored (no transformations), so the
// tests see the file's own colour type, bit depth and samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedPng {
  bool ok = false;             // false when libpng refused the data
  uint32_t width = 0;
  uint32_t height = 0;
  int bit_depth = 0;
  int color_type = -1;
  int interlace = -1;
  bool has_gamma = false;      // a gAMA, sRGB or iCCP chunk that could change grey values
  std::vector<uint8_t> pixels; // rows of rowbytes bytes, top first
  size_t row_bytes = 0;
};

DecodedPng decode_png(const uint8_t* bytes, size_t size);
DecodedPng decode_png(const std::string& bytes);
