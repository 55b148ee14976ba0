// An independent model of how the text inputs cut a byte stream into pieces, written
// straight from their documented rule rather than from the reader: a carriage return
// followed by a line feed reads as one line feed, and a piece ends after a line feed or
// once it holds kTextPieceLength characters. The fuzz targets compare the readers to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "input/text_file.h"

inline std::vector<std::string> model_pieces(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces;
  std::string piece;
  for (size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == '\r' && i + 1 < size && data[i + 1] == '\n') {
      c = '\n';
      ++i;
    }
    piece.push_back(c);
    if (c == '\n' || piece.size() == static_cast<size_t>(kTextPieceLength)) {
      pieces.push_back(piece);
      piece.clear();
    }
  }
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}
