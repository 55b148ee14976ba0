#include "app/driver.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "feature/feature.h"
#include "input/c_numbers.h"
#include "input/list_readers.h"
#include "input/text_file.h"
#include "vis/panels.h"
#include "volume/volume.h"

namespace {

constexpr size_t kNameSize = 400;  // image_name and output_prefix: 399 characters at most

void print_usage() {
  const char* program = "kelvora";
  std::printf("Mirandel v1.1\n");
  std::printf("Usage 1: %s <input image> <x>  <y>  <z>  <scale> <output_code>\n", program);
  std::printf("  <input image>: nifti (.nii,.hdr).\n");
  std::printf("  <x>  <y>  <z>  <scale>: four numbers, feature information.\n");
  std::printf("  <output_code>: name code appended to output image.\n");
  std::printf("Usage 2: %s <input image> <feature list> <output_code> \n", program);
  std::printf("  <input image>: nifti (.nii,.hdr).\n");
  std::printf("  <feature list>: text file, each line contains: <x>  <y>  <z>  <scale>.\n");
  std::printf("  <output_code>: name code appended to output image.\n");
  std::printf("Usage 3: %s <command_file>\n", program);
  std::printf(
      "  <command_file>: text file, each line contains: <input image> <x>  <y>  <z>  <scale> "
      "<output_code>.\n");
}

int try_load(const char* name, Volume* volume) {
  std::fflush(stdout);  // keep the console line ahead of the library's own diagnostics
  return load_volume(name, volume);
}

// Loads `path`, retrying with its last extension replaced by ".hdr", then ".nii".
// `image_name` ends holding the name of the last attempt. A name that does not fit in
// kNameSize is an image that cannot be loaded.
int load_with_retries(const char* path, char* image_name, Volume* volume) {
  const size_t length = std::strlen(path);
  if (length >= kNameSize) return kLoadNoImage;
  std::memcpy(image_name, path, length + 1);
  int result = try_load(image_name, volume);
  if (result >= 0 || result == kLoadOutOfMemory) return result;

  char* dot = std::strrchr(image_name, '.');
  if (dot == nullptr) return result;
  if (static_cast<size_t>(dot - image_name) + 4 >= kNameSize) return result;
  const char* retries[2] = {".hdr", ".nii"};
  for (const char* extension : retries) {
    std::memcpy(dot, extension, 5);
    std::printf("%s .. ", extension);
    result = try_load(image_name, volume);
    if (result >= 0 || result == kLoadOutOfMemory) return result;
  }
  return result;
}

int walk_entries(const std::vector<const char*>& image_paths, const FeatureTable& features,
                 const std::vector<const char*>& output_codes) {
  const size_t n = features.count();
  std::printf("Writing feature images (%d)...\n", static_cast<int>(n));
  Volume volume{};
  char image_name[kNameSize];
  char output_prefix[kNameSize];
  bool picture_failed = false;

  for (size_t i = 0; i < n; ++i) {
    const char* path = image_paths[i];
    const bool held = i > 0 && std::strcmp(path, image_paths[i - 1]) == 0;
    if (!held) {
      if (i > 0) release_volume(&volume);
      std::printf("Reading image: %s .. ", path);
      const int result = load_with_retries(path, image_name, &volume);
      if (result == kLoadOutOfMemory) {
        std::printf("Error: out of memory\n");
        return -1;
      }
      if (result < 0) {
        const bool fitted = std::strlen(path) < kNameSize;
        std::printf("Error: could not read input image: %s\n", fitted ? image_name : path);
        return -1;
      }
      std::printf("done.\n");
    }

    const Feature& feature = *features.at(i);
    const char* base = TextFile::base_name(path);
    const int length =
        std::snprintf(output_prefix, sizeof output_prefix, "%s.%s", output_codes[i], base);
    if (length < 0 || static_cast<size_t>(length) >= sizeof output_prefix) {
      const std::string prefix = std::string(output_codes[i]) + "." + base;
      report_unwritten_picture(prefix.c_str(), feature_position(feature), "");
      picture_failed = true;
      continue;
    }
    if (!feature.write_feature_panels(volume, output_prefix, 1, 1)) picture_failed = true;
  }

  release_volume(&volume);
  std::printf("\nDone.\n");
  return picture_failed ? -1 : 0;
}

}  // namespace

int run_kelvora(int argc, char** argv) {
  if (argc != 2 && argc != 4 && argc != 7) {
    print_usage();
    return -1;
  }
  if (argv[1][0] == '-') {
    std::printf("Error: unknown command line argument: %s\n", argv[1]);
    return -1;
  }

  TextFile text;
  FeatureTable features;
  std::vector<const char*> image_paths;
  std::vector<const char*> output_codes;

  if (argc == 2) {
    std::printf("Reading features: %s\n", argv[1]);
    const int result = text.read(argv[1]);
    if (result == kTextNoMemory) {
      std::printf("Error: out of memory\n");
      return -1;
    }
    if (result < 0) {
      std::printf("Could not open input file: %s\n", argv[1]);
      return -1;
    }
    read_command_file(&image_paths, &features, &output_codes, &text);
  } else if (argc == 4) {
    read_feature_list(argv[2], &features);
    const size_t n = features.count();
    if (n == 0) {
      std::printf("Error: could not read/identify features in input file: %s\n", argv[2]);
    }
    image_paths.assign(n, argv[1]);
    output_codes.assign(n, argv[3]);
  } else {
    image_paths.push_back(argv[1]);
    features.resize(1);
    Feature* feature = features.at(0);
    feature->x = parse_float(argv[2]);
    feature->y = parse_float(argv[3]);
    feature->z = parse_float(argv[4]);
    feature->scale = parse_float(argv[5]);
    output_codes.push_back(argv[6]);
  }
  return walk_entries(image_paths, features, output_codes);
}
