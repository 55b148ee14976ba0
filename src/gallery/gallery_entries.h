// The entries of a gallery run, read from the same three call forms and with the same
// readers as kelvora itself (one feature on the command line; image + feature list +
// output code; a command file), each with the name of the picture kelvora writes for it,
// and the name of the page. Nothing is printed; the result code says what went wrong.
#pragma once

#include <string>
#include <vector>

#include "feature/feature.h"

enum GalleryInputResult {
  kGalleryInputOk = 0,
  kGalleryUsage = -1,           // argument count other than 1, 3 or 6
  kGalleryUnknownOption = -2,   // the first argument begins with "-"
  kGalleryNoCommandFile = -3,   // the command file is missing, unreadable or empty
  kGalleryNoFeatureList = -4,   // the feature list cannot be opened
  kGalleryNoEntries = -5,       // the feature list or command file has no accepted line
};

enum GalleryForm {
  kFormSingleFeature = 0,  // image x y z scale code
  kFormFeatureList = 1,    // image list code
  kFormCommandFile = 2,    // command file
};

struct GalleryEntry {
  std::string image_path;    // as given, relative to the working directory
  Feature feature;           // x, y, z and scale as kelvora read them
  std::string output_code;   // as given
  std::string picture_name;  // the PGM kelvora writes for the entry, relative to the working directory
  std::string png_name;      // the same name ending in ".png" instead of ".pgm"
};

struct GalleryRun {
  int form = kFormSingleFeature;       // a GalleryForm
  std::string page_path;               // "<output code>.gallery.html", or "gallery.html" for a command file
  std::string source;                  // the input the entries came from, for the page's title
  std::vector<GalleryEntry> entries;   // in input order
};

// Fills `run` from the program's arguments (argv[0] is not used). kGalleryInputOk or one
// of the other GalleryInputResult codes; `run->entries` is then empty.
int read_gallery_run(int argc, const char* const* argv, GalleryRun* run);

// "<code>.<base name of image>_x%3.3d_y%3.3d_z%3.3d.pgm" with the feature's truncated
// position, as kelvora names the picture, without kelvora's length limit.
std::string picture_name_for(const char* image_path, const Feature& feature, const char* output_code);

// `file_path` as seen from the directory that holds `page_path` (both relative to the
// working directory or absolute), with "/" separators: what the page links to.
std::string page_relative_path(const std::string& page_path, const std::string& file_path);
