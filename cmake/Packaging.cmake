# A Debian package of the whole installation (cpack -G DEB in a build folder): the programs,
# the plug-in modules, the stamps, the Python package and the SDK, installed under /usr. Its
# dependencies on shared libraries are found by dpkg-shlibdeps; the Python package's on the
# interpreter and NumPy are named here.
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sculpting brush engine with a command-line host, a Python module and an SDK")
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@corvane.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The framework lives in the package itself, the modules in their own folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/lib ${CORVANE_PLUGIN_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.11), python3-numpy")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cmake, g++, qtbase5-dev, pkg-config")
include(CPack)
