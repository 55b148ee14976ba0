// Reading a text stream in pieces, as both text inputs (TextFile and the feature list)
// see their lines: a piece ends after a line feed, at the end of the stream, or when it
// holds its maximum number of characters. A carriage return right before a line feed is
// not part of the line; any other carriage return, and every NUL byte, is kept.
// Reading stops quietly at the end of the stream or at a read error (ferror tells which).
#pragma once

#include <cstdint>
#include <cstdio>

// A stream opened for reading in text mode ("rt") and locked for this thread while it
// is held, so pieces can be read without taking the lock per character. `file` is null
// when the path is null or cannot be opened.
class InputStream {
 public:
  explicit InputStream(const char* path);
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;
  ~InputStream();

  FILE* file = nullptr;
};

// Reads the next piece of at most `max_length` (>= 1) characters from `file`, which the
// caller has locked (InputStream does). Stores the piece in `out` (when not null) without
// a terminator, and returns its true length, NUL bytes included; 0 at the end of the
// stream or on a read error.
int32_t read_line_piece(FILE* file, char* out, int32_t max_length);
