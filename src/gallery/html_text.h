// Text for the gallery page: escaping for HTML text and attributes, for JSON inside a
// <script> element, and for relative URLs, plus the one way feature numbers are printed.
// Everything here is total: any byte string gives some output, nothing fails.
#pragma once

#include <string>
#include <string_view>

// Appends `text` with &, <, >, " and ' replaced by character references, so that it
// shows as itself both as element text and inside a quoted attribute value.
void append_html_escaped(std::string* out, std::string_view text);

// Appends `text` as a double-quoted JSON string. Besides the JSON escapes, <, > and &
// are written as \u003c, \u003e and \u0026 so that no "</script>" or "<!--" can end the
// element the data sits in.
void append_json_string(std::string* out, std::string_view text);

// Percent-encodes every byte of a relative path except A-Z a-z 0-9 - . _ ~ and /, so a
// file name holding #, ?, %, a blank or a backslash is fetched as that file.
std::string percent_encode_path(std::string_view path);

// The shortest decimal text that reads back as the same float ("10.9", "3", "-0.5",
// "1e+20", "nan", "inf"), as the captions and the exports show a feature's numbers.
std::string format_feature_number(float value);
