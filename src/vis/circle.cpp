#include "vis/circle.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "vis/truncate.h"

namespace {

// 2^63 overflows long before the loop counters do: j*j with j near 2^31 plus the decision
// constants needs more than 63 bits.
__extension__ typedef __int128 Wide;

// Below this radius the full trace costs less than the bookkeeping of the jumping walk.
const int32_t kPlainTraceRadius = 4096;
// A float of a counter below 2^31 is at most 64 away from the counter. A coordinate further
// than this outside the image therefore cannot reach a different clamped pixel before the
// walk has looked at it again.
const double kWindowMargin = 512.0;
// No further loop counter / no drop count: the coordinate or the loop never changes again.
const int64_t kNever = INT64_MAX;

// Keeps the midpoint state free of overflow for any float radius; the limit is far beyond
// what a 32-bit radius can produce, so it never alters a circle that draw_circle asks for.
int64_t truncate_to_wide_int(double value) {
  const double limit = 4611686018427387904.0;  // 2^62
  if (std::isnan(value)) return 0;
  if (value >= limit) return INT64_C(1) << 62;
  if (value <= -limit) return -(INT64_C(1) << 62);
  return static_cast<int64_t>(value);
}

struct MidpointStart {
  int64_t j;  // first row counter, trunc(radius)
  int64_t d;  // first decision value, trunc(3 - 2 * radius)
  int64_t e;  // first increment after a drop of j, trunc(10 - 4 * radius)
};

MidpointStart midpoint_start(float radius) {
  const double r = static_cast<double>(radius);
  return {truncate_to_int(r), truncate_to_wide_int(3.0 - 2.0 * r),
          truncate_to_wide_int(10.0 - 4.0 * r)};
}

double counter_as_float(int64_t counter) {
  return static_cast<double>(static_cast<float>(counter));
}

void plot_eight(double row, double col, int64_t i, int64_t j, PlotCallback plot,
                void* context) {
  const double fi = counter_as_float(i);
  const double fj = counter_as_float(j);
  plot(truncate_to_int(row - fj), truncate_to_int(col - fi), context);
  plot(truncate_to_int(row - fj), truncate_to_int(col + fi), context);
  plot(truncate_to_int(row - fi), truncate_to_int(col - fj), context);
  plot(truncate_to_int(row - fi), truncate_to_int(col + fj), context);
  plot(truncate_to_int(row + fi), truncate_to_int(col - fj), context);
  plot(truncate_to_int(row + fi), truncate_to_int(col + fj), context);
  plot(truncate_to_int(row + fj), truncate_to_int(col - fi), context);
  plot(truncate_to_int(row + fj), truncate_to_int(col + fi), context);
}

// The midpoint loop in closed form. Summing its increments (f = 4k + 6 at the step with
// counter k, or e = e0 + 4k + 4m when that step drops j after m earlier drops) gives, at
// the top of the step with counter i after n drops, the decision value
//   d0 + 2i^2 + 4i + (e0 - 8)n + 2n^2.
// The step with counter i - 1 drops j exactly when that value is not negative, and j drops
// at most once per step while the loop runs, so the drops seen at counter i >= 1 are the
// least n at which the value of step i - 1 is negative.
struct MidpointForm {
  int64_t j0;
  int64_t d0;
  int64_t e0;

  // Decision value of the step with counter i - 1 once j has dropped n times.
  Wide decision_before(int64_t i, int64_t n) const {
    const Wide wi = i;
    const Wide wn = n;
    return static_cast<Wide>(d0) + 2 * wi * wi - 2 + (static_cast<Wide>(e0) - 8) * wn +
           2 * wn * wn;
  }

  // Drops of j seen at the top of the step with counter i, or kNever when no count of
  // drops keeps the loop going (it has stopped by then).
  int64_t drops_at(int64_t i) const {
    if (i <= 0) return 0;
    const Wide b = static_cast<Wide>(e0) - 8;
    const Wide c = static_cast<Wide>(d0) + 2 * static_cast<Wide>(i) * static_cast<Wide>(i) - 2;
    const Wide discriminant = b * b - 8 * c;
    if (discriminant <= 0) return kNever;
    // The smaller root of 2n^2 + bn + c, then exact correction on both sides.
    const long double root =
        (-static_cast<long double>(b) - std::sqrt(static_cast<long double>(discriminant))) /
        4.0L;
    int64_t n = root < 0.0L ? 0 : static_cast<int64_t>(std::floor(root)) + 1;
    while (n > 0 && decision_before(i, n - 1) < 0) --n;
    while (decision_before(i, n) >= 0) {
      // Past the vertex the quadratic only grows: no count of drops is negative.
      if (4 * static_cast<Wide>(n) + b >= 0) return kNever;
      ++n;
    }
    return n;
  }

