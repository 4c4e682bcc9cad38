# Debian packages, one per install component (cmake/Install.cmake):
#   cpack -G DEB --config build/release/CPackConfig.cmake
# makes, under /usr,
#   libcssupport1                the shared library and its SONAME link
#   libcssupport-dev             headers, the unversioned link, the CMake package
#                                and the pkg-config file
#   cssupport-tools              cstool
#   libcssupport-hostrt-standin  the stand-in host runtime (libtessellibs.so,
#                                libtvl.so), for machines without the host's
#                                own; nothing depends on it, so a host with its
#                                real runtime never installs it
# The runtime package is named after the SONAME (libcssupport.so.1), as
# Debian's library packaging asks, so that a later incompatible SONAME can be
# installed beside it. scripts/check-packages checks them.

set(CPACK_PACKAGE_NAME cssupport)
set(CPACK_PACKAGE_VENDOR "ConfigStore")
set(CPACK_PACKAGE_CONTACT "cssupport developers <cssupport@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debug information (the binary-interface check reads
# it); the packages ship stripped binaries.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tools hostrt)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends on the C and C++ runtimes as dpkg-shlibdeps finds them. The host
# runtime and libcssupport.so.1 are ours, found in the build tree and left out
# of the computed list (the host's runtime is not a Debian package).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/hostrt/standin)
# A shlibs file, so that packages built against libcssupport1 depend on it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

# Each description's first line is the package's synopsis.
set(_cs_exact "(= ${CPACK_DEBIAN_PACKAGE_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libcssupport1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "ConfigStore support library
The shared library that every ConfigStore process loads: the error-code
catalogue and exceptions, the CSLogger logging facade, load-store event
records, generated configuration identifiers, the upgrade context and the
build identification data. It needs the host runtime libtessellibs.so and
libtvl.so: the host's own, or libcssupport-hostrt-standin elsewhere.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libcssupport-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "libcssupport1 ${_cs_exact}, rapidjson-dev")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "ConfigStore support library (development files)
Headers under include/cssupport/, the unversioned libcssupport.so link, the
CMake package (find_package(CSSupport)) and the pkg-config file (cssupport).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME cssupport-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libcssupport1 ${_cs_exact}")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "ConfigStore support library (command-line tool)
cstool: prints error messages and build identification, lists and records
load-store events, fills generated identifiers into configuration files.")

set(CPACK_DEBIAN_HOSTRT_PACKAGE_NAME libcssupport-hostrt-standin)
set(CPACK_DEBIAN_HOSTRT_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_HOSTRT_DESCRIPTION
    "ConfigStore support library (stand-in host runtime)
A working replacement for the host's closed runtime libraries
libtessellibs.so and libtvl.so, so that libcssupport1 runs on a machine that
is not a hypervisor host. Do not install it on a host: the host's own
runtime takes the same names.")

unset(_cs_exact)
include(CPack)
