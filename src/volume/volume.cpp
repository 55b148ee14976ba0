#include "volume/volume.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include <nifti1_io.h>

#include "volume/nifti_convert.h"

// FLOAT64 -> float relies on IEEE conversion: nearest, ties to even, overflow to infinity.
static_assert(std::numeric_limits<float>::is_iec559, "IEEE-754 float required");
static_assert(std::numeric_limits<double>::is_iec559, "IEEE-754 double required");

namespace {

template <typename Stored>
inline float stored_to_float(const unsigned char* bytes, size_t index) {
  Stored value;
  std::memcpy(&value, bytes + index * sizeof(Stored), sizeof(Stored));
  return static_cast<float>(value);
}

// memcpy per element keeps the read free of alignment and aliasing assumptions and still
// compiles to a vector load. The blocks of fixed length are what GCC's -O2 vectoriser
// accepts (it takes no loop that would need a scalar remainder); restrict spares it a
// runtime overlap check, since the stored block and the float array never overlap.
template <typename Stored>
void convert_run(const void* stored, size_t count, float* __restrict out) {
  constexpr size_t kBlock = 16;
  const unsigned char* __restrict bytes = static_cast<const unsigned char*>(stored);
  size_t i = 0;
  for (; count - i >= kBlock; i += kBlock) {
    for (size_t k = 0; k < kBlock; ++k) out[i + k] = stored_to_float<Stored>(bytes, i + k);
  }
  for (; i < count; ++i) out[i] = stored_to_float<Stored>(bytes, i);
}

// The library fills voxels that a short data file lacks with zeros and only warns on
// standard error; such an image is refused rather than shown with invented voxels. A
// compressed or text image cannot be measured this way and is taken as read.
bool stored_data_complete(const nifti_image& image) {
  if (image.iname == nullptr || image.nifti_type == NIFTI_FTYPE_ASCII || nifti_is_gzfile(image.iname)) {
    return true;
  }
  std::error_code error;
  const uintmax_t file_bytes = std::filesystem::file_size(image.iname, error);
  if (error) return true;
  const uint64_t value_bytes = static_cast<uint64_t>(image.nbyper > 0 ? image.nbyper : 0);
  const uint64_t voxels = static_cast<uint64_t>(image.nvox);
  if (value_bytes != 0 && voxels > UINT64_MAX / value_bytes) return false;
  // A negative offset puts the data at the end of the file.
  const uint64_t offset = static_cast<uint64_t>(image.iname_offset > 0 ? image.iname_offset : 0);
  const uint64_t data_bytes = voxels * value_bytes;
  return data_bytes <= UINT64_MAX - offset && static_cast<uint64_t>(file_bytes) >= offset + data_bytes;
}

// The library quietly reads a zero or negative spatial extent, or a dimension count of 0,
// as 1, so a header claiming no rows would show a picture of an invented shape. Only the
// header as stored tells; a text image has none of its own and is taken as read.
bool stored_extents_positive(const nifti_image& image) {
  if (image.fname == nullptr || image.nifti_type == NIFTI_FTYPE_ASCII) return true;
  int swapped = 0;
  nifti_1_header* header = nifti_read_header(image.fname, &swapped, 0);
  if (header == nullptr) return true;
  bool positive = header->dim[0] >= 1;
  for (int i = 1; i <= 3 && i <= header->dim[0]; ++i) positive = positive && header->dim[i] >= 1;
  std::free(header);
  return positive;
}

}  // namespace

int load_volume(const char* path, Volume* volume) {
  // The header alone first: the library allocates the whole block its extents claim
  // before reading, so a few hundred bytes claiming gigabytes must be refused before that.
  nifti_image* image = nifti_image_read(path, 0);
  if (image == nullptr) return kLoadNoImage;
  if (!stored_data_complete(*image) || !stored_extents_positive(*image)) {
    nifti_image_free(image);
    return kLoadNoData;
  }
  // Most datatypes are read straight into the float array and widened there.
  switch (load_voxels_as_floats(image)) {
    case kLoadAsFloatsDone:
      return volume_from_float_image(image, volume);
    case kLoadAsFloatsReadFailed:
      nifti_image_free(image);
      return kLoadNoImage;
    case kLoadAsFloatsOutOfMemory:
      nifti_image_free(image);
      return kLoadOutOfMemory;
    default:
      break;
  }
  if (nifti_image_load(image) != 0) {
    nifti_image_free(image);
    return kLoadNoImage;
  }
  return volume_from_nifti_image(image, volume);
}

int release_volume(Volume* volume) {
  if (volume->data == nullptr) return 1;
  std::free(volume->spare2);
  std::free(volume->spare1);
  std::free(volume->data);
  volume->spare2 = nullptr;
  volume->spare1 = nullptr;
  volume->data = nullptr;
  return 1;
}

int convert_voxels_to_float(const void* stored, int datatype, size_t count, float* out) {
  switch (datatype) {
    case DT_UINT8:
      convert_run<uint8_t>(stored, count, out);
      return 1;
    case DT_INT16:
      convert_run<int16_t>(stored, count, out);
      return 1;
    case DT_INT32:
      convert_run<int32_t>(stored, count, out);
      return 1;
    case DT_FLOAT32:
      if (count > 0) std::memcpy(out, stored, count * sizeof(float));
      return 1;
    case DT_FLOAT64:
      convert_run<double>(stored, count, out);
      return 1;
    case DT_INT8:
      convert_run<int8_t>(stored, count, out);
      return 1;
    case DT_UINT16:
      convert_run<uint16_t>(stored, count, out);
      return 1;
    case DT_UINT32:
      convert_run<uint32_t>(stored, count, out);
      return 1;
    default:
      return 0;
  }
}

int datatype_size(int datatype) {
  switch (datatype) {
    case DT_UINT8:
    case DT_INT8:
      return 1;
    case DT_INT16:
    case DT_UINT16:
      return 2;
    case DT_INT32:
    case DT_FLOAT32:
    case DT_UINT32:
      return 4;
    case DT_FLOAT64:
      return 8;
    default:
      return 0;
  }
}
