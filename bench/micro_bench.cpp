// kelvora-microbench [--image=PATH] [--out=DIR] [Google Benchmark flags]
// Micro-benchmarks of the hot operations on a volume of ch2better's size (the image
// given, or a synthetic one of the same extents): datatype conversion per voxel, the
// three slice extractors, normalize_volume, output_float, the circle, a whole
// write_feature_panels call and write_pnm. Every benchmark also reports its heap
// allocations per iteration, counted by the counting allocator linked in.
#include <benchmark/benchmark.h>
#include <nifti1_io.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_volume.h"
#include "counting_allocator.h"
#include "feature/feature.h"
#include "image/image.h"
#include "image/pnm.h"
#include "vis/circle.h"
#include "vis/slice.h"
#include "volume/volume.h"

namespace {

Volume g_volume{};
std::string g_image_path;  // empty: synthetic volume
std::string g_out_dir;

int64_t slice_pixels_zy() { return static_cast<int64_t>(g_volume.depth) * g_volume.rows; }

// Allocation counts of the measured loop, per iteration.
class AllocationMeter {
 public:
  AllocationMeter() : start_(allocation_counts()) {}
  void report(benchmark::State& state) const {
    const AllocationCounts end = allocation_counts();
    const double iterations = static_cast<double>(state.iterations());
    state.counters["allocs/iter"] =
        static_cast<double>(end.allocations - start_.allocations) / iterations;
    state.counters["alloc_bytes/iter"] = static_cast<double>(end.bytes - start_.bytes) / iterations;
  }