  // The least counter at which j has dropped at least `drops` times.
  int64_t first_counter_with(int64_t drops) const {
    if (drops <= 0) return 0;
    // For these drop counts the decision value falls with n, so reaching `drops` needs only
    // the value at drops - 1 to be non-negative: 2i^2 >= need.
    const Wide m = drops - 1;
    const Wide need = 2 - static_cast<Wide>(d0) - (static_cast<Wide>(e0) - 8) * m - 2 * m * m;
    int64_t i = 1;
    if (need > 2) {
      i = static_cast<int64_t>(std::ceil(std::sqrt(static_cast<long double>(need) / 2.0L)));
      if (i < 1) i = 1;
    }
    while (i > 1 && drops_at(i - 1) >= drops) --i;
    while (drops_at(i) < drops) ++i;
    return i;
  }
};

MidpointForm midpoint_form(float radius) {
  const MidpointStart start = midpoint_start(radius);
  return {start.j, start.d, start.e};
}

bool has_pixels(const Image* image) {
  return image != nullptr && image->width > 0 && image->height > 0 && image->data != nullptr;
}

uint8_t* pixel_at(const Image& image, int32_t row, int32_t col, int32_t bytes) {
  return image.data + static_cast<ptrdiff_t>(row) * image.stride +
         static_cast<ptrdiff_t>(col) * bytes;
}

// Bounds of the unclamped coordinates the walk treats as able to move a clamped one.
struct Window {
  double low;
  double high;
};

Window window_for(int32_t extent) {
  return {-kWindowMargin, static_cast<double>(extent) - 1.0 + kWindowMargin};
}

// Next counter at which the coordinate centre + sign * float(i) may give another clamped
// value; it moves with every counter, so inside the window that is the very next one.
int64_t next_for_counter_coordinate(double centre, int sign, const Window& window, int64_t i) {
  const double fi = counter_as_float(i);
  if (sign > 0) {
    const double value = centre + fi;
    if (value > window.high) return kNever;
    if (value >= window.low) return i + 1;
    return std::max(i + 1, static_cast<int64_t>(std::ceil(window.low - centre)));
  }
  const double value = centre - fi;
  if (value < window.low) return kNever;
  if (value <= window.high) return i + 1;
  return std::max(i + 1, static_cast<int64_t>(std::ceil(centre - window.high)));
}

// Next counter at which the coordinate centre + sign * float(j) may give another clamped
// value. It moves only when j drops; from outside the window it waits for the j that
// brings it back in.
int64_t next_for_row_coordinate(double centre, int sign, const Window& window, int64_t i,
                                int64_t drops, const MidpointForm& form) {
  const double fj = counter_as_float(form.j0 - drops);
  double entering_j;
  if (sign < 0) {
    const double value = centre - fj;
    if (value > window.high) return kNever;
    if (value >= window.low) return form.first_counter_with(drops + 1);
    entering_j = std::floor(centre - window.low);
  } else {
    const double value = centre + fj;
    if (value < window.low) return kNever;
    if (value <= window.high) return form.first_counter_with(drops + 1);
    entering_j = std::floor(window.high - centre);
  }
  if (entering_j < 0.0) return kNever;
  if (entering_j >= static_cast<double>(form.j0)) return i + 1;
  const int64_t target_drops = form.j0 - static_cast<int64_t>(entering_j);
  return std::max(i + 1, form.first_counter_with(target_drops));
}

}  // namespace

void trace_circle(float centre_row, float centre_col, float radius, PlotCallback plot,
                  void* context) {
  const MidpointStart start = midpoint_start(radius);
  if (start.j < 0) return;
  const double row = static_cast<double>(centre_row);
  const double col = static_cast<double>(centre_col);
  int64_t j = start.j;
  int64_t d = start.d;
  int64_t e = start.e;
  int64_t f = 6;
  int64_t i = 0;
  do {
    plot_eight(row, col, i, j, plot, context);
    if (d >= 0) {
      d += e;
      e += 8;
      --j;
    } else {
      d += f;
      e += 4;
    }
    f += 4;
    ++i;
  } while (i <= j);
}

