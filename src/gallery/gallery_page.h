// The gallery page: one self-contained HTML file (inline CSS and script, no fonts, no
// network) that shows every entry of a run as a captioned thumbnail, opens a picture in
// a zoomable detail view and lets the user rate each feature keep / reject / unsure, kept
// in the browser's localStorage and exported as CSV or as a kelvora command file.
// Entries without a usable picture show what was expected and why it is not there.
// Building the page cannot fail; writing it is the caller's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gallery/gallery_entries.h"

enum GalleryItemState {
  kItemShown = 0,       // the picture was converted; its PNG is beside the PGM
  kItemMissing = 1,     // no picture of the expected name
  kItemBroken = 2,      // a file that is not a readable eight-bit binary PGM
  kItemNotWritten = 3,  // the picture was read but its PNG could not be written
};

struct GalleryItem {
  const GalleryEntry* entry = nullptr;  // not owned; outlives the item
  int state = kItemMissing;             // a GalleryItemState
  std::string problem;                  // why a broken or unwritten item has no picture
  int32_t width = 0;                    // picture size in pixels, shown items only
  int32_t height = 0;
  std::string png_url;                  // link from the page to the PNG, shown items only
};

// Longest side of a thumbnail, CSS pixels.
constexpr int32_t kThumbnailBox = 200;

// Width and height a thumbnail is shown at: the picture scaled so that its longer side is
// kThumbnailBox, the other side in proportion (truncated, at least 1); 0 x 0 for an empty
// picture. Enlarged thumbnails are drawn without smoothing, shrunk ones smoothly, so that
// one-pixel circles stay visible.
void thumbnail_size(int32_t width, int32_t height, int32_t* shown_width, int32_t* shown_height);

// Appends the whole page. `title` names the run's input.
void append_gallery_page(const std::string& title, const std::vector<GalleryItem>& items,
                         std::string* html);
