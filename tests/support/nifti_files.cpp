#include "support/nifti_files.h"

#include <nifti1_io.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

static_assert(sizeof(nifti_1_header) == 348, "the NIfTI-1 header is 348 bytes on disk");

namespace {

bool file_exists_here(const char* path) {
  if (path == nullptr) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

int file_type_of(NiftiFileKind kind) {
  switch (kind) {
    case NiftiFileKind::kSingleFile:
      return NIFTI_FTYPE_NIFTI1_1;
    case NiftiFileKind::kNiftiPair:
      return NIFTI_FTYPE_NIFTI1_2;
    case NiftiFileKind::kAnalyzePair:
      return NIFTI_FTYPE_ANALYZE;
    case NiftiFileKind::kAscii:
      return NIFTI_FTYPE_ASCII;
  }
  return NIFTI_FTYPE_NIFTI1_1;
}

}  // namespace

bool write_nifti_file(const std::string& path, NiftiFileKind kind, const NiftiFileSpec& spec) {
  if (spec.nx < 1 || spec.ny < 1 || spec.nz < 1 || spec.nt < 1) return false;
  int bytes_per_voxel = 0;
  int swap_size = 0;
  nifti_datatype_sizes(spec.datatype, &bytes_per_voxel, &swap_size);
  const uint64_t voxels = static_cast<uint64_t>(spec.nx) * static_cast<uint64_t>(spec.ny) *
                          static_cast<uint64_t>(spec.nz) * static_cast<uint64_t>(spec.nt);
  if (bytes_per_voxel <= 0 || voxels * static_cast<uint64_t>(bytes_per_voxel) != spec.voxels.size()) {
    return false;
  }

  const int dims[8] = {spec.nt > 1 ? 4 : 3, spec.nx, spec.ny, spec.nz, spec.nt, 1, 1, 1};
  nifti_image* image = nifti_make_new_nim(dims, spec.datatype, 0);
  if (image == nullptr) return false;
  // The library leaves the unused extents at 0; other writers store 1, and so does this.
  for (int i = image->dim[0] + 1; i < 8; ++i) image->dim[i] = 1;
  nifti_update_dims_from_array(image);
  // The record frees its block with free(), so the copy is made with malloc.
  image->data = std::malloc(spec.voxels.size());
  if (image->data == nullptr) {
    nifti_image_free(image);
    return false;
  }
  std::memcpy(image->data, spec.voxels.data(), spec.voxels.size());
  image->scl_slope = spec.scl_slope;
  image->scl_inter = spec.scl_inter;
  image->nifti_type = file_type_of(kind);

  bool written = false;
  if (nifti_set_filenames(image, path.c_str(), 0, 1) == 0) {
    std::remove(image->fname);
    std::remove(image->iname);
    nifti_image_write(image);
    written = file_exists_here(image->fname) && file_exists_here(image->iname);
  }
  nifti_image_free(image);
  return written;
}

int16_t nifti_bitpix(int16_t datatype) {
  switch (datatype) {
    case DT_UINT8:
    case DT_INT8:
      return 8;
    case DT_INT16:
    case DT_UINT16:
      return 16;
    case DT_RGB24:
      return 24;
    case DT_INT32:
    case DT_UINT32:
    case DT_FLOAT32:
    case DT_RGBA32:
      return 32;
    case DT_FLOAT64:
    case DT_COMPLEX64:
    case DT_INT64:
    case DT_UINT64:
      return 64;
    case DT_FLOAT128:
    case DT_COMPLEX128:
      return 128;
    case DT_COMPLEX256:
      return 256;
    default:
      return 0;
  }
}

nifti_1_header raw_nifti_header(int16_t nx, int16_t ny, int16_t nz, int16_t datatype) {
  nifti_1_header header;
  std::memset(&header, 0, sizeof(header));
  header.sizeof_hdr = 348;
  header.regular = 'r';
  const int16_t dims[8] = {3, nx, ny, nz, 1, 1, 1, 1};
  for (int i = 0; i < 8; ++i) {
    header.dim[i] = dims[i];
    header.pixdim[i] = 1.0f;
  }
  header.datatype = datatype;
  header.bitpix = nifti_bitpix(datatype);
  header.vox_offset = 352.0f;
  std::memcpy(header.magic, "n+1", 4);
  return header;
}

std::vector<uint8_t> raw_nifti_bytes(const nifti_1_header& header, const std::vector<uint8_t>& voxels,
                                     const uint8_t (&extension)[4]) {
  std::vector<uint8_t> bytes(sizeof(header) + 4 + voxels.size());
  std::memcpy(bytes.data(), &header, sizeof(header));
  std::memcpy(bytes.data() + sizeof(header), extension, 4);
  if (!voxels.empty()) std::memcpy(bytes.data() + sizeof(header) + 4, voxels.data(), voxels.size());
  return bytes;
}

bool write_binary_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool complete = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && complete;
}
