// Fuzzes the panel writer on small volumes with arbitrary feature positions and scales
// (raw float bits, so NaN, infinities, huge and negative values all come up).
// Input layout: bytes 0..2 give depth, rows and cols (1..13); byte 3 holds the flags
// (bit 0 overlay, bit 1 combined, bit 2 two frames, bit 3 two channels); bytes 4..19 are
// x, y, z and scale as little-endian floats; the rest are voxel floats, repeated as needed.
// Every picture must be written, be a P5 of the documented size, and the combined
// picture's bottom-right block must stay black.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "feature/feature.h"
#include "fuzz_files.h"
#include "vis/panels.h"
#include "volume/volume.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::string read_all(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
}

// The pixels of a P5 picture of exactly `width` x `height`, or abort.
std::string pgm_pixels(const std::string& path, int32_t width, int32_t height) {
  const std::string bytes = read_all(path);
  const std::string header =
      "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  require(bytes.compare(0, header.size(), header) == 0);
  require(bytes.size() == header.size() + static_cast<size_t>(width) * static_cast<size_t>(height));
  return bytes.substr(header.size());
}

std::string picture_name(const char* prefix, const FeaturePosition& p, const char* suffix) {
  char name[512];
  const int length = format_feature_file_name(name, sizeof name, prefix, p, suffix);
  require(length > 0 && static_cast<size_t>(length) < sizeof name);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 20) return 0;
  clear_fuzz_directory();
  Volume volume{};
  volume.depth = 1 + data[0] % 13;
  volume.rows = 1 + data[1] % 13;
  volume.cols = 1 + data[2] % 13;
  const uint8_t flags = data[3];
  const int overlay = flags & 1;
  const int combined = (flags >> 1) & 1;
  volume.frames = (flags & 4) != 0 ? 2 : 1;
  volume.channels = (flags & 8) != 0 ? 2 : 1;

  Feature feature;
  std::memcpy(&feature.x, data + 4, 4);
  std::memcpy(&feature.y, data + 8, 4);
  std::memcpy(&feature.z, data + 12, 4);
  std::memcpy(&feature.scale, data + 16, 4);

  const size_t values = static_cast<size_t>(volume.depth) * static_cast<size_t>(volume.rows) *
                        static_cast<size_t>(volume.cols) * static_cast<size_t>(volume.frames) *
                        static_cast<size_t>(volume.channels);
  std::vector<float> voxels(values);
  const uint8_t* raw = data + 20;
  const size_t raw_size = size - 20;
  for (size_t i = 0; i < values; ++i) {
    if (raw_size < 4) {
      voxels[i] = static_cast<float>(i);
      continue;
    }
    const size_t at = (i * 4) % (raw_size - raw_size % 4);
    std::memcpy(&voxels[i], raw + at, 4);
  }
  volume.data = voxels.data();

  const std::string prefix = fuzz_file("f");
  require(feature.write_feature_panels(volume, prefix.c_str(), overlay, combined) == 1);

  const FeaturePosition p = feature_position(feature);
  if (combined) {
    const int32_t width = volume.rows + volume.cols;
    const int32_t height = volume.depth + volume.cols;
    const std::string pixels = pgm_pixels(picture_name(prefix.c_str(), p, ""), width, height);
    for (int32_t r = volume.depth; r < height; ++r) {
      for (int32_t c = volume.rows; c < width; ++c) {
        require(pixels[static_cast<size_t>(r) * static_cast<size_t>(width) + static_cast<size_t>(c)] == 0);
      }
    }
  } else {
    pgm_pixels(picture_name(prefix.c_str(), p, "_zy"), volume.rows, volume.depth);
    pgm_pixels(picture_name(prefix.c_str(), p, "_xy"), volume.cols, volume.rows);
    pgm_pixels(picture_name(prefix.c_str(), p, "_zx"), volume.cols, volume.depth);
  }
  return 0;
}
