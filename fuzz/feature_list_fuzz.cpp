// Fuzzes the feature list reader on arbitrary bytes and compares it with the piece model:
// one record, in order, for every piece that sscanf reads four numbers from.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "feature/feature.h"
#include "fuzz_files.h"
#include "input/list_readers.h"
#include "line_model.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz_file("features.txt");
  write_fuzz_file(path, data, size);

  std::vector<Feature> expected;
  for (const std::string& piece : model_pieces(data, size)) {
    float v[4];
    if (std::sscanf(piece.c_str(), "%f\t%f\t%f\t%f", &v[0], &v[1], &v[2], &v[3]) != 4) continue;
    Feature record;
    record.x = v[0];
    record.y = v[1];
    record.z = v[2];
    record.scale = v[3];
    expected.push_back(record);
  }

  FeatureTable features;
  features.resize(3);  // the reader clears what was there
  const int count = read_feature_list(path.c_str(), &features);
  require(count == static_cast<int>(expected.size()) && features.count() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Feature& got = *features.at(i);
    require(got.info == 0 && same_bits(got.x, expected[i].x) && same_bits(got.y, expected[i].y) &&
            same_bits(got.z, expected[i].z) && same_bits(got.scale, expected[i].scale));
    const Feature zero;
    require(std::memcmp(got.matrix, zero.matrix, sizeof zero.matrix) == 0 &&
            std::memcmp(got.values, zero.values, sizeof zero.values) == 0);
  }
  return 0;
}
