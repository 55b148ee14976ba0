// kelvora-floor IMAGE FEATURE_LIST OUTPUT_CODE
// kelvora-floor COMMAND_FILE
// The floor of one picture: for every feature it reads the voxels of its three slices
// once (summing them) and writes a file of the picture's byte size, under the picture's
// name, with plain buffered I/O. Inputs, loading (once per run of entries naming the same
// image) and names are kelvora's own, so the time per feature beyond the loads is the
// memory traffic no renderer of these pictures can avoid. Exit status 0, or 1 when an
// input cannot be read or a file not written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "feature/feature.h"
#include "input/list_readers.h"
#include "vis/panels.h"
#include "vis/truncate.h"
#include "volume/volume.h"

namespace {

// Eight running sums keep the adds off the critical path, as a vectorised sum would.
float sum_run(const float* values, int64_t count) {
  float lanes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  int64_t i = 0;
  for (; i + 8 <= count; i += 8) {
    for (int k = 0; k < 8; ++k) lanes[k] += values[i + k];
  }
  float total = 0.0f;
  for (; i < count; ++i) total += values[i];
  for (float lane : lanes) total += lane;
  return total;
}

// The ZY cut is one run with the step of a voxel row: each value in a cache line of its
// own. Announced ahead as kelvora's extractor does, so the floor is no slower than need be.
float sum_strided(const float* values, int64_t count, int64_t step) {
  constexpr int64_t kAhead = 256;
  float lanes[4] = {0, 0, 0, 0};
  int64_t i = 0;
  for (; i + 4 + kAhead <= count; i += 4) {
    for (int k = 0; k < 4; ++k) {
      __builtin_prefetch(values + (i + k + kAhead) * step);
      lanes[k] += values[(i + k) * step];
    }
  }
  float total = lanes[0] + lanes[1] + lanes[2] + lanes[3];
  for (; i < count; ++i) total += values[i * step];
  return total;
}

float sum_slices(const Volume& v, const FeaturePosition& p) {
  const int64_t rows = v.rows, cols = v.cols, depth = v.depth;
  const int64_t x = clamp_index(p.xi, v.cols);
  const int64_t y = clamp_index(p.yi, v.rows);
  const int64_t z = clamp_index(p.zi, v.depth);
  float total = sum_run(v.data + z * rows * cols, rows * cols);  // XY: one run
  for (int64_t s = 0; s < depth; ++s) {
    total += sum_run(v.data + (s * rows + y) * cols, cols);  // ZX: a row of every slice
  }
  return total + sum_strided(v.data + x, depth * rows, cols);  // ZY: a column of every slice
}

// Writes the floor pictures of entries [first, last), which all name `image`.
int run_entries(const char* image, const FeatureTable& features, const char* const* codes,
                size_t first, size_t last, double* checksum) {
  Volume volume{};
  if (load_volume(image, &volume) != kLoadOk) {
    std::printf("Error: could not read input image: %s\n", image);
    return 1;
  }
  const int64_t width = static_cast<int64_t>(volume.rows) + volume.cols;
  const int64_t height = static_cast<int64_t>(volume.depth) + volume.cols;
  std::vector<uint8_t> picture(static_cast<size_t>(width * height), 0);
  int status = 0;
  for (size_t i = first; i < last; ++i) {
    const FeaturePosition p = feature_position(*features.at(i));
    const float sum = sum_slices(volume, p);
    *checksum += static_cast<double>(sum);
    picture[0] = static_cast<uint8_t>(static_cast<int64_t>(sum) & 0xFF);

    char prefix[400];
    char name[400];
    std::snprintf(prefix, sizeof prefix, "%s.%s", codes[i], TextFile::base_name(image));
    format_feature_file_name(name, sizeof name, prefix, p, "");
    FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
      status = 1;
      continue;
    }
    std::fprintf(file, "P5\n%d %d\n%d\n", static_cast<int>(width), static_cast<int>(height), 255);
    if (std::fwrite(picture.data(), 1, picture.size(), file) != picture.size()) status = 1;
    if (std::fclose(file) != 0) status = 1;
  }
  release_volume(&volume);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::printf("Usage: %s <input image> <feature list> <output_code> | <command_file>\n", argv[0]);
    return 1;
  }
  FeatureTable features;
  std::vector<const char*> images;
  std::vector<const char*> codes;
  TextFile text;
  if (argc == 4) {
    if (read_feature_list(argv[2], &features) < 0) {
      std::printf("Could not open input file: %s\n", argv[2]);
      return 1;
    }
    images.assign(features.count(), argv[1]);
    codes.assign(features.count(), argv[3]);
  } else {
    if (text.read(argv[1]) < 0) {
      std::printf("Could not open input file: %s\n", argv[1]);
      return 1;
    }
    read_command_file(&images, &features, &codes, &text);
  }

  int status = 0;
  double checksum = 0.0;
  for (size_t first = 0; first < features.count();) {
    size_t last = first + 1;
    while (last < features.count() && std::strcmp(images[last], images[first]) == 0) ++last;
    status |= run_entries(images[first], features, codes.data(), first, last, &checksum);
    first = last;
  }
  std::printf("floor: %zu pictures, checksum %.6g\n", features.count(), checksum);
  return status;
}
