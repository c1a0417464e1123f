# Finds OpenImageIO. Debian's own CMake package for it names paths and Python modules that
# the packages do not ship, so the library and headers are found directly.
#   OpenImageIO::OpenImageIO   imported target
find_path(OpenImageIO_INCLUDE_DIR OpenImageIO/imageio.h)
find_library(OpenImageIO_LIBRARY OpenImageIO)
find_library(OpenImageIO_Util_LIBRARY OpenImageIO_Util)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenImageIO
  REQUIRED_VARS OpenImageIO_LIBRARY OpenImageIO_Util_LIBRARY OpenImageIO_INCLUDE_DIR)
if(OpenImageIO_FOUND AND NOT TARGET OpenImageIO::OpenImageIO)
  add_library(OpenImageIO::OpenImageIO SHARED IMPORTED)
  set_target_properties(OpenImageIO::OpenImageIO PROPERTIES
    IMPORTED_LOCATION ${OpenImageIO_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${OpenImageIO_INCLUDE_DIR}
    INTERFACE_LINK_LIBRARIES ${OpenImageIO_Util_LIBRARY})
endif()
