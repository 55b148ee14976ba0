// Fuzzes the line table (TextFile::read) and the command file reader on arbitrary bytes.
// Besides the sanitizers it checks the table against the piece model and the reader's
// three sequences against the table: equal lengths, and every string inside its own slot.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "feature/feature.h"
#include "fuzz_files.h"
#include "input/list_readers.h"
#include "input/text_file.h"
#include "line_model.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// True when `text` starts inside slot `line` of `table` and ends before the slot does.
bool inside_slot(TextFile& table, int32_t line, const char* text) {
  const char* slot = table.get_line(line);
  const size_t width = static_cast<size_t>(table.line_width);
  if (text < slot || text >= slot + width) return false;
  return std::memchr(text, '\0', width - static_cast<size_t>(text - slot)) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz_file("commands.txt");
  write_fuzz_file(path, data, size);
  const std::vector<std::string> pieces = model_pieces(data, size);

  TextFile table;
  const int result = table.read(path.c_str());
  if (pieces.empty()) {
    require(result == kTextNoLines && table.is_valid() == 0 && table.get_line(0) == nullptr);
    return 0;
  }
  require(result == kTextOk);
  require(table.get_count() == static_cast<int32_t>(pieces.size()));
  size_t longest = 0;
  for (const std::string& piece : pieces) longest = piece.size() > longest ? piece.size() : longest;
  require(table.line_width == static_cast<int32_t>(longest + 1));
  for (int32_t i = 0; i < table.get_count(); ++i) {
    std::string expected = pieces[static_cast<size_t>(i)];
    if (expected.back() == '\n') expected.pop_back();
    expected.resize(static_cast<size_t>(table.line_width), '\0');
    require(std::memcmp(table.get_line(i), expected.data(), expected.size()) == 0);
  }
  require(table.get_line(-1) == nullptr && table.get_line(table.get_count()) == nullptr);

  // Which lines the reader must accept, judged on the slots before it splits them.
  std::vector<int32_t> accepted;
  for (int32_t i = 0; i < table.get_count(); ++i) {
    const char* line = table.get_line(i);
    int tabs = 0;
    for (const char* c = line; *c != '\0'; ++c) tabs += *c == '\t' ? 1 : 0;
    if (line[0] != '#' && tabs >= 5) accepted.push_back(i);
  }

  std::vector<const char*> image_paths;
  std::vector<const char*> output_codes;
  FeatureTable features;
  const int count = read_command_file(&image_paths, &features, &output_codes, &table);
  require(count == static_cast<int>(accepted.size()));
  require(features.count() == accepted.size() && image_paths.size() == accepted.size() &&
          output_codes.size() == accepted.size());
  for (size_t k = 0; k < accepted.size(); ++k) {
    require(image_paths[k] == table.get_line(accepted[k]));
    require(inside_slot(table, accepted[k], image_paths[k]));
    require(inside_slot(table, accepted[k], output_codes[k]));
    require(std::strchr(output_codes[k], '\t') == nullptr);
    require(features.at(k)->info == 0);
  }

  // Reading again into a table that holds content replaces it with the same lines.
  TextFile again;
  require(again.read(path.c_str()) == kTextOk && again.get_count() == table.get_count());
  require(again.write(fuzz_file("copy.txt").c_str()) == kTextOk);
  return 0;
}
