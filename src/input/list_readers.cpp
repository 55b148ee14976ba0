#include "input/list_readers.h"

#include <cstring>
#include <limits>

#include "input/c_numbers.h"
#include "input/line_pieces.h"

namespace {

int count_as_int(const FeatureTable& features) {
  const size_t count = features.count();
  const size_t most = static_cast<size_t>(std::numeric_limits<int>::max());
  return static_cast<int>(count < most ? count : most);
}

}  // namespace

int read_feature_list(const char* path, FeatureTable* features) {
  if (features == nullptr) return -1;
  InputStream input(path);
  if (input.file == nullptr) return -1;

  Feature record;
  features->clear();
  char piece[kTextPieceLength + 1];
  for (;;) {
    const int32_t length = read_line_piece(input.file, piece, kTextPieceLength);
    if (length == 0) break;
    piece[length] = '\0';
    float numbers[4];
    if (scan_feature_line(piece, numbers) != 4) continue;
    record.x = numbers[0];
    record.y = numbers[1];
    record.z = numbers[2];
    record.scale = numbers[3];
    record.info = 0;
    features->append(record);
  }
  return count_as_int(*features);
}

int read_command_file(std::vector<const char*>* image_paths, FeatureTable* features,
                      std::vector<const char*>* output_codes, TextFile* text) {
  if (features == nullptr) return 0;
  if (image_paths == nullptr || output_codes == nullptr || text == nullptr) {
    return count_as_int(*features);
  }

  Feature record;
  features->clear();
  const int32_t lines = text->get_count();
  for (int32_t i = 0; i < lines; ++i) {
    char* line = text->get_line(i);
    if (line == nullptr || line[0] == '#') continue;

    // Fields 0..5; a sixth tab only ends the output code, the rest of the line is unused.
    constexpr int kFields = 6;
    char* fields[kFields] = {line, nullptr, nullptr, nullptr, nullptr, nullptr};
    int tabs = 0;
    for (int k = 1; k <= kFields; ++k) {
      char* tab = std::strchr(fields[k - 1], '\t');
      if (tab == nullptr) break;
      *tab = '\0';
      ++tabs;
      if (k < kFields) fields[k] = tab + 1;
    }
    if (tabs < kFields - 1) continue;

    record.x = parse_float(fields[1]);
    record.y = parse_float(fields[2]);
    record.z = parse_float(fields[3]);
    record.scale = parse_float(fields[4]);
    image_paths->push_back(fields[0]);
    features->append(record);
    output_codes->push_back(fields[5]);
  }
  return count_as_int(*features);
}
