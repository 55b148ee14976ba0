// kelvora-gallery: turns the pictures of a kelvora run into PNGs and one rated HTML page.
#include <cstdio>
#include <new>

#include "gallery/gallery_app.h"

int main(int argc, char** argv) {
  try {
    return run_gallery(argc, argv);
  } catch (const std::bad_alloc&) {
    std::printf("Error: out of memory\n");
    return kGalleryExitFailed;
  }
}
