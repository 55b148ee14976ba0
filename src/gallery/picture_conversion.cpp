#include "gallery/picture_conversion.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <thread>

#include "gallery/atomic_file.h"

namespace {

void convert_jobs(std::vector<ConversionJob>* jobs, std::atomic<size_t>* next) {
  GreyPicture picture;
  PngBuffer png;
  for (size_t i = (*next)++; i < jobs->size(); i = (*next)++) {
    ConversionJob& job = (*jobs)[i];
    try {
      job.result = convert_pgm_to_png(job.pgm_path.c_str(), job.png_path.c_str(), &picture, &png);
    } catch (const std::bad_alloc&) {
      job.result.pgm_result = kPgmNoMemory;
    }
  }
}

}  // namespace

PictureConversion convert_pgm_to_png(const char* pgm_path, const char* png_path, GreyPicture* picture,
                                     PngBuffer* png) {
  PictureConversion result;
  result.pgm_result = read_pgm_file(pgm_path, picture);
  if (result.pgm_result != kPgmOk) return result;
  result.width = picture->width;
  result.height = picture->height;
  const int encoded = encode_grey_png(picture->pixels, picture->width, picture->height,
                                      static_cast<size_t>(picture->width), png);
  result.png_error = encoded == kPngOk ? write_file_atomically(png_path, png->data, png->size) : ENOMEM;
  return result;
}

void convert_pictures(std::vector<ConversionJob>* jobs, unsigned threads) {
  std::atomic<size_t> next{0};
  size_t helpers = threads > 1 ? threads - 1 : 0;
  if (helpers > jobs->size()) helpers = jobs->size();
  std::vector<std::thread> workers;
  for (size_t t = 0; t < helpers; ++t) {
    try {
      workers.emplace_back(convert_jobs, jobs, &next);
    } catch (const std::exception&) {
      break;  // fewer threads: this one does the rest
    }
  }
  convert_jobs(jobs, &next);
  for (std::thread& worker : workers) worker.join();
}