 private:
  AllocationCounts start_;
};

// A float image of the given size whose buffer the extractors can write into.
void make_float_image(Image* image, int32_t height, int32_t width) {
  image->init(height, width, 4 * width, 32);
  std::memset(image->data, 0, static_cast<size_t>(height) * static_cast<size_t>(width) * 4);
}

// Stored values of one datatype, nvox of them, with the stored pattern of the volume.
template <typename Stored>
std::vector<Stored> stored_values(size_t count) {
  std::vector<Stored> values(count);
  for (size_t i = 0; i < count; ++i) {
    values[i] = static_cast<Stored>(g_volume.data[i]);
  }
  return values;
}

template <typename Stored>
void BM_ConvertVoxels(benchmark::State& state, int datatype) {
  const size_t count = static_cast<size_t>(g_volume.depth) * g_volume.rows * g_volume.cols;
  const std::vector<Stored> stored = stored_values<Stored>(count);
  std::vector<float> out(count, 0.0f);  // touched once here, so no page faults are timed
  AllocationMeter meter;
  for (auto _ : state) {
    convert_voxels_to_float(stored.data(), datatype, count, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  meter.report(state);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(count * (sizeof(Stored) + 4)));
}

// The whole load of the image file, page faults of the fresh float array included,
// next to the library's own read of the same file.
void BM_LoadVolume(benchmark::State& state) {
  if (g_image_path.empty()) {
    state.SkipWithError("needs --image");
    return;
  }
  AllocationMeter meter;
  for (auto _ : state) {
    Volume volume{};
    if (load_volume(g_image_path.c_str(), &volume) != kLoadOk) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(volume.data);
    release_volume(&volume);
  }
  meter.report(state);
}

void BM_NiftiImageRead(benchmark::State& state) {
  if (g_image_path.empty()) {
    state.SkipWithError("needs --image");
    return;
  }
  AllocationMeter meter;
  for (auto _ : state) {
    nifti_image* image = nifti_image_read(g_image_path.c_str(), 1);
    if (image == nullptr) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(image->data);
    nifti_image_free(image);
  }
  meter.report(state);
}

enum Cut { kCutXY, kCutZX, kCutZY };

void BM_ExtractSlice(benchmark::State& state, Cut cut) {
  Image slice;
  int64_t pixels = 0;
  switch (cut) {
    case kCutXY:
      make_float_image(&slice, g_volume.rows, g_volume.cols);
      break;
    case kCutZX:
      make_float_image(&slice, g_volume.depth, g_volume.cols);
      break;
    case kCutZY:
      make_float_image(&slice, g_volume.depth, g_volume.rows);
      break;
  }
  pixels = static_cast<int64_t>(slice.width) * slice.height;
  float* target = reinterpret_cast<float*>(slice.data);
  // Cut positions spread over the volume, so no one slice stays in the cache.
  const std::vector<BenchFeature> at = bench_features(g_volume, 64, 7);
  size_t k = 0;
  AllocationMeter meter;
  for (auto _ : state) {
    const BenchFeature& f = at[k++ & 63];
    switch (cut) {
      case kCutXY:
        extract_slice_xy(g_volume, static_cast<int32_t>(f.z), 0, target);
        break;
      case kCutZX:
        extract_slice_zx(g_volume, static_cast<int32_t>(f.y), 0, target);
        break;
      case kCutZY:
        extract_slice_zy(g_volume, static_cast<int32_t>(f.x), 0, target);
        break;
    }
    benchmark::DoNotOptimize(target);
    benchmark::ClobberMemory();
  }
  meter.report(state);
  state.SetItemsProcessed(state.iterations() * pixels);
}

void BM_NormalizeVolume(benchmark::State& state) {
  // The largest slice of ch2better, ZY, cut through the middle.
  Image slice;
  make_float_image(&slice, g_volume.depth, g_volume.rows);
  float* pixels = reinterpret_cast<float*>(slice.data);
  extract_slice_zy(g_volume, g_volume.cols / 2, 0, pixels);
  const std::vector<float> cut(pixels, pixels + slice_pixels_zy());
  Volume view{};
  image_as_volume(slice, &view);
  AllocationMeter meter;
  for (auto _ : state) {
    // Restoring the cut keeps every iteration stretching the same values; the copy is
    // a small part of the time (see BM_ExtractSlice for a pass of this size).
    std::memcpy(pixels, cut.data(), cut.size() * sizeof(float));
    normalize_volume(&view, 255.0f);
    benchmark::DoNotOptimize(pixels);
    benchmark::ClobberMemory();
  }
  meter.report(state);
  state.SetItemsProcessed(state.iterations() * slice_pixels_zy());
}

// A float picture of the combined canvas's size holding stretched slices, with the
// zero block of the real canvas.
void make_canvas(Image* canvas) {
  const int32_t height = g_volume.depth + g_volume.cols;
  const int32_t width = g_volume.rows + g_volume.cols;
  make_float_image(canvas, height, width);
  Image slice;
  make_float_image(&slice, g_volume.depth, g_volume.rows);
  extract_slice_zy(g_volume, g_volume.cols / 2, 0, reinterpret_cast<float*>(slice.data));
  Volume view{};
  image_as_volume(slice, &view);
  normalize_volume(&view, 255.0f);
  for (int32_t r = 0; r < height; ++r) {
    float* row = reinterpret_cast<float*>(canvas->data + static_cast<int64_t>(r) * canvas->stride);
    const float* from = reinterpret_cast<const float*>(slice.data) +
                        static_cast<int64_t>(r % slice.height) * slice.width;
    for (int32_t c = 0; c < width; ++c) {
      row[c] = (r >= g_volume.depth && c >= g_volume.rows) ? 0.0f : from[c % slice.width];
    }
  }
  draw_white_circle(g_volume.depth / 2, g_volume.rows / 2, 8, canvas);
}

void BM_OutputFloat(benchmark::State& state) {
  Image canvas;
  make_canvas(&canvas);
  Image grey;
  output_float(canvas, &grey, 0);  // sized once; the loop reuses the buffer
  AllocationMeter meter;
  for (auto _ : state) {
    output_float(canvas, &grey, 0);
    benchmark::DoNotOptimize(grey.data);
    benchmark::ClobberMemory();
  }
  meter.report(state);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(canvas.width) * canvas.height);
}

void BM_DrawWhiteCircle(benchmark::State& state) {
  Image slice;
  make_float_image(&slice, g_volume.depth, g_volume.rows);
  const int32_t radius = static_cast<int32_t>(state.range(0));
  AllocationMeter meter;
  for (auto _ : state) {
    draw_white_circle(g_volume.depth / 2, g_volume.rows / 2, radius, &slice);
    benchmark::DoNotOptimize(slice.data);
    benchmark::ClobberMemory();
  }
  meter.report(state);
}

void BM_WriteFeaturePanels(benchmark::State& state) {
  const std::vector<BenchFeature> at = bench_features(g_volume, 16, 11);
  std::vector<Feature> features(at.size());
  for (size_t i = 0; i < at.size(); ++i) {
    features[i].x = at[i].x;
    features[i].y = at[i].y;
    features[i].z = at[i].z;
    features[i].scale = at[i].scale;
  }
  const std::string prefix = g_out_dir + "/bench.ch2better.nii";
  size_t k = 0;
  AllocationMeter meter;
  for (auto _ : state) {
    if (features[k++ & 15].write_feature_panels(g_volume, prefix.c_str(), 1, 1) != 1) {
      state.SkipWithError("a picture was not written");
      break;
    }
  }
  meter.report(state);
}

void BM_WritePnm(benchmark::State& state) {
  Image canvas;
  make_canvas(&canvas);
  Image grey;
  output_float(canvas, &grey, 0);
  const std::string name = g_out_dir + "/write_pnm.pgm";
  FILE* stream = std::fopen(name.c_str(), "wb");
  if (stream == nullptr) {
    state.SkipWithError("cannot open the output file");
    return;
  }
  AllocationMeter meter;
  for (auto _ : state) {
    std::rewind(stream);
    grey.write_pnm(stream, 1);
    std::fflush(stream);
  }
  meter.report(state);
  std::fclose(stream);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(grey.width) * grey.height);
}

