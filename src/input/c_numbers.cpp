#include "input/c_numbers.h"

#include <locale.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Made once and kept for the life of the process; null if the C library cannot make it,
// in which case the conversions run in whatever locale is current.
locale_t c_numeric_locale() {
  static const locale_t locale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
  return locale;
}

// Switches this thread to the C numeric locale and back, so a process that set a locale
// with a decimal comma still reads "2.5" as two and a half.
class CNumericScope {
 public:
  CNumericScope() {
    const locale_t c_locale = c_numeric_locale();
    if (c_locale != nullptr) previous_ = uselocale(c_locale);
  }
  CNumericScope(const CNumericScope&) = delete;
  CNumericScope& operator=(const CNumericScope&) = delete;
  ~CNumericScope() {
    if (previous_ != nullptr) uselocale(previous_);
  }

 private:
  locale_t previous_ = nullptr;
};

}  // namespace

float parse_float(const char* text) {
  if (text == nullptr) return 0.0f;
  const CNumericScope scope;
  // Rounded through double, as atof would give it, not read directly as a float.
  return static_cast<float>(std::strtod(text, nullptr));
}

int scan_feature_line(const char* line, float out[4]) {
  if (line == nullptr || out == nullptr) return EOF;
  const CNumericScope scope;
  return std::sscanf(line, "%f\t%f\t%f\t%f", &out[0], &out[1], &out[2], &out[3]);
}
