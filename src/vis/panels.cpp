#include "vis/panels.h"

#include <cstdio>
#include <cstring>

#include "image/image.h"
#include "image/pnm.h"
#include "vis/circle.h"
#include "vis/slice.h"
#include "vis/truncate.h"
#include "volume/volume.h"

namespace {

constexpr size_t kFileNameSize = 400;

enum SliceKind { kSliceZY, kSliceXY, kSliceZX };

struct SliceGeometry {
  int64_t height;
  int64_t width;
  int32_t centre_row;
  int32_t centre_col;
  const char* suffix;  // file-name suffix in the separate layout
};

SliceGeometry slice_geometry(SliceKind kind, const Volume& volume, const FeaturePosition& p) {
  switch (kind) {
    case kSliceZY:
      return {volume.depth, volume.rows, p.zi, p.yi, "_zy"};
    case kSliceXY:
      return {volume.rows, volume.cols, p.yi, p.xi, "_xy"};
    case kSliceZX:
    default:
      return {volume.depth, volume.cols, p.zi, p.xi, "_zx"};
  }
}

bool fits_int32(int64_t value) { return value >= 0 && value <= INT32_MAX; }

// Cuts one slice into `slice` (resized to the slice, buffer reused when large enough),
// stretches it to 0..255 and draws the circle. False when the buffer cannot be had.
bool make_slice(SliceKind kind, const Volume& volume, const FeaturePosition& p, int overlay,
                Image* slice) {
  const SliceGeometry g = slice_geometry(kind, volume, p);
  const int64_t stride = 4 * g.width;
  if (!fits_int32(stride) || !fits_int32(g.height)) return false;
  if (!slice->init(static_cast<int32_t>(g.height), static_cast<int32_t>(g.width),
                   static_cast<int32_t>(stride), 32)) {
    return false;
  }
  float* pixels = reinterpret_cast<float*>(slice->data);
  int refused = 0;
  switch (kind) {
    case kSliceZY:
      refused = extract_slice_zy(volume, clamp_index(p.xi, volume.cols), 0, pixels);
      break;
    case kSliceXY:
      extract_slice_xy(volume, clamp_index(p.zi, volume.depth), 0, pixels);
      break;
    case kSliceZX:
      refused = extract_slice_zx(volume, clamp_index(p.yi, volume.rows), 0, pixels);
      break;
  }
  // A one-slice volume has no ZY or ZX cut: show an empty panel, never stale memory.
  if (refused < 0) std::memset(pixels, 0, static_cast<size_t>(g.height * g.width) * sizeof(float));
  Volume as_volume;
  image_as_volume(*slice, &as_volume);
  normalize_volume(&as_volume, 255.0f);
  if (overlay) draw_white_circle(g.centre_row, g.centre_col, p.radius, slice);
  return true;
}

void copy_rows(const Image& slice, Image* view) {
  const size_t row_bytes = static_cast<size_t>(slice.width) * sizeof(float);
  for (int32_t r = 0; r < slice.height; ++r) {
    std::memcpy(view->data + static_cast<int64_t>(r) * view->stride,
                slice.data + static_cast<int64_t>(r) * slice.stride, row_bytes);
  }
}

// Slice pixel (r, c) lands on view (width - 1 - c, r): a quarter turn anticlockwise, so
// x runs upward. Square tiles keep the column-wise reads within a few cache lines.
void copy_turned(const Image& slice, Image* view) {
  constexpr int64_t kTile = 16;
  const float* source = reinterpret_cast<const float*>(slice.data);
  const int64_t width = slice.width;
  const int64_t height = slice.height;
  for (int64_t c0 = 0; c0 < width; c0 += kTile) {
    const int64_t c_end = c0 + kTile < width ? c0 + kTile : width;
    for (int64_t r0 = 0; r0 < height; r0 += kTile) {
      const int64_t r_end = r0 + kTile < height ? r0 + kTile : height;
      for (int64_t c = c0; c < c_end; ++c) {
        float* out = reinterpret_cast<float*>(view->data + (width - 1 - c) * view->stride);
        for (int64_t r = r0; r < r_end; ++r) out[r] = source[r * width + c];
      }
    }
  }
}

// Sets the canvas's bottom-right block (canvas rows depth.., columns rows..) to 0.0. The
// three panels cover every other pixel, and the canvas is only written once all three
// are placed, so clearing this block alone gives the canvas cleared before placing.
void clear_empty_block(const Volume& volume, Image* canvas) {
  const size_t bytes = static_cast<size_t>(volume.cols) * sizeof(float);
  const int64_t first_column = static_cast<int64_t>(volume.rows) * 4;
  for (int64_t r = volume.depth; r < static_cast<int64_t>(volume.depth) + volume.cols; ++r) {
    std::memset(canvas->data + r * canvas->stride + first_column, 0, bytes);
  }
}

bool write_combined(const Volume& volume, const FeaturePosition& p, const char* prefix,
                    int overlay) {
  char name[kFileNameSize];
  const int length = format_feature_file_name(name, sizeof name, prefix, p, "");
  if (length < 0 || static_cast<size_t>(length) >= sizeof name) return false;

  const int64_t width = static_cast<int64_t>(volume.rows) + volume.cols;
  const int64_t height = static_cast<int64_t>(volume.depth) + volume.cols;
  const int64_t stride = 4 * width;
  if (!fits_int32(stride) || !fits_int32(height)) return false;
  Image canvas;
  if (!canvas.init(static_cast<int32_t>(height), static_cast<int32_t>(width),
                   static_cast<int32_t>(stride), 32)) {
    return false;
  }
  clear_empty_block(volume, &canvas);

  Image slice;
  Image view;
  const int64_t panel_origin[3][2] = {{0, 0}, {volume.depth, 0}, {0, volume.rows}};
  const SliceKind order[3] = {kSliceZY, kSliceXY, kSliceZX};
  for (int k = 0; k < 3; ++k) {
    const SliceGeometry g = slice_geometry(order[k], volume, p);
    const bool turned = order[k] == kSliceXY;
    view.view(static_cast<int32_t>(turned ? g.width : g.height),
              static_cast<int32_t>(turned ? g.height : g.width), canvas.stride, 32,
              canvas.data + panel_origin[k][0] * canvas.stride + panel_origin[k][1] * 4);
    if (!make_slice(order[k], volume, p, overlay, &slice)) return false;
    if (turned) {
      copy_turned(slice, &view);
    } else {
      copy_rows(slice, &view);
    }
  }
  return write_float_as_pgm(canvas, name, 0) == 1;
}

}  // namespace