int plot_circle_pixel(int32_t row, int32_t col, void* context) {
  const PlotContext* plot = static_cast<const PlotContext*>(context);
  Image* target = plot->target;
  if (!has_pixels(target)) return 1;
  row = clamp_index(row, target->height);
  col = clamp_index(col, target->width);
  const int32_t bytes = target->bits_per_pixel / 8;
  uint8_t* pixel = pixel_at(*target, row, col, bytes);
  if (bytes == 4) {
    const float value = static_cast<float>(plot->colour[0]);
    std::memcpy(pixel, &value, sizeof value);
  } else if (bytes == 2) {
    const uint16_t value = 1;
    std::memcpy(pixel, &value, sizeof value);
  } else if (bytes == 1 || bytes == 3) {
    const Image* other = plot->other != nullptr ? plot->other : target;
    // A blend source without this pixel, or of another depth, has nothing to blend with.
    if (!has_pixels(other) || row >= other->height || col >= other->width ||
        other->bits_per_pixel / 8 != bytes) {
      return 1;
    }
    const uint8_t* source = pixel_at(*other, row, col, bytes);
    const double alpha = static_cast<double>(plot->alpha);
    const double keep = 1.0 - alpha;
    for (int32_t k = 0; k < bytes; ++k) {
      const double blended = static_cast<double>(source[k]) * keep +
                             static_cast<double>(plot->colour[k]) * alpha;
      pixel[k] = static_cast<uint8_t>(static_cast<uint32_t>(truncate_to_int(blended)) & 0xFFu);
    }
  }
  return 1;
}

int64_t midpoint_j_at(float radius, int64_t i) {
  const MidpointForm form = midpoint_form(radius);
  if (form.j0 < 0 || i < 0) return -1;
  const int64_t drops = form.drops_at(i);
  if (drops == kNever || i > form.j0 - drops) return -1;
  return form.j0 - drops;
}

void plot_circle_bounded(int32_t centre_row, int32_t centre_col, int32_t radius,
                         PlotContext* context) {
  const Image* target = context->target;
  if (radius < 0 || !has_pixels(target)) return;
  const double row = static_cast<double>(static_cast<float>(centre_row));
  const double col = static_cast<double>(static_cast<float>(centre_col));
  const MidpointForm form = midpoint_form(static_cast<float>(radius));
  const Window rows = window_for(target->height);
  const Window cols = window_for(target->width);
  int64_t i = 0;
  for (;;) {
    const int64_t drops = form.drops_at(i);
    if (drops == kNever) return;
    const int64_t j = form.j0 - drops;
    if (i > j) return;
    plot_eight(row, col, i, j, plot_circle_pixel, context);
    // Every clamped coordinate of the eight points is monotone in i; between here and the
    // earliest counter at which one of them can move, the same eight pixels recur.
    int64_t next = kNever;
    next = std::min(next, next_for_counter_coordinate(col, -1, cols, i));
    next = std::min(next, next_for_counter_coordinate(col, +1, cols, i));
    next = std::min(next, next_for_counter_coordinate(row, -1, rows, i));
    next = std::min(next, next_for_counter_coordinate(row, +1, rows, i));
    next = std::min(next, next_for_row_coordinate(row, -1, rows, i, drops, form));
    next = std::min(next, next_for_row_coordinate(row, +1, rows, i, drops, form));
    next = std::min(next, next_for_row_coordinate(col, -1, cols, i, drops, form));
    next = std::min(next, next_for_row_coordinate(col, +1, cols, i, drops, form));
    if (next == kNever) return;
    i = next;
  }
}

int draw_circle(int32_t centre_row, int32_t centre_col, int32_t radius, Image* target,
                const uint8_t* colour, float alpha, const Image* other) {
  PlotContext context;
  context.target = target;
  for (int k = 0; k < 3; ++k) context.colour[k] = colour != nullptr ? colour[k] : 255;
  context.alpha = alpha;
  context.other = other != nullptr ? other : target;
  if (!has_pixels(target)) return 1;
  const int32_t bytes = target->bits_per_pixel / 8;
  if (bytes < 1 || bytes > 4) return 1;
  // Repeated plots of a pixel leave it as one plot does, so only the set of pixels matters.
  const bool idempotent = bytes == 4 || bytes == 2 || alpha == 1.0f;
  if (idempotent && radius > kPlainTraceRadius) {
    plot_circle_bounded(centre_row, centre_col, radius, &context);
  } else {
    trace_circle(static_cast<float>(centre_row), static_cast<float>(centre_col),
                 static_cast<float>(radius), plot_circle_pixel, &context);
  }
  return 1;
}

int draw_white_circle(int32_t centre_row, int32_t centre_col, int32_t radius, Image* target) {
  const uint8_t white[3] = {255, 255, 255};
  return draw_circle(centre_row, centre_col, radius, target, white, 1.0f, nullptr);
}
