#include "gallery/gallery_entries.h"

#include <filesystem>
#include <system_error>

#include "input/c_numbers.h"
#include "input/list_readers.h"
#include "input/text_file.h"
#include "vis/panels.h"

namespace {

void add_entry(const char* image_path, const Feature& feature, const char* output_code,
               GalleryRun* run) {
  GalleryEntry entry;
  entry.image_path = image_path;
  entry.feature = feature;
  entry.output_code = output_code;
  entry.picture_name = picture_name_for(image_path, feature, output_code);
  entry.png_name = entry.picture_name.substr(0, entry.picture_name.size() - 4) + ".png";
  run->entries.push_back(std::move(entry));
}

}  // namespace

int read_gallery_run(int argc, const char* const* argv, GalleryRun* run) {
  run->entries.clear();
  if (argc != 2 && argc != 4 && argc != 7) return kGalleryUsage;
  if (argv[1][0] == '-') return kGalleryUnknownOption;

  FeatureTable features;
  if (argc == 2) {
    run->form = kFormCommandFile;
    run->page_path = "gallery.html";
    run->source = argv[1];
    TextFile text;
    if (text.read(argv[1]) != kTextOk) return kGalleryNoCommandFile;
    std::vector<const char*> image_paths;
    std::vector<const char*> output_codes;
    read_command_file(&image_paths, &features, &output_codes, &text);
    for (size_t i = 0; i < features.count(); ++i) {
      add_entry(image_paths[i], *features.at(i), output_codes[i], run);
    }
  } else if (argc == 4) {
    run->form = kFormFeatureList;
    run->page_path = std::string(argv[3]) + ".gallery.html";
    run->source = std::string(argv[1]) + " with " + argv[2];
    if (read_feature_list(argv[2], &features) < 0) return kGalleryNoFeatureList;
    for (size_t i = 0; i < features.count(); ++i) add_entry(argv[1], *features.at(i), argv[3], run);
  } else {
    run->form = kFormSingleFeature;
    run->page_path = std::string(argv[6]) + ".gallery.html";
    run->source = argv[1];
    Feature feature;
    feature.x = parse_float(argv[2]);
    feature.y = parse_float(argv[3]);
    feature.z = parse_float(argv[4]);
    feature.scale = parse_float(argv[5]);
    add_entry(argv[1], feature, argv[6], run);
  }
  return run->entries.empty() ? kGalleryNoEntries : kGalleryInputOk;
}

std::string picture_name_for(const char* image_path, const Feature& feature, const char* output_code) {
  const std::string prefix = std::string(output_code) + "." + TextFile::base_name(image_path);
  const FeaturePosition position = feature_position(feature);
  const int length = format_feature_file_name(nullptr, 0, prefix.c_str(), position, "");
  std::string name(static_cast<size_t>(length < 0 ? 0 : length) + 1, '\0');
  format_feature_file_name(&name[0], name.size(), prefix.c_str(), position, "");
  name.pop_back();
  return name;
}

std::string page_relative_path(const std::string& page_path, const std::string& file_path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path page = fs::absolute(fs::path(page_path), error);
  if (error) return file_path;
  const fs::path file = fs::absolute(fs::path(file_path), error);
  if (error) return file_path;
  const fs::path relative = file.lexically_normal().lexically_relative(page.lexically_normal().parent_path());
  return relative.empty() ? file_path : relative.generic_string();
}
