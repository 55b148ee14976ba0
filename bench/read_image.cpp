// kelvora-read-image IMAGE library|kelvora
// Loads one image and exits, so that the load can be timed as a whole process:
// "library" is the NIfTI-1 library's own nifti_image_read(path, 1) and
// nifti_image_free; "kelvora" is load_volume and release_volume. Exit status 0 when the
// image was read, 1 otherwise.
#include <nifti1_io.h>

#include <cstdio>
#include <cstring>

#include "volume/volume.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("Usage: %s <input image> library|kelvora\n", argv[0]);
    return 1;
  }
  if (std::strcmp(argv[2], "library") == 0) {
    nifti_image* image = nifti_image_read(argv[1], 1);
    if (image == nullptr || image->data == nullptr) return 1;
    nifti_image_free(image);
    return 0;
  }
  if (std::strcmp(argv[2], "kelvora") == 0) {
    Volume volume{};
    if (load_volume(argv[1], &volume) != kLoadOk) return 1;
    release_volume(&volume);
    return 0;
  }
  std::printf("Unknown reader: %s\n", argv[2]);
  return 1;
}
