// kelvora-phantom OUTPUT.nii: writes a small synthetic head for demos and tests. The
// volume is fully deterministic (no random numbers, no clock), so pictures made from it
// can be compared byte for byte. sample/features.txt lists its lesions.
//
// Layout (voxel units, 48 columns x 56 rows x 40 slices, INT16): a bright scalp/skull
// shell, dark fluid under it, a textured grey brain, two dark ventricles and five bright
// spherical lesions of different radii and brightness.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <nifti1_io.h>

namespace {

constexpr int kCols = 48;
constexpr int kRows = 56;
constexpr int kSlices = 40;

constexpr int16_t kSkull = 1000;
constexpr int16_t kFluid = 120;
constexpr int16_t kBrain = 480;
constexpr int16_t kVentricle = 60;

struct Ellipsoid {
  double x, y, z;     // centre: column, row, slice
  double ax, ay, az;  // semi-axes along the same axes
};

struct Lesion {
  double x, y, z;
  double radius;
  int16_t value;
};

constexpr Ellipsoid kHead{23.5, 27.5, 19.5, 22.0, 26.5, 18.5};
constexpr Ellipsoid kSkullInside{23.5, 27.5, 19.5, 19.0, 23.5, 15.5};
constexpr Ellipsoid kBrainOutline{23.5, 27.5, 19.5, 17.0, 21.5, 13.5};
constexpr Ellipsoid kVentricles[] = {
    {20.0, 26.0, 21.0, 2.5, 7.0, 4.0},
    {28.0, 26.0, 21.0, 2.5, 7.0, 4.0},
};
// Kept in step with sample/features.txt.
constexpr Lesion kLesions[] = {
    {14.0, 18.0, 16.0, 2.0, 900},  {33.0, 36.0, 24.0, 3.0, 1100}, {30.0, 15.0, 12.0, 1.5, 1300},
    {17.0, 38.0, 27.0, 2.5, 1000}, {26.0, 22.0, 14.0, 3.5, 1200},
};

bool inside(const Ellipsoid& e, int x, int y, int z) {
  const double dx = (x - e.x) / e.ax;
  const double dy = (y - e.y) / e.ay;
  const double dz = (z - e.z) / e.az;
  return dx * dx + dy * dy + dz * dz <= 1.0;
}

bool inside(const Lesion& l, int x, int y, int z) {
  const double dx = x - l.x;
  const double dy = y - l.y;
  const double dz = z - l.z;
  return dx * dx + dy * dy + dz * dz <= l.radius * l.radius;
}

// A fixed integer hash of the voxel index: texture without a random number generator.
int16_t texture(uint32_t index) {
  uint32_t h = index * 2654435761u;
  h ^= h >> 15;
  h *= 2246822519u;
  h ^= h >> 13;
  return static_cast<int16_t>(static_cast<int32_t>(h % 41u) - 20);
}

int16_t voxel_value(int x, int y, int z, uint32_t index) {
  if (!inside(kHead, x, y, z)) return 0;
  if (!inside(kSkullInside, x, y, z)) return kSkull;
  if (!inside(kBrainOutline, x, y, z)) return kFluid;
  for (const Lesion& lesion : kLesions) {
    if (inside(lesion, x, y, z)) return lesion.value;
  }
  for (const Ellipsoid& ventricle : kVentricles) {
    if (inside(ventricle, x, y, z)) return kVentricle;
  }
  return static_cast<int16_t>(kBrain + texture(index));
}

// The library's writer reports no result, so the file is read back and compared.
bool written_intact(const nifti_image& image) {
  nifti_image* back = nifti_image_read(image.fname, 1);
  const bool same = back != nullptr && back->data != nullptr && back->datatype == image.datatype &&
                    back->nvox == image.nvox &&
                    std::memcmp(back->data, image.data, image.nvox * sizeof(int16_t)) == 0;
  if (back != nullptr) nifti_image_free(back);
  return same;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: kelvora-phantom OUTPUT.nii\n");
    return 1;
  }
  const char* output = argv[1];

  const int dims[8] = {3, kCols, kRows, kSlices, 1, 1, 1, 1};
  nifti_image* image = nifti_make_new_nim(dims, DT_INT16, 1);
  if (image == nullptr || image->data == nullptr) {
    std::fprintf(stderr, "kelvora-phantom: cannot allocate the %dx%dx%d volume\n", kCols, kRows,
                 kSlices);
    if (image != nullptr) nifti_image_free(image);
    return 1;
  }

  // The library leaves the extents past the third at 0; a single frame is stored as 1.
  for (int i = 4; i < 8; ++i) image->dim[i] = 1;
  nifti_update_dims_from_array(image);

  int16_t* voxels = static_cast<int16_t*>(image->data);
  uint32_t index = 0;
  for (int z = 0; z < kSlices; ++z) {
    for (int y = 0; y < kRows; ++y) {
      for (int x = 0; x < kCols; ++x, ++index) voxels[index] = voxel_value(x, y, z, index);
    }
  }
  std::strncpy(image->descrip, "kelvora synthetic head phantom", sizeof(image->descrip) - 1);

  // The library picks single file or header/data pair from the name's extension.
  if (nifti_set_filenames(image, output, 0, 1) != 0 || nifti_set_type_from_names(image) != 0) {
    std::fprintf(stderr, "kelvora-phantom: cannot use '%s' as an image name\n", output);
    nifti_image_free(image);
    return 1;
  }
  std::remove(image->fname);
  std::remove(image->iname);
  nifti_image_write(image);
  const bool written = written_intact(*image);
  if (!written) std::fprintf(stderr, "kelvora-phantom: could not write '%s'\n", output);
  nifti_image_free(image);
  return written ? 0 : 1;
}
