// Conversion of kelvora's PGM pictures to PNG files beside them: one picture at a time,
// or a whole batch spread over a few threads, since every picture is independent and
// deflating is what the gallery spends its time on. Results are recorded per picture;
// nothing is printed and nothing is thrown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gallery/grey_picture.h"
#include "gallery/png_writer.h"

struct PictureConversion {
  int pgm_result = kPgmMissing;  // PgmResult of reading the picture
  int png_error = 0;             // when the picture was read: 0, or the errno of writing the PNG
                                 // (ENOMEM when it could not be encoded)
  int32_t width = 0;             // picture size, when it was read
  int32_t height = 0;
};

struct ConversionJob {
  std::string pgm_path;       // the picture to read
  std::string png_path;       // the PNG to write
  PictureConversion result;   // filled by the conversion
};

// Reads `pgm_path` and, when it is a valid picture, writes the same grey values as an
// eight-bit grey PNG at `png_path` (replaced in one step; never left half written).
// `picture` and `png` are working buffers, reused from call to call.
PictureConversion convert_pgm_to_png(const char* pgm_path, const char* png_path, GreyPicture* picture,
                                     PngBuffer* png);

// Runs convert_pgm_to_png for every job on up to `threads` threads (at least one), each
// with its own buffers, and returns when all are done.
void convert_pictures(std::vector<ConversionJob>* jobs, unsigned threads);
