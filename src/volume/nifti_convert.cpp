#include "volume/nifti_convert.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

}  // namespace

int reg_changeDatatype(nifti_image* image) {
  if (datatype_size(image->datatype) == 0) {
    std::printf("err\treg_changeDatatype\tThe initial image data type is not supported\n");
    return kChangeDatatypeUnsupported;
  }
  if (image->nvox > kMaxFloats) return kChangeDatatypeOutOfMemory;
  // One float more than needed keeps an empty image from asking malloc for 0 bytes.
  const size_t bytes = (image->nvox == 0 ? 1 : image->nvox) * sizeof(float);
  float* floats = static_cast<float*>(std::malloc(bytes));
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
