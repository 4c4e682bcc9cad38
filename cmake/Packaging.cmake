# Debian packages, one per install component (cmake/Install.cmake):
#   cmake --preset release && cmake --build --preset release -j 2
#   cpack -G DEB --config build/release/CPackConfig.cmake
# makes, under /usr (libraries in Debian's multiarch directory, e.g.
# /usr/lib/x86_64-linux-gnu: the release preset installs to /usr, for which
# GNUInstallDirs picks it),
#   libcssupport1                the shared library and its SONAME link
#   libcssupport-dev             headers, the unversioned link, the CMake package,
#                                the pkg-config file and the API reference
#                                (/usr/share/doc/libcssupport-dev/html)
#   cssupport-tools              cstool and its manual page
#   libcssupport-hostrt-standin  the stand-in host runtime (libtessellibs.so,
#                                libtvl.so), for machines without the host's
#                                own; nothing depends on it or recommends it,
#                                so a host with its real runtime never
#                                installs it; libcssupport1 and cssupport-tools
#                                suggest it
# The runtime package is named after the SONAME (libcssupport.so.1), as
# Debian's library packaging asks, so that a later incompatible SONAME can be
# installed beside it. Each package has /usr/share/doc/<package>/copyright
# (cmake/debian/copyright) and changelog.gz (cmake/debian/changelog: the
# packages are native, their version the project's without a Debian
# revision), added by cmake/DebPackageDocs.cmake. scripts/check-packages
# checks them, lintian included; doc/packages.md describes them.

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
# The library packages run ldconfig through the dpkg trigger (the triggers
# control file), not from maintainer scripts of their own. CPack 3.25 writes
# a postinst and a postrm calling ldconfig into every package with a shared
# library under /lib or /usr/lib, multiarch directory included, whenever it
# scans the package for libraries: for dependencies
# (CPACK_DEBIAN_<COMPONENT>_PACKAGE_SHLIBDEPS) or for the shlibs file
# (CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS, which has no per-component form).
# Both scans are off for the library packages: cmake/DebLibraryDepends.cmake
# computes their dependencies with dpkg-shlibdeps at cpack time, and the
# shlibs file (packages built against libcssupport1 depend on it) is written
# here. cssupport-tools and libcssupport-dev hold no shared library and keep
# CPack's scan.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_HOSTRT_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Reproducible packages: cpack stamps every archive member and packaged
# file with SOURCE_DATE_EPOCH when it is set; this build's stamp
# (cmake/SourceDateEpoch.cmake) unless the environment of cpack sets one.
set(_cs_epoch "")
if(CSSUPPORT_SOURCE_DATE_EPOCH)
  set(_cs_epoch "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CSSUPPORT_SOURCE_DATE_EPOCH})
endif()
")
endif()
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/CPackLibraryDepends.cmake CONTENT
"${_cs_epoch}set(_cs_deb_files_RUNTIME \"$<TARGET_FILE:cssupport>\")
set(_cs_deb_files_HOSTRT \"$<TARGET_FILE:tessellibs>\" \"$<TARGET_FILE:tvl>\")
include(\"${PROJECT_SOURCE_DIR}/cmake/DebLibraryDepends.cmake\")
")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackLibraryDepends.cmake)
# Directories that cpack's staging makes get 0755 whatever the builder's
# umask, as those that install() makes (CMakeLists.txt).
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
file(WRITE ${PROJECT_BINARY_DIR}/debian/shlibs
  "libcssupport ${PROJECT_VERSION_MAJOR} libcssupport1 (>= ${PROJECT_VERSION})\n")
# Control files as Debian's policy sets their modes (0644 for these).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/debian/shlibs ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_HOSTRT_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_HOSTRT_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each description's first line is the package's synopsis.
set(_cs_exact "(= ${CPACK_DEBIAN_PACKAGE_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libcssupport1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Off a host, the library needs the stand-in; a host has its own runtime, so
# only a suggestion (never Depends or Recommends, which apt would follow).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS libcssupport-hostrt-standin)
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
CMake package (find_package(CSSupport)), the pkg-config file (cssupport) and
the API reference in HTML (/usr/share/doc/libcssupport-dev/html).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME cssupport-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libcssupport1 ${_cs_exact}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS libcssupport-hostrt-standin)
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

# copyright, changelog.gz and the lintian overrides, added to the staged
# packages only (an install into a prefix does not get them).
set(CPACK_CSSUPPORT_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/cmake/debian)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebPackageDocs.cmake)

unset(_cs_exact)
unset(_cs_epoch)
include(CPack)
