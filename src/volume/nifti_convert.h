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

// Replaces `image`'s voxel block by a std::malloc'ed array of nvox floats in stored order
// (datatype becomes 16, nbyper 4) and frees the library's block; the header's scaling is
// not applied. For a datatype outside the table prints "err\treg_changeDatatype\tThe
// initial image data type is not supported\n" on standard output. Returns a
// ChangeDatatypeResult.
int reg_changeDatatype(nifti_image* image);

// Takes over `image` (null allowed) and frees it with nifti_image_free before returning,
// on every path. Refuses, with kLoadNoData, a record without data, with an extent nx, ny
// or nz below 1, with nx*ny*nz above nvox, or with nvox floats not addressable in size_t.
// Then converts the voxels (kLoadUnsupportedType / kLoadOutOfMemory on failure) and fills
// all fields of `volume`, which takes the float array. On any failure `volume` is left
// exactly as it was. Returns a LoadResult.
int volume_from_nifti_image(nifti_image* image, Volume* volume);
