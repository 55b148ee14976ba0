#include "gallery/gallery_app.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "gallery/atomic_file.h"
#include "gallery/gallery_entries.h"
#include "gallery/gallery_page.h"
#include "gallery/grey_picture.h"
#include "gallery/html_text.h"
#include "gallery/picture_conversion.h"

namespace {

// Deflating is all the work; more threads than this gain nothing on a disk-bound run.
constexpr unsigned kMaxThreads = 4;

void print_usage() {
  std::printf("kelvora-gallery: a page to look through and rate the pictures kelvora wrote\n");
  std::printf("Usage 1: kelvora-gallery <input image> <x>  <y>  <z>  <scale> <output_code>\n");
  std::printf("Usage 2: kelvora-gallery <input image> <feature list> <output_code>\n");
  std::printf("Usage 3: kelvora-gallery <command_file>\n");
  std::printf("  Give the arguments kelvora was given, in the directory it ran in.\n");
  std::printf("  Writes <output_code>.gallery.html (gallery.html for a command file)\n");
  std::printf("  and a PNG beside every picture. Exit status: 0 all pictures shown,\n");
  std::printf("  1 some missing or broken, 2 bad arguments or input, or output not writable.\n");
}

int report_input_error(int result, int argc, const char* const* argv) {
  switch (result) {
    case kGalleryUsage:
      print_usage();
      return kGalleryExitFailed;
    case kGalleryUnknownOption:
      if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
        print_usage();
        return kGalleryExitOk;
      }
      std::printf("Error: unknown command line argument: %s\n", argv[1]);
      return kGalleryExitFailed;
    case kGalleryNoCommandFile:
      std::printf("Error: could not open command file (missing, unreadable or empty): %s\n", argv[1]);
      return kGalleryExitFailed;
    case kGalleryNoFeatureList:
      std::printf("Error: could not open feature list: %s\n", argv[2]);
      return kGalleryExitFailed;
    default:
      std::printf("Error: no features found in %s\n", argc == 2 ? argv[1] : argv[2]);
      return kGalleryExitFailed;
  }
}

}  // namespace

int run_gallery(int argc, const char* const* argv) {
  GalleryRun run;
  const int input = read_gallery_run(argc, argv, &run);
  if (input != kGalleryInputOk) return report_input_error(input, argc, argv);

  // Claiming the page first finds an unwritable output directory before any work.
  AtomicFile page;
  int error = atomic_open(&page, run.page_path);
  if (error != 0) {
    std::printf("Error: cannot write gallery page %s: %s\n", run.page_path.c_str(), std::strerror(error));
    return kGalleryExitFailed;
  }

  // Features that truncate to the same voxel share kelvora's picture: convert it once.
  std::vector<ConversionJob> jobs;
  std::vector<size_t> job_of_entry(run.entries.size());
  std::unordered_map<std::string, size_t> job_with_name;
  for (size_t i = 0; i < run.entries.size(); ++i) {
    const GalleryEntry& entry = run.entries[i];
    const auto inserted = job_with_name.emplace(entry.picture_name, jobs.size());
    if (inserted.second) {
      ConversionJob job;
      job.pgm_path = entry.picture_name;
      job.png_path = entry.png_name;
      jobs.push_back(std::move(job));
    }
    job_of_entry[i] = inserted.first->second;
  }
  const unsigned cores = std::thread::hardware_concurrency();
  convert_pictures(&jobs, cores == 0 ? 1 : (cores > kMaxThreads ? kMaxThreads : cores));

  std::vector<GalleryItem> items(run.entries.size());
  std::vector<bool> reported(jobs.size(), false);
  size_t missing = 0;
  size_t broken = 0;
  size_t unwritten = 0;
  for (size_t i = 0; i < run.entries.size(); ++i) {
    const GalleryEntry& entry = run.entries[i];
    const PictureConversion& done = jobs[job_of_entry[i]].result;
    const bool first = !reported[job_of_entry[i]];
    reported[job_of_entry[i]] = true;
    GalleryItem& item = items[i];
    item.entry = &entry;
    if (done.pgm_result == kPgmMissing) {
      item.state = kItemMissing;
      ++missing;
      if (first) std::printf("Missing picture: %s\n", entry.picture_name.c_str());
    } else if (done.pgm_result != kPgmOk) {
      item.state = kItemBroken;
      item.problem = pgm_result_text(done.pgm_result);
      ++broken;
      if (first) std::printf("Broken picture: %s: %s\n", entry.picture_name.c_str(), item.problem.c_str());
    } else if (done.png_error != 0) {
      item.state = kItemNotWritten;
      item.problem = std::string("PNG not written: ") + std::strerror(done.png_error);
      ++unwritten;
      if (first) std::printf("Error: cannot write %s: %s\n", entry.png_name.c_str(), std::strerror(done.png_error));
    } else {
      item.state = kItemShown;
      item.width = done.width;
      item.height = done.height;
      item.png_url = percent_encode_path(page_relative_path(run.page_path, entry.png_name));
    }
  }

  std::string html;
  append_gallery_page(run.source, items, &html);
  error = atomic_write(&page, html.data(), html.size());
  if (error == 0) error = atomic_commit(&page);
  if (error != 0) {
    std::printf("Error: cannot write gallery page %s: %s\n", run.page_path.c_str(), std::strerror(error));
    return kGalleryExitFailed;
  }

  const size_t total = items.size();
  std::printf("Wrote %s: %zu feature%s, %zu shown, %zu missing, %zu broken.\n", run.page_path.c_str(),
              total, total == 1 ? "" : "s", total - missing - broken - unwritten, missing,
              broken + unwritten);
  if (missing > 0 || broken > 0) {
    std::printf("Error: %zu of %zu pictures missing or broken; run kelvora with the same arguments first.\n",
                missing + broken, total);
  }
  if (unwritten > 0) return kGalleryExitFailed;
  return missing > 0 || broken > 0 ? kGalleryExitProblems : kGalleryExitOk;
}
