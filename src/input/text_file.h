// TextFile: a whole text file held as a table of equal-width, zero-terminated line slots,
// so that any line can be reached by index and split in place. A carriage return before a
// line feed is dropped, and a piece keeps its last character unless it is a line feed.
// Operations report failures by the result codes below and print nothing.
#pragma once

#include <cstdint>

enum TextFileResult {
  kTextOk = 0,
  kTextNoLines = -1,      // read: the file has no lines; write: the table is not valid
  kTextCannotOpen = -2,   // read/write: the file cannot be opened (or re-read)
  kTextNoMemory = -3,     // read/allocate: a buffer cannot be obtained
  kTextNullPath = -4,     // write: the path is null
};

// Longest piece a line is read in, without its terminator; longer lines are split.
constexpr int32_t kTextPieceLength = 1999;

class TextFile {
 public:
  TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile();  // release

  // Reads the whole file, replacing the content. kTextOk; kTextNoLines when the file has
  // no lines (old content released); kTextCannotOpen when it cannot be opened (old content
  // kept) or cannot be read a second time; kTextNoMemory when a buffer cannot be had.
  virtual int read(const char* path);
  // Writes every slot followed by "\n" ("wt"). kTextOk; kTextNoLines for an invalid table;
  // kTextNullPath; kTextCannotOpen when it cannot be opened or written completely.
  virtual int write(const char* path);
  // Always 1.
  virtual int type_code();

  // Releases, then makes a zero-filled table of count x width bytes. kTextOk; -1 when
  // the table is still valid after release; -2 when count or width is not positive;
  // kTextNoMemory when the buffer cannot be had (count x width is formed in 64 bits).
  int allocate(int32_t count, int32_t width);
  // Frees the buffer; count and width keep their values. 0, or -1 (nothing freed) when a
  // buffer is present with a non-positive count or width.
  int release();
  // 1 when count > 0, width > 0 and a buffer is present, else 0.
  int is_valid() const;
  int32_t get_count() const;
  // Slot i, or null when i is outside 0..count-1 or the table is not valid.
  char* get_line(int32_t i);

  // The part of `path` after its last backslash, or else after its last slash, or the
  // whole path; null for null. Uses no state of the object.
  static const char* base_name(const char* path);

  int32_t line_count = 0;  // number of line slots
  int32_t line_width = 0;  // bytes per slot: longest piece (newline included) plus one
  char* buffer = nullptr;  // line_count x line_width bytes, owned; slot i at i*line_width
};
