# Locates Debian's NIfTI-1 I/O library (package libnifti2-dev) by hand: the
# package's own NIFTIConfig.cmake points at paths that do not exist.
# Defines NIfTI_FOUND and the imported target NIfTI::niftiio.

find_path(NIfTI_INCLUDE_DIR nifti1_io.h PATH_SUFFIXES nifti)
find_library(NIfTI_LIBRARY niftiio)
find_path(ZNZ_INCLUDE_DIR znzlib.h PATH_SUFFIXES nifti)
find_library(ZNZ_LIBRARY znz)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(NIfTI
  REQUIRED_VARS NIfTI_LIBRARY NIfTI_INCLUDE_DIR
  FAIL_MESSAGE "The NIfTI-1 I/O library was not found: install the Debian package libnifti2-dev (apt-get install libnifti2-dev)")

if(NIfTI_FOUND AND NOT TARGET NIfTI::niftiio)
  add_library(NIfTI::niftiio UNKNOWN IMPORTED)
  set_target_properties(NIfTI::niftiio PROPERTIES
    IMPORTED_LOCATION "${NIfTI_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${NIfTI_INCLUDE_DIR}")
  if(ZNZ_LIBRARY)
    set_property(TARGET NIfTI::niftiio APPEND PROPERTY INTERFACE_LINK_LIBRARIES "${ZNZ_LIBRARY}")
  endif()
endif()
mark_as_advanced(NIfTI_INCLUDE_DIR NIfTI_LIBRARY ZNZ_INCLUDE_DIR ZNZ_LIBRARY)
