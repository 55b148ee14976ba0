// Number parsing with the C library's own conversions, always in the "C" numeric locale
// whatever locale the process has set, so a decimal point is a point.
#pragma once

// strtod of `text` rounded to single precision: leading white space skipped, stops at the
// first character that cannot continue a number, 0 when there is no leading number.
float parse_float(const char* text);

// sscanf(line, "%f\t%f\t%f\t%f", ...): the number of conversions that succeeded (0..4,
// or EOF for an empty line). `out` receives x, y, z and scale.
int scan_feature_line(const char* line, float out[4]);
