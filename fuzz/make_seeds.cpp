// kelvora-fuzz-seeds DIR: writes the seed corpora of the fuzz targets into DIR/<target>/.
// The seeds are small, deterministic and cover each target's input layout: command files
// and feature lists with the awkward line forms, NIfTI-1 and ANALYZE images of every
// datatype (one file and pairs), and panel inputs with special coordinates and scales.
#include <nifti1_io.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

bool write_bytes(const fs::path& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

Bytes read_bytes(const fs::path& path) {
  Bytes bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  int c;
  while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  return bytes;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void append(Bytes* bytes, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), p, p + size);
}

// Writes an image of `datatype` through the library into `work` and returns its files:
// the single file, or the header and the data file of a pair.
bool library_image(const fs::path& work, int datatype, int file_type, const int (&extents)[4],
                   Bytes* first, Bytes* second) {
  const int dims[8] = {extents[3] > 1 ? 4 : 3, extents[0], extents[1], extents[2], extents[3], 1, 1, 1};
  nifti_image* image = nifti_make_new_nim(dims, datatype, 0);
  if (image == nullptr) return false;
  for (int i = image->dim[0] + 1; i < 8; ++i) image->dim[i] = 1;
  nifti_update_dims_from_array(image);
  const size_t bytes = image->nvox * static_cast<size_t>(image->nbyper);
  image->data = std::malloc(bytes);
  if (image->data == nullptr) {
    nifti_image_free(image);
    return false;
  }
  // Distinct values that survive every datatype: 1, 2, 3, ... in each stored byte pattern.
  uint8_t* out = static_cast<uint8_t*>(image->data);
  for (size_t i = 0; i < image->nvox; ++i) {
    const double value = static_cast<double>(i % 100) + 1.0;
    switch (datatype) {
      case DT_UINT8: out[i] = static_cast<uint8_t>(value); break;
      case DT_INT8: reinterpret_cast<int8_t*>(out)[i] = static_cast<int8_t>(-value); break;
      case DT_INT16: reinterpret_cast<int16_t*>(out)[i] = static_cast<int16_t>(value * 300); break;
      case DT_UINT16: reinterpret_cast<uint16_t*>(out)[i] = static_cast<uint16_t>(value * 600); break;
      case DT_INT32: reinterpret_cast<int32_t*>(out)[i] = static_cast<int32_t>(-value * 1e7); break;
      case DT_UINT32: reinterpret_cast<uint32_t*>(out)[i] = static_cast<uint32_t>(value * 4e7); break;
      case DT_FLOAT32: reinterpret_cast<float*>(out)[i] = static_cast<float>(value / 7); break;
      case DT_FLOAT64: reinterpret_cast<double*>(out)[i] = i == 0 ? 1e300 : value / 3; break;
      default: std::memset(out + i * static_cast<size_t>(image->nbyper), static_cast<int>(i), static_cast<size_t>(image->nbyper));
    }
  }
  image->nifti_type = file_type;
  const fs::path base = work / ("image" + std::to_string(datatype) + "_" + std::to_string(file_type));
  const std::string name = base.string() + (file_type == NIFTI_FTYPE_NIFTI1_1 ? ".nii" : ".hdr");
  bool written = false;
  if (nifti_set_filenames(image, name.c_str(), 0, 1) == 0) {
    nifti_image_write(image);
    *first = read_bytes(image->fname);
    if (file_type != NIFTI_FTYPE_NIFTI1_1) *second = read_bytes(image->iname);
    written = !first->empty() && (file_type == NIFTI_FTYPE_NIFTI1_1 || !second->empty());
  }
  nifti_image_free(image);
  return written;
}

Bytes loader_seed(bool pair, bool by_image_name, const Bytes& first, const Bytes& second) {
  Bytes seed;
  seed.push_back(static_cast<uint8_t>((pair ? 1 : 0) | (by_image_name ? 2 : 0)));
  if (pair) {
    seed.push_back(static_cast<uint8_t>(first.size() & 0xFF));
    seed.push_back(static_cast<uint8_t>(first.size() >> 8));
  }
  seed.insert(seed.end(), first.begin(), first.end());
  seed.insert(seed.end(), second.begin(), second.end());
  return seed;
}

