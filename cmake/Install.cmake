# Installation as a package:
#   include/cssupport/...        public headers (#include <cssupport/...>)
#   lib/libcssupport.so*         the library, SONAME link and namelink
#   lib/cmake/CSSupport/         find_package(CSSupport) -> CSSupport::cssupport
#   lib/pkgconfig/cssupport.pc   pkg-config --cflags --libs cssupport
#   share/doc/libcssupport-dev/html/  the API reference (cmake/ApiReference.cmake)
# Components: "runtime" (the .so), "development" (headers, CMake and
# pkg-config files, the API reference), "hostrt" (the stand-in host runtime,
# for machines without the host's own libtessellibs.so), "tools" (cstool).
include(CMakePackageConfigHelpers)

set(CSSUPPORT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/CSSupport)

# The library finds the host runtime beside itself when nothing else says
# where it is; the host's own copy in the system paths wins where present.
set_target_properties(cssupport PROPERTIES INSTALL_RPATH "$ORIGIN")
# The headers are the target's file sets (each folder's CMakeLists.txt names
# its own); the internal ones are in none and stay behind.
install(TARGETS cssupport EXPORT CSSupportTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT runtime
          NAMELINK_COMPONENT development
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT development
  FILE_SET generated_headers DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT CSSupportTargets NAMESPACE CSSupport::
  DESTINATION ${CSSUPPORT_CMAKE_DIR} COMPONENT development)

install(TARGETS tessellibs tvl
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT hostrt)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CSSupportConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CSSupportConfig.cmake
  INSTALL_DESTINATION ${CSSUPPORT_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CSSupportConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CSSupportConfig.cmake
              ${PROJECT_BINARY_DIR}/CSSupportConfigVersion.cmake
        DESTINATION ${CSSUPPORT_CMAKE_DIR} COMPONENT development)

file(RELATIVE_PATH CSSUPPORT_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" CSSUPPORT_PC_TO_PREFIX "${CSSUPPORT_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/cssupport.pc.in
               ${PROJECT_BINARY_DIR}/cssupport.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/cssupport.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

include(${CMAKE_CURRENT_LIST_DIR}/ApiReference.cmake)
