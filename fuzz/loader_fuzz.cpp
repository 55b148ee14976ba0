// Fuzzes load_volume on arbitrary NIfTI-1 / ANALYZE bytes written to a scratch file.
// Input layout: byte 0 picks the form (bit 0: a ".hdr"/".img" pair instead of one ".nii";
// bit 1: a pair is named by its ".img"); a pair then takes a 16-bit little-endian header
// length and splits the rest into header and data files. A loaded volume must be whole:
// every voxel its extents promise is read, so the sanitizers see a short array. A failed
// load must leave the volume untouched. Small loaded volumes are also drawn.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "feature/feature.h"
#include "fuzz_files.h"
#include "volume/volume.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr int64_t kMostCanvasPixels = int64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  clear_fuzz_directory();
  const uint8_t form = data[0];
  ++data;
  --size;

  std::string path;
  if ((form & 1) == 0) {
    path = fuzz_file("v.nii");
    write_fuzz_file(path, data, size);
  } else {
    if (size < 2) return 0;
    size_t header = static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8;
    data += 2;
    size -= 2;
    if (header > size) header = size;
    write_fuzz_file(fuzz_file("p.hdr"), data, header);
    write_fuzz_file(fuzz_file("p.img"), data + header, size - header);
    path = fuzz_file((form & 2) == 0 ? "p.hdr" : "p.img");
  }

  Volume volume;
  std::memset(&volume, 0x5A, sizeof volume);
  volume.data = nullptr;
  Volume before = volume;
  const int result = load_volume(path.c_str(), &volume);
  if (result != kLoadOk) {
    require(result == kLoadNoImage || result == kLoadNoData || result == kLoadUnsupportedType ||
            result == kLoadOutOfMemory);
    require(std::memcmp(&volume, &before, sizeof volume) == 0);
    return 0;
  }

  require(volume.depth >= 1 && volume.rows >= 1 && volume.cols >= 1 && volume.channels == 1);
  require(volume.data != nullptr && volume.spare1 == nullptr && volume.spare2 == nullptr);
  const int64_t voxels = static_cast<int64_t>(volume.depth) * volume.rows * volume.cols;
  volatile float sink = 0.0f;
  for (int64_t i = 0; i < voxels; ++i) sink = sink + volume.data[i];

  const int64_t canvas = (static_cast<int64_t>(volume.rows) + volume.cols) *
                         (static_cast<int64_t>(volume.depth) + volume.cols);
  if (canvas <= kMostCanvasPixels) {
    Feature feature;
    feature.x = static_cast<float>(volume.cols) / 2.0f;
    feature.y = static_cast<float>(volume.rows) / 3.0f;
    feature.z = static_cast<float>(volume.depth) - 1.5f;
    feature.scale = 1.5f;
    require(feature.write_feature_panels(volume, fuzz_file("f").c_str(), 1, 1) == 1);
  }
  release_volume(&volume);
  return 0;
}
