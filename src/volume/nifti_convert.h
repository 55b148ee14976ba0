// The bridge between the NIfTI-1 I/O library's image record and a Volume: the in-place
// conversion of the record's voxels to 32-bit floats, and the hand-over of a converted
// record to a Volume. This and volume.cpp are the only places that see library types.
// Failures are integer results; a refused record never reaches a Volume.
#pragma once

#include <nifti1_io.h>

#include "volume/volume.h"

enum ChangeDatatypeResult {
  kChangeDatatypeDone = 1,         // data is a new float array, the library's block freed
  kChangeDatatypeUnsupported = 0,  // datatype outside the table; message printed, nothing changed
  kChangeDatatypeOutOfMemory = -1, // the float array could not be allocated; nothing changed
};

// Replaces `image`'s voxel block by an array of nvox floats in stored order, made by
// allocate_float_array (datatype becomes 16, nbyper 4), and frees the library's block;
// the header's scaling is not applied. For a datatype outside the table prints
// "err\treg_changeDatatype\tThe initial image data type is not supported\n" on standard
// output. Returns a ChangeDatatypeResult.
int reg_changeDatatype(nifti_image* image);

// Takes over `image` (null allowed) and frees it with nifti_image_free before returning,
// on every path. Refuses, with kLoadNoData, a record without data, with an extent nx, ny
// or nz below 1, with nx*ny*nz above nvox, or with nvox floats not addressable in size_t.
// Then converts the voxels (kLoadUnsupportedType / kLoadOutOfMemory on failure) and fills
// all fields of `volume`, which takes the float array. On any failure `volume` is left
// exactly as it was. Returns a LoadResult.
int volume_from_nifti_image(nifti_image* image, Volume* volume);

enum LoadAsFloatsResult {
  kLoadAsFloatsDone = 1,           // data is the float array, datatype 16, nbyper 4
  kLoadAsFloatsNotApplicable = 0,  // nothing done: load and convert the usual way
  kLoadAsFloatsReadFailed = -1,    // the library's nifti_image_load failed; data is null
  kLoadAsFloatsOutOfMemory = -2,   // the float array could not be allocated; nothing done
};

// For a record read without its voxels (nifti_image_read with 0) of a datatype of at
// most 4 bytes in the table (not the text form, extents as volume_from_nifti_image
// accepts): allocates the float array, has the library's nifti_image_load read the
// stored block into its front, and widens the values in place from the last one down,
// so that no stored value is overwritten before it is read. The library's own block and
// a second pass over memory are saved. Returns a LoadAsFloatsResult.
int load_voxels_as_floats(nifti_image* image);

// volume_from_nifti_image for a record that load_voxels_as_floats has filled: the same
// checks and hand-over, without a second conversion.
int volume_from_float_image(nifti_image* image, Volume* volume);

// nvox-float arrays: std::malloc, or for 8 MiB and more a block aligned to 2 MiB and
// advised (madvise MADV_HUGEPAGE) to be backed by huge pages: one page fault per 2 MiB
// instead of 512 while loading, and fewer TLB misses in the strided slice cuts.
// std::free releases either. Null when the memory cannot be had.
float* allocate_float_array(size_t count);
