#include "input/line_pieces.h"

InputStream::InputStream(const char* path) {
  if (path == nullptr) return;
  file = std::fopen(path, "rt");
  if (file != nullptr) flockfile(file);
}

InputStream::~InputStream() {
  if (file == nullptr) return;
  funlockfile(file);
  std::fclose(file);
}

int32_t read_line_piece(FILE* file, char* out, int32_t max_length) {
  int32_t length = 0;
  while (length < max_length) {
    int c = getc_unlocked(file);
    if (c == EOF) break;
    if (c == '\r') {
      // The C library here keeps the CR of a CRLF line end even in text mode.
      const int next = getc_unlocked(file);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file);
      }
    }
    if (out != nullptr) out[length] = static_cast<char>(c);
    ++length;
    if (c == '\n') break;
  }
  return length;
}
