# Finds OpenSubdiv's CPU library. Debian's own CMake package for it names static libraries
# that the package does not ship, so the library and headers are found directly.
#   OpenSubdiv::osdCPU   imported target
find_path(OpenSubdiv_INCLUDE_DIR opensubdiv/far/topologyRefiner.h)
find_library(OpenSubdiv_osdCPU_LIBRARY osdCPU)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenSubdiv REQUIRED_VARS OpenSubdiv_osdCPU_LIBRARY OpenSubdiv_INCLUDE_DIR)
if(OpenSubdiv_FOUND AND NOT TARGET OpenSubdiv::osdCPU)
  add_library(OpenSubdiv::osdCPU SHARED IMPORTED)
  set_target_properties(OpenSubdiv::osdCPU PROPERTIES
    IMPORTED_LOCATION ${OpenSubdiv_osdCPU_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${OpenSubdiv_INCLUDE_DIR})
endif()