Bytes panels_seed(uint8_t depth, uint8_t rows, uint8_t cols, uint8_t flags, float x, float y,
                  float z, float scale, const std::vector<float>& voxels) {
  Bytes seed = {depth, rows, cols, flags};
  for (float v : {x, y, z, scale}) append(&seed, &v, sizeof v);
  for (float v : voxels) append(&seed, &v, sizeof v);
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelvora-fuzz-seeds DIR\n");
    return 2;
  }
  const fs::path root = argv[1];
  int failures = 0;
  auto put = [&](const char* target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(root / target);
    if (!write_bytes(root / target / name, bytes)) {
      std::fprintf(stderr, "cannot write %s/%s\n", target, name.c_str());
      ++failures;
    }
  };

  const std::string long_line = std::string(1998, 'a') + "\r\n" + std::string(2001, 'b') + "\n";
  put("text_file", "commands", text("# image\tx\ty\tz\tscale\tcode\n"
                                    "a.nii\t2.7\t1.2\t1.9\t0.4\tone\n"
                                    "a.nii\t1\t1\t1\t1\ttwo\textra\tfields\n"
                                    "too\tfew\ttabs\t1\n"
                                    " #b.nii\tabc\t-3\t1e30\tnan\tthree\r\n"
                                    "\n"
                                    "c.nii\t0x10\tinf\t-inf\t1e9\tfour"));
  put("text_file", "crlf", text("a\r\n\r\nb\r\r\nc\rd\n"));
  put("text_file", "long", text(long_line));
  put("text_file", "nul", Bytes{'x', 0, '\t', 'y', '\t', '\t', '\t', '\t', 'z', '\n', 0, '\n', '#'});

  put("feature_list", "list", text("# x y z scale\r\n2.7\t1.2 1.9 0.4 trailing text\r\n\r\n"
                                   "1-2-3-4\n0 0 0 0\n1 2 3\n"
                                   "nan inf -inf 1e30\n-1e30 0x1p3 1e-45 -0\n"
                                   "  +5 6e1 .5 7."));
  put("feature_list", "long", text(std::string(1990, ' ') + "1 2 3 4 5\n" + long_line));
  put("feature_list", "nul", Bytes{'1', ' ', '2', 0, ' ', '3', ' ', '4', '\n', '5', ' ', '6', ' ', '7', ' ', '8'});

  const fs::path work = fs::temp_directory_path() / "kelvora-fuzz-seeds";
  fs::remove_all(work);
  fs::create_directories(work);
  const int datatypes[] = {DT_UINT8, DT_INT8, DT_INT16, DT_UINT16, DT_INT32, DT_UINT32,
                           DT_FLOAT32, DT_FLOAT64, DT_RGB24, DT_INT64};
  for (int datatype : datatypes) {
    const int extents[4] = {4, 3, 2, datatype == DT_INT16 ? 2 : 1};
    Bytes first;
    Bytes second;
    const std::string type = std::to_string(datatype);
    if (library_image(work, datatype, NIFTI_FTYPE_NIFTI1_1, extents, &first, &second)) {
      put("loader", "nii_" + type, loader_seed(false, false, first, second));
    } else {
      ++failures;
    }
    first.clear();
    second.clear();
    if (library_image(work, datatype, NIFTI_FTYPE_NIFTI1_2, extents, &first, &second)) {
      put("loader", "pair_" + type, loader_seed(true, false, first, second));
    } else {
      ++failures;
    }
  }
  for (int datatype : {DT_UINT8, DT_INT16, DT_FLOAT32}) {
    const int extents[4] = {5, 1, 3, 1};
    Bytes first;
    Bytes second;
    if (library_image(work, datatype, NIFTI_FTYPE_ANALYZE, extents, &first, &second)) {
      put("loader", "analyze_" + std::to_string(datatype), loader_seed(true, true, first, second));
    } else {
      ++failures;
    }
  }
  fs::remove_all(work);

  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> ramp;
  for (int i = 0; i < 24; ++i) ramp.push_back(static_cast<float>(i * i) - 40.0f);
  const std::vector<float> special = {nan, inf, -inf, 1e30f, -1e30f, 0.0f, -0.0f, 3.0f};
  put("panels", "inside", panels_seed(1, 2, 3, 3, 2.7f, 1.2f, 1.9f, 0.4f, ramp));
  put("panels", "separate", panels_seed(1, 2, 3, 1, 1.0f, 1.0f, 0.0f, 1.3f, ramp));
  put("panels", "nan", panels_seed(4, 5, 6, 3, nan, nan, nan, nan, ramp));
  put("panels", "infinite", panels_seed(2, 7, 3, 2, inf, -inf, inf, inf, special));
  put("panels", "huge", panels_seed(6, 2, 8, 3, 1e30f, -1e30f, 1e9f, 1e9f, special));
  put("panels", "negative", panels_seed(12, 10, 2, 7, -3.7f, -0.5f, 20.0f, -1.0f, ramp));
  put("panels", "channels", panels_seed(3, 4, 5, 15, 2.0f, 2.0f, 1.0f, 2.0f, special));
  return failures == 0 ? 0 : 1;
}
