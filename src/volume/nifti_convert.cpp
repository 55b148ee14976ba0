#include "volume/nifti_convert.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMaxFloats = SIZE_MAX / sizeof(float);

// Frees the library's record whatever way the hand-over ends.
struct ImageOwner {
  nifti_image* image;
  ~ImageOwner() {
    if (image != nullptr) nifti_image_free(image);
  }
};

bool has_usable_extents(const nifti_image& image) {
  if (image.nx < 1 || image.ny < 1 || image.nz < 1) return false;
  if (image.nvox > kMaxFloats) return false;
  // nx*ny fits in 62 bits; the product with nz is compared by division so it cannot wrap.
  const uint64_t plane = static_cast<uint64_t>(image.nx) * static_cast<uint64_t>(image.ny);
  const uint64_t voxels = static_cast<uint64_t>(image.nvox);
  return voxels / plane >= static_cast<uint64_t>(image.nz);
}

// Widens `count` stored values at the front of `block` into floats filling it, from the
// last value down. Float i covers bytes [4i, 4i + 4), which hold only stored values of
// index i or more (a stored value has at most 4 bytes); those above the current block are
// already widened, and a block reads all its values before it writes.
template <typename Stored>
void widen_in_place(void* block, size_t count) {
  static_assert(sizeof(Stored) <= sizeof(float), "wider values would be overwritten unread");
  constexpr size_t kBlock = 16;
  unsigned char* bytes = static_cast<unsigned char*>(block);
  size_t end = count;
  for (; end >= kBlock; end -= kBlock) {
    const size_t start = end - kBlock;
    float floats[kBlock];
    for (size_t k = 0; k < kBlock; ++k) {
      Stored value;
      std::memcpy(&value, bytes + (start + k) * sizeof(Stored), sizeof value);
      floats[k] = static_cast<float>(value);
    }
    std::memcpy(bytes + start * sizeof(float), floats, sizeof floats);
  }
  // The first values, fewer than a block, again all read before any is written.
  float floats[kBlock];
  for (size_t k = 0; k < end; ++k) {
    Stored value;
    std::memcpy(&value, bytes + k * sizeof(Stored), sizeof value);
    floats[k] = static_cast<float>(value);
  }
  if (end > 0) std::memcpy(bytes, floats, end * sizeof(float));
}

// False for a datatype outside the table or wider than a float.
bool widen_voxels_in_place(void* block, int datatype, size_t count) {
  switch (datatype) {
    case DT_UINT8:
      widen_in_place<uint8_t>(block, count);
      return true;
    case DT_INT8:
      widen_in_place<int8_t>(block, count);
      return true;
    case DT_INT16:
      widen_in_place<int16_t>(block, count);
      return true;
    case DT_UINT16:
      widen_in_place<uint16_t>(block, count);
      return true;
    case DT_INT32:
      widen_in_place<int32_t>(block, count);
      return true;
    case DT_UINT32:
      widen_in_place<uint32_t>(block, count);
      return true;
    case DT_FLOAT32:
      return true;  // already floats
    default:
      return false;
  }
}

// The hand-over shared by both ways of loading: `image` holds nvox floats.
int hand_over_floats(nifti_image* image, Volume* volume) {
  Volume loaded{};
  loaded.depth = image->nz;
  loaded.rows = image->ny;
  loaded.cols = image->nx;
  loaded.frames = image->nt;
  loaded.channels = 1;
  loaded.data = static_cast<float*>(image->data);
  image->data = nullptr;  // the Volume owns the floats now; the record must not free them
  *volume = loaded;
  return kLoadOk;
}

}  // namespace

float* allocate_float_array(size_t count) {
  if (count > kMaxFloats) return nullptr;
  // One float more than needed keeps an empty image from asking malloc for 0 bytes.
  const size_t bytes = (count == 0 ? 1 : count) * sizeof(float);
#if defined(MADV_HUGEPAGE)
  constexpr size_t kHugePage = size_t{2} << 20;
  if (bytes >= 4 * kHugePage && bytes <= SIZE_MAX - kHugePage) {
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block != nullptr) {
      // Only advice: where the kernel has no huge pages to give, small pages serve.
      madvise(block, rounded, MADV_HUGEPAGE);
      return static_cast<float*>(block);
    }
  }
#endif
  return static_cast<float*>(std::malloc(bytes));
}

int reg_changeDatatype(nifti_image* image) {
  if (datatype_size(image->datatype) == 0) {
    std::printf("err\treg_changeDatatype\tThe initial image data type is not supported\n");
    return kChangeDatatypeUnsupported;
  }
  float* floats = allocate_float_array(image->nvox);
  if (floats == nullptr) return kChangeDatatypeOutOfMemory;

  convert_voxels_to_float(image->data, image->datatype, image->nvox, floats);
  std::free(image->data);
  image->data = floats;
  image->datatype = DT_FLOAT32;
  image->nbyper = static_cast<int>(sizeof(float));
  return kChangeDatatypeDone;
}

int volume_from_nifti_image(nifti_image* image, Volume* volume) {
  if (image == nullptr) return kLoadNoImage;
  const ImageOwner owner{image};
  if (image->data == nullptr || !has_usable_extents(*image)) return kLoadNoData;

  switch (reg_changeDatatype(image)) {
    case kChangeDatatypeDone:
      break;
    case kChangeDatatypeUnsupported:
      return kLoadUnsupportedType;
    default:
      return kLoadOutOfMemory;
  }

  return hand_over_floats(image, volume);
}

int load_voxels_as_floats(nifti_image* image) {
  const int size = datatype_size(image->datatype);
  if (size == 0 || size > static_cast<int>(sizeof(float)) || image->nbyper != size ||
      image->data != nullptr || image->nifti_type == NIFTI_FTYPE_ASCII ||
      !has_usable_extents(*image)) {
    return kLoadAsFloatsNotApplicable;
  }
  float* floats = allocate_float_array(image->nvox);
  if (floats == nullptr) return kLoadAsFloatsOutOfMemory;
  // The library reads into a block that is already set; on failure it frees it.
  image->data = floats;
  if (nifti_image_load(image) != 0) {
    if (image->data == floats) {
      std::free(floats);
      image->data = nullptr;
    }
    return kLoadAsFloatsReadFailed;
  }
  widen_voxels_in_place(image->data, image->datatype, image->nvox);
  image->datatype = DT_FLOAT32;
  image->nbyper = static_cast<int>(sizeof(float));
  return kLoadAsFloatsDone;
}

int volume_from_float_image(nifti_image* image, Volume* volume) {
  if (image == nullptr) return kLoadNoImage;
  const ImageOwner owner{image};
  if (image->data == nullptr || image->datatype != DT_FLOAT32 || !has_usable_extents(*image)) {
    return kLoadNoData;
  }
  return hand_over_floats(image, volume);
}