// Takes --image=PATH and --out=DIR off the argument list; the rest is Google Benchmark's.
void take_own_flags(int* argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp(argv[i], "--image=", 8) == 0) {
      g_image_path = argv[i] + 8;
    } else if (std::strncmp(argv[i], "--out=", 6) == 0) {
      g_out_dir = argv[i] + 6;
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
}

}  // namespace

int main(int argc, char** argv) {
  take_own_flags(&argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const bool real =
      load_bench_volume(g_image_path.empty() ? nullptr : g_image_path.c_str(), &g_volume);
  if (g_volume.data == nullptr) {
    std::fprintf(stderr, "kelvora-microbench: cannot allocate the volume\n");
    return 1;
  }
  if (!real) g_image_path.clear();
  std::printf("volume: %s, %d columns x %d rows x %d slices\n",
              real ? g_image_path.c_str() : "synthetic (no image given or it did not load)",
              g_volume.cols, g_volume.rows, g_volume.depth);

  std::string made_dir;
  if (g_out_dir.empty()) {
    char pattern[] = "/tmp/kelvora-microbench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      std::fprintf(stderr, "kelvora-microbench: cannot make a temporary directory\n");
      return 1;
    }
    made_dir = g_out_dir = pattern;
  }

  benchmark::RegisterBenchmark("ConvertVoxels/UINT8", BM_ConvertVoxels<uint8_t>, DT_UINT8);
  benchmark::RegisterBenchmark("ConvertVoxels/INT16", BM_ConvertVoxels<int16_t>, DT_INT16);
  benchmark::RegisterBenchmark("ConvertVoxels/INT32", BM_ConvertVoxels<int32_t>, DT_INT32);
  benchmark::RegisterBenchmark("ConvertVoxels/FLOAT32", BM_ConvertVoxels<float>, DT_FLOAT32);
  benchmark::RegisterBenchmark("ConvertVoxels/FLOAT64", BM_ConvertVoxels<double>, DT_FLOAT64);
  benchmark::RegisterBenchmark("ConvertVoxels/UINT16", BM_ConvertVoxels<uint16_t>, DT_UINT16);
  // A fixed count: a single timed load (all a brief run would give) is mostly the
  // kernel finding fresh pages, not the steady cost.
  benchmark::RegisterBenchmark("LoadVolume", BM_LoadVolume)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(8);
  benchmark::RegisterBenchmark("NiftiImageRead", BM_NiftiImageRead)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(8);
  benchmark::RegisterBenchmark("ExtractSlice/XY", BM_ExtractSlice, kCutXY);
  benchmark::RegisterBenchmark("ExtractSlice/ZX", BM_ExtractSlice, kCutZX);
  benchmark::RegisterBenchmark("ExtractSlice/ZY", BM_ExtractSlice, kCutZY);
  benchmark::RegisterBenchmark("NormalizeVolume/ZY", BM_NormalizeVolume);
  benchmark::RegisterBenchmark("OutputFloat/canvas", BM_OutputFloat);
  benchmark::RegisterBenchmark("DrawWhiteCircle", BM_DrawWhiteCircle)->Arg(2)->Arg(16)->Arg(128);
  benchmark::RegisterBenchmark("WriteFeaturePanels", BM_WriteFeaturePanels)->UseRealTime();
  benchmark::RegisterBenchmark("WritePnm/canvas", BM_WritePnm)->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  release_volume(&g_volume);
  if (!made_dir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(made_dir, ignored);
  }
  return 0;
}
