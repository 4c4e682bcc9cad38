# The API reference: doxygen over the installed headers (doc/Doxyfile),
# built into <build>/docs/html by the target cssupport_docs, part of "all"
# in every build where doxygen is found, and installed by the development
# component into share/doc/libcssupport-dev/html (the libcssupport-dev
# package's /usr/share/doc/libcssupport-dev/html). Without doxygen, or with
# CSSUPPORT_BUILD_DOCS off, the build goes on without it and says so; the
# install then has no reference, and scripts/check-packages fails.
#
# The build makes the reference and prints doxygen's warnings; the check that
# fails on them is scripts/docs (run by scripts/test).
option(CSSUPPORT_BUILD_DOCS "Build the API reference (needs doxygen)" ON)
if(NOT CSSUPPORT_BUILD_DOCS)
  message(STATUS "API reference: skipped (CSSUPPORT_BUILD_DOCS is OFF)")
  return()
endif()
find_program(CSSUPPORT_DOXYGEN doxygen)
if(NOT CSSUPPORT_DOXYGEN)
  message(STATUS "API reference: skipped, doxygen not found (scripts/bootstrap installs it)")
  return()
endif()
message(STATUS "API reference: ${CSSUPPORT_DOXYGEN}")

# The headers the Doxyfile names, as this build's paths, so that the
# reference is made again when one of them (or the Doxyfile) changes.
set(_cs_doxyfile ${PROJECT_SOURCE_DIR}/doc/Doxyfile)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_cs_doxyfile})
# (A line that ends in a backslash runs on into the next, so every name of
# each line is taken.)
file(STRINGS ${_cs_doxyfile} _cs_lines
     REGEX "\\$\\(CSSUPPORT_(SOURCE_DIR|GENERATED_ROOT)\\)/cssupport/[^ ]*\\.h")
string(REGEX MATCHALL
       "\\$\\(CSSUPPORT_(SOURCE_DIR|GENERATED_ROOT)\\)/cssupport/[^ ;\\]*\\.h"
       _cs_names "${_cs_lines}")
set(_cs_inputs "")
foreach(_cs_line IN LISTS _cs_names)
  string(REGEX MATCH "\\$\\(CSSUPPORT_(SOURCE_DIR|GENERATED_ROOT)\\)(/cssupport/[^ ]*\\.h)"
         _cs_match "${_cs_line}")
  if(CMAKE_MATCH_1 STREQUAL "SOURCE_DIR")
    list(APPEND _cs_inputs ${PROJECT_SOURCE_DIR}${CMAKE_MATCH_2})
  else()
    list(APPEND _cs_inputs ${CSSUPPORT_GENERATED_ROOT}${CMAKE_MATCH_2})
  endif()
endforeach()

set(_cs_docs ${PROJECT_BINARY_DIR}/docs)
add_custom_command(
  OUTPUT ${_cs_docs}/html/index.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_cs_docs}/html
  COMMAND ${CMAKE_COMMAND} -E env
          CSSUPPORT_SOURCE_DIR=${PROJECT_SOURCE_DIR}
          CSSUPPORT_GENERATED_ROOT=${CSSUPPORT_GENERATED_ROOT}
          CSSUPPORT_DOCS_DIR=${_cs_docs}
          CSSUPPORT_VERSION=${PROJECT_VERSION}
          CSSUPPORT_WARN_AS_ERROR=NO
          ${CSSUPPORT_DOXYGEN} ${_cs_doxyfile}
  DEPENDS ${_cs_doxyfile} ${_cs_inputs}
  COMMENT "API reference: doxygen into ${_cs_docs}/html"
  VERBATIM)
add_custom_target(cssupport_docs ALL DEPENDS ${_cs_docs}/html/index.html)
# OPTIONAL: a build of some targets only (scripts/check-abi builds the
# library and installs the headers) installs the rest of the component.
install(DIRECTORY ${_cs_docs}/html/
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libcssupport-dev/html
        COMPONENT development OPTIONAL)

unset(_cs_doxyfile)
unset(_cs_lines)
unset(_cs_names)
unset(_cs_line)
unset(_cs_match)
unset(_cs_inputs)
unset(_cs_docs)
