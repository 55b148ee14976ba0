// The whole flow of kelvora-gallery: reads the run's entries like kelvora, converts each
// entry's PGM picture to a PNG beside it, writes the gallery page and prints one line per
// problem and a summary on standard output. Returns the exit status: kGalleryExitOk when
// every picture was found and converted, kGalleryExitProblems when any was missing or
// broken (the page is still written), kGalleryExitFailed for usage and input errors and
// for a page or PNG that cannot be written.
#pragma once

enum GalleryExitStatus {
  kGalleryExitOk = 0,
  kGalleryExitProblems = 1,
  kGalleryExitFailed = 2,
};

int run_gallery(int argc, const char* const* argv);
