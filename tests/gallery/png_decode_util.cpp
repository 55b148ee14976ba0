#include "png_decode_util.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {

struct Source {
  const uint8_t* bytes;
  size_t size;
  size_t at;
};

void read_bytes(png_structp png, png_bytep out, size_t length) {
  Source* source = static_cast<Source*>(png_get_io_ptr(png));
  if (length > source->size - source->at) png_error(png, "read past the end");
  std::memcpy(out, source->bytes + source->at, length);
  source->at += length;
}

// No C++ objects with destructors live in this frame: libpng may longjmp into it.
bool decode_into(png_structp png, png_infop info, Source* source, DecodedPng* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, source, read_bytes);
  png_read_info(png, info);
  out->width = png_get_image_width(png, info);
  out->height = png_get_image_height(png, info);
  out->bit_depth = png_get_bit_depth(png, info);
  out->color_type = png_get_color_type(png, info);
  out->interlace = png_get_interlace_type(png, info);
  out->has_gamma = png_get_valid(png, info, PNG_INFO_gAMA | PNG_INFO_sRGB | PNG_INFO_iCCP) != 0;
  out->row_bytes = png_get_rowbytes(png, info);
  out->pixels.resize(out->row_bytes * out->height);
  for (uint32_t row = 0; row < out->height; ++row) png_read_row(png, out->pixels.data() + row * out->row_bytes, nullptr);
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

DecodedPng decode_png(const uint8_t* bytes, size_t size) {
  DecodedPng out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Source source{bytes, size, 0};
  out.ok = decode_into(png, info, &source, &out);
  png_destroy_read_struct(&png, &info, nullptr);
  return out;
}

DecodedPng decode_png(const std::string& bytes) {
  return decode_png(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
