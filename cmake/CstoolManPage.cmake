# cstool's manual page, cstool.1.gz: made by help2man when cstool is built,
# from what the built cstool prints for --help, and installed with the
# "tools" component into share/man/man1 (the cssupport-tools package).
# Included from tools/cstool/CMakeLists.txt, after the cstool target. Without
# help2man the build goes on without the page and says so; scripts/check-packages
# requires it.
#
# The version comes from the project (--version-string), not from running
# cstool --version, so that the page does not depend on what that option
# prints. --no-discard-stderr keeps help text written to the error stream.
find_program(CSSUPPORT_HELP2MAN help2man)
if(NOT CSSUPPORT_HELP2MAN)
  message(STATUS "help2man not found: the cstool manual page is skipped "
                 "(Debian package help2man)")
  return()
endif()

# The page's date is the build's stamp (cmake/SourceDateEpoch.cmake), not
# the day it was made.
set(_cs_stamp "")
if(CSSUPPORT_SOURCE_DATE_EPOCH)
  set(_cs_stamp SOURCE_DATE_EPOCH=${CSSUPPORT_SOURCE_DATE_EPOCH})
endif()
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/cstool.1.gz
  COMMAND ${CMAKE_COMMAND} -E env ${_cs_stamp}
          ${CSSUPPORT_HELP2MAN} --no-info --no-discard-stderr --section=1
          "--name=inspect and exercise the ConfigStore support library"
          "--version-string=cstool ${PROJECT_VERSION}"
          --output=${CMAKE_CURRENT_BINARY_DIR}/cstool.1 $<TARGET_FILE:cstool>
  COMMAND gzip -9nf ${CMAKE_CURRENT_BINARY_DIR}/cstool.1
  DEPENDS cstool
  COMMENT "Generating cstool.1.gz with help2man"
  VERBATIM)
add_custom_target(cstool_man ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/cstool.1.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/cstool.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
unset(_cs_stamp)
