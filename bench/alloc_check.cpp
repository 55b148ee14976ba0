// kelvora-alloc-check [IMAGE]
// Checks with the counting allocator that a picture allocates only what it may: per
// write_feature_panels call the canvas once, the slice buffer only when a slice needs
// more room than it holds, the eight-bit picture once, and what the C library's fopen
// takes for its stream; nothing for cutting, stretching, drawing or between calls, and
// every byte freed again. It runs on the image given (else a synthetic volume of its
// size) and on a small volume whose XY slice outgrows the ZY one. Prints what it found;
// exit status 0 when every call kept to the rule, 1 otherwise.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <stdlib.h>

#include "bench_volume.h"
#include "counting_allocator.h"
#include "feature/feature.h"
#include "vis/slice.h"
#include "volume/volume.h"

namespace {

std::vector<size_t> logged_sizes() {
  const size_t count = stop_allocation_log();
  std::vector<size_t> sizes;
  for (size_t i = 0; i < count; ++i) sizes.push_back(allocation_log_size(i));
  return sizes;
}

// Blocks of one stream that glibc frees past the replaceable free (so they are not
// seen freed here, though they are).
int64_t g_stream_unseen_frees = 0;

// The sizes fopen/fwrite/fclose allocate for one stream.
std::vector<size_t> stream_sizes(const std::string& dir) {
  const std::string name = dir + "/stream-calibration";
  const AllocationCounts before = allocation_counts();
  start_allocation_log();
  FILE* file = std::fopen(name.c_str(), "wb");
  if (file != nullptr) {
    std::fputc('x', file);
    std::fclose(file);
  }
  std::vector<size_t> sizes = logged_sizes();
  const AllocationCounts after = allocation_counts();
  g_stream_unseen_frees = (after.allocations - before.allocations) - (after.frees - before.frees);
  return sizes;
}

// The allocations one combined picture may make, in the order they happen.
std::vector<size_t> allowed_sizes(const Volume& v, const std::vector<size_t>& stream) {
  const size_t depth = static_cast<size_t>(v.depth), rows = static_cast<size_t>(v.rows),
               cols = static_cast<size_t>(v.cols);
  std::vector<size_t> allowed;
  allowed.push_back((depth + cols) * (rows + cols) * 4);  // the canvas
  size_t capacity = 0;
  for (size_t slice : {depth * rows * 4, rows * cols * 4, depth * cols * 4}) {
    if (slice > capacity) {  // the slice buffer grows only when a slice needs more
      allowed.push_back(slice);
      capacity = slice;
    }
  }
  allowed.push_back((depth + cols) * (rows + cols));  // the eight-bit picture
  allowed.insert(allowed.end(), stream.begin(), stream.end());
  return allowed;
}

std::string list(const std::vector<size_t>& sizes) {
  std::string text;
  for (size_t size : sizes) text += (text.empty() ? "" : " ") + std::to_string(size);
  return text.empty() ? "none" : text;
}

// Runs `count` features through write_feature_panels and compares each call's
// allocations with the allowance. Returns the number of calls that broke the rule.
int check_volume(const char* label, const Volume& volume, const std::string& dir,
                 const std::vector<size_t>& stream, int count) {
  const std::vector<size_t> allowed = allowed_sizes(volume, stream);
  std::vector<size_t> sorted_allowed = allowed;
  std::sort(sorted_allowed.begin(), sorted_allowed.end());
  const std::string prefix = dir + "/check." + label;
  std::vector<BenchFeature> at = bench_features(volume, count, 5);
  // Positions outside the volume and a huge circle take the clamping paths too.
  at.push_back({-3.7f, static_cast<float>(volume.rows) + 5.0f, -0.5f, 1.3f});
  at.push_back({0.5f, 0.5f, 0.5f, 40000.0f});

  int broken = 0;
  int64_t leaked = 0;
  for (const BenchFeature& f : at) {
    Feature feature;
    feature.x = f.x;
    feature.y = f.y;
    feature.z = f.z;
    feature.scale = f.scale;
    const AllocationCounts before = allocation_counts();
    start_allocation_log();
    const int written = feature.write_feature_panels(volume, prefix.c_str(), 1, 1);
    std::vector<size_t> sizes = logged_sizes();
    const AllocationCounts after = allocation_counts();
    leaked += (after.allocations - before.allocations) - (after.frees - before.frees) -
              g_stream_unseen_frees;
    std::vector<size_t> sorted = sizes;
    std::sort(sorted.begin(), sorted.end());
    if (written != 1 || sorted != sorted_allowed || allocation_log_overflowed()) {
      ++broken;
      if (broken <= 3) {
        std::printf("  %s feature (%g, %g, %g, %g): allocated %s; allowed %s%s\n", label, f.x,
                    f.y, f.z, f.scale, list(sizes).c_str(), list(allowed).c_str(),
                    written == 1 ? "" : " (picture not written)");
      }
    }
  }

  // Cutting and stretching on their own allocate nothing.
  Image slice;
  slice.init(volume.rows, volume.cols, 4 * volume.cols, 32);
  float* target = reinterpret_cast<float*>(slice.data);
  const AllocationCounts before = allocation_counts();
  extract_slice_xy(volume, volume.depth / 2, 0, target);
  Volume view{};
  image_as_volume(slice, &view);
  normalize_volume(&view, 255.0f);
  const int64_t operation_allocations = allocation_counts().allocations - before.allocations;

  std::printf("%s (%d x %d x %d): %zu calls, each allowed [%s] = canvas, slice buffer growth, "
              "eight-bit picture, stream; %d broke the rule; %lld blocks not freed; "
              "%lld allocations in cutting and stretching\n",
              label, volume.cols, volume.rows, volume.depth, at.size(), list(allowed).c_str(),
              broken,
              static_cast<long long>(leaked), static_cast<long long>(operation_allocations));
  return broken + (leaked != 0 ? 1 : 0) + (operation_allocations != 0 ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/kelvora-alloc-check-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::printf("cannot make a temporary directory\n");
    return 1;
  }
  const std::string dir = pattern;
  const std::vector<size_t> stream = stream_sizes(dir);
  std::printf("fopen/fclose of one stream allocates: %s (%lld of them freed inside glibc)\n",
              list(stream).c_str(), static_cast<long long>(g_stream_unseen_frees));

  Volume big{};
  const bool real = load_bench_volume(argc > 1 ? argv[1] : nullptr, &big);
  int failures = 0;
  if (big.data == nullptr) {
    std::printf("cannot allocate the volume\n");
    failures = 1;
  } else {
    failures += check_volume(real ? "image" : "synthetic", big, dir, stream, 50);
  }
  release_volume(&big);

  // 40 columns x 30 rows x 6 slices: ZY 6x30, XY 30x40 (grows), ZX 6x40 (fits).
  Volume small{};
  std::vector<float> voxels(40 * 30 * 6);
  for (size_t i = 0; i < voxels.size(); ++i) voxels[i] = static_cast<float>(i % 251);
  small.depth = 6;
  small.rows = 30;
  small.cols = 40;
  small.frames = 1;
  small.channels = 1;
  small.data = voxels.data();
  failures += check_volume("small", small, dir, stream, 20);

  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::printf("allocation check: %s\n", failures == 0 ? "PASS" : "FAIL");
  return failures == 0 ? 0 : 1;
}
