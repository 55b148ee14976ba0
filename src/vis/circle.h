// Midpoint (Bresenham) circles, traced point by point into a plot callback, and drawn into
// an Image with every point outside the image moved onto its nearest border pixel.
// Drawing never fails; an image without rows or columns is left alone.
#pragma once

#include <cstdint>

#include "image/image.h"

// Receives one circle point (row, column) and the caller's context; its result is ignored.
using PlotCallback = int (*)(int32_t row, int32_t col, void* context);

// Eight symmetric points per step: j = trunc(radius), d = trunc(3 - 2*radius),
// e = trunc(10 - 4*radius), f = 6, i = 0; each coordinate is trunc(centre +- (float)counter)
// formed in double (saturated to 32 bits). Nothing is plotted for a negative radius.
void trace_circle(float centre_row, float centre_col, float radius, PlotCallback plot,
                  void* context);

struct PlotContext {
  Image* target;         // the image drawn into
  uint8_t colour[3];     // colour k goes to byte k of a pixel
  float alpha;           // weight of the colour in a blend; 1 is opaque
  const Image* other;    // blended with the colour; the target unless another is given
};

// Clamps (row, col) into the target and sets that pixel: float pixels become colour[0],
// 8/24-bit bytes the blend trunc(o*(1-alpha) + c*alpha) in double, 16-bit pixels 1, other
// depths nothing. `context` is a PlotContext. Always 1.
int plot_circle_pixel(int32_t row, int32_t col, void* context);

// Traces a circle into `target` with plot_circle_pixel. `colour` null means white, `other`
// null means the target itself. When every repeated plot of a pixel gives the same result
// (opaque colour, or a float or 16-bit target) a huge radius is drawn in time bounded by
// the image size, setting exactly the pixels the full trace would. Always 1.
int draw_circle(int32_t centre_row, int32_t centre_col, int32_t radius, Image* target,
                const uint8_t* colour, float alpha, const Image* other);

// The j that trace_circle's loop holds at the top of its step with counter i, for this
// radius, from a closed form in constant time; -1 for a step the loop never reaches
// (also for a negative radius). Exact for every radius up to 2^31.
int64_t midpoint_j_at(float radius, int64_t i);

// Sets exactly the pixels that trace_circle with plot_circle_pixel sets for this circle
// (centre and radius converted to floats), visiting only the loop counters at which a
// clamped point can move, so in time bounded by the image size rather than the radius.
// Only meant for plots where a second plot of a pixel changes nothing; draw_circle uses
// it for large radii then.
void plot_circle_bounded(int32_t centre_row, int32_t centre_col, int32_t radius,
                         PlotContext* context);

// draw_circle in opaque white. Always 1.
int draw_white_circle(int32_t centre_row, int32_t centre_col, int32_t radius, Image* target);