FeaturePosition feature_position(const Feature& feature) {
  FeaturePosition p;
  p.xi = truncate_to_int(static_cast<double>(feature.x));
  p.yi = truncate_to_int(static_cast<double>(feature.y));
  p.zi = truncate_to_int(static_cast<double>(feature.z));
  p.radius = truncate_to_int(2.0 * static_cast<double>(feature.scale));
  return p;
}

int format_feature_file_name(char* buffer, size_t size, const char* prefix,
                             const FeaturePosition& position, const char* suffix) {
  return std::snprintf(buffer, size, "%s_x%3.3d_y%3.3d_z%3.3d%s.pgm", prefix, position.xi,
                       position.yi, position.zi, suffix);
}

void report_unwritten_picture(const char* prefix, const FeaturePosition& position,
                              const char* suffix) {
  std::printf("Error: could not write feature image: %s_x%3.3d_y%3.3d_z%3.3d%s.pgm\n", prefix,
              position.xi, position.yi, position.zi, suffix);
}

int Feature::write_feature_panels(const Volume& volume, const char* prefix, int overlay,
                                  int combined) const {
  const FeaturePosition p = feature_position(*this);
  const bool usable = volume.data != nullptr && volume.depth > 0 && volume.rows > 0 &&
                      volume.cols > 0 && volume.channels > 0;
  if (combined) {
    if (usable && write_combined(volume, p, prefix, overlay)) return 1;
    report_unwritten_picture(prefix, p, "");
    return 0;
  }

  int result = 1;
  Image slice;
  const SliceKind order[3] = {kSliceZY, kSliceXY, kSliceZX};
  for (SliceKind kind : order) {
    const char* suffix = slice_geometry(kind, volume, p).suffix;
    char name[kFileNameSize];
    const int length = format_feature_file_name(name, sizeof name, prefix, p, suffix);
    const bool written = usable && length >= 0 && static_cast<size_t>(length) < sizeof name &&
                         make_slice(kind, volume, p, overlay, &slice) &&
                         write_float_as_pgm(slice, name, 0) == 1;
    if (!written) {
      report_unwritten_picture(prefix, p, suffix);
      result = 0;
    }
  }
  return result;
}
