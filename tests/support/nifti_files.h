// Image files for tests: NIfTI-1 / ANALYZE 7.5 images written through the NIfTI-1 I/O
// library, raw single-file NIfTI-1 bytes built by hand (every header field settable, so
// broken headers can be crafted), and (through temp_dir.h) a scoped temporary directory to put them in.
// Writers report failure by returning false; nothing here throws on its own.
#pragma once

#include <nifti1.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/temp_dir.h"

enum class NiftiFileKind {
  kSingleFile,    // NIfTI-1 ".nii" (".nii.gz" when the name ends so)
  kNiftiPair,     // NIfTI-1 ".hdr" + ".img"
  kAnalyzePair,   // ANALYZE 7.5 ".hdr" + ".img"
  kAscii,         // the library's text form ".nia"
};

struct NiftiFileSpec {
  int32_t nx = 1;
  int32_t ny = 1;
  int32_t nz = 1;
  int32_t nt = 1;                // > 1 makes a 4-D image
  int32_t datatype = DT_FLOAT32; // a NIfTI-1 datatype code the library knows
  std::vector<uint8_t> voxels;   // nx*ny*nz*nt stored values, machine byte order
  float scl_slope = 0.0f;
  float scl_inter = 0.0f;
};

// The bytes of `values` as stored voxels.
template <typename T>
std::vector<uint8_t> voxel_bytes(const std::vector<T>& values) {
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  if (!bytes.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

// Writes `spec` through the library. `path` is the ".nii" / ".nii.gz" name for a single
// file, the ".hdr" name or the base name for a pair, the ".nia" name for text. False when the voxel byte count does
// not match the extents and datatype, or when the files are not there afterwards.
bool write_nifti_file(const std::string& path, NiftiFileKind kind, const NiftiFileSpec& spec);

// Bits per stored value of a NIfTI-1 datatype code (any the format defines), 0 otherwise.
int16_t nifti_bitpix(int16_t datatype);

// A valid single-file NIfTI-1 header for a 3-D image: dim {3, nx, ny, nz, 1, 1, 1, 1},
// bitpix from the datatype, pixdim 1, vox_offset 352, no scaling, magic "n+1".
nifti_1_header raw_nifti_header(int16_t nx, int16_t ny, int16_t nz, int16_t datatype);

// The bytes of a ".nii" file built without the library: the 348 header bytes exactly as
// given, the 4 extension bytes, then `voxels`.
std::vector<uint8_t> raw_nifti_bytes(const nifti_1_header& header, const std::vector<uint8_t>& voxels,
                                     const uint8_t (&extension)[4] = {0, 0, 0, 0});

// Writes `bytes` to a new or truncated file. False when it cannot be written completely.
bool write_binary_file(const std::string& path, const std::vector<uint8_t>& bytes);
