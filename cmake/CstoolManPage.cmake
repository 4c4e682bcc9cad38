# cstool's manual page, cstool.1.gz: made by help2man when cstool is built,
# from what the built cstool prints for --help, and installed with the
# "tools" component into share/man/man1 (the cssupport-tools package).
# Included from tools/cstool/CMakeLists.txt, after the cstool target. Without
# help2man the build goes on without the page and says so; scripts/check-packages
# requires it.
#
# The page's SUBCOMMANDS section holds what `cstool SUBCOMMAND --help` prints
# for each subcommand that `cstool --help` lists, made at build time by this
# same file run as a script:
#   cmake -DCSTOOL=<cstool> -DOUTPUT=<file> -P cmake/CstoolManPage.cmake
# which writes OUTPUT as a help2man --include file, and fails when cstool
# lists no subcommand or one of them has no help.
#
# The version comes from the project (--version-string), not from running
# cstool --version, so that the page does not depend on what that option
# prints. --no-discard-stderr keeps help text written to the error stream.
if(CMAKE_SCRIPT_MODE_FILE)
  # Runs `${CSTOOL} ARGS...` and puts what it printed in `out`.
  function(_cs_help out)
    execute_process(
      COMMAND ${CSTOOL} ${ARGN}
      OUTPUT_VARIABLE _text
      ERROR_VARIABLE _text
      RESULT_VARIABLE _status)
    if(NOT _status EQUAL 0)
      message(FATAL_ERROR "cstool ${ARGN}: exit status ${_status}\n${_text}")
    endif()
    set(${out} "${_text}" PARENT_SCOPE)
  endfunction()

  # The subcommands: the first word of each line indented by two spaces in
  # the block that "Subcommands:" opens and a blank line ends.
  _cs_help(_cs_top --help)
  set(_cs_subcommands "")
  string(FIND "${_cs_top}" "\nSubcommands:\n" _cs_at)
  if(_cs_at GREATER_EQUAL 0)
    string(SUBSTRING "${_cs_top}" ${_cs_at} -1 _cs_block)
    string(SUBSTRING "${_cs_block}" 1 -1 _cs_block)
    string(FIND "${_cs_block}" "\n\n" _cs_end)
    string(SUBSTRING "${_cs_block}" 0 ${_cs_end} _cs_block)
    string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*" _cs_found "${_cs_block}")
    foreach(_cs_name IN LISTS _cs_found)
      string(STRIP "${_cs_name}" _cs_name)
      list(APPEND _cs_subcommands "${_cs_name}")
    endforeach()
  endif()
  if(NOT _cs_subcommands)
    message(FATAL_ERROR "cstool --help lists no subcommands:\n${_cs_top}")
  endif()

  # Text for roff: its escape character, and a control character at the
  # start of a line, made literal.
  function(_cs_roff out text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
  endfunction()

  # Each help text without the exit statuses (the page has them once), as
  # paragraphs: the description, the usage line, then each heading
  # ("Options:") with its entries, an entry's name on its line and its
  # description (beside it from column 31, or on the next line) below it.
  set(_cs_page "[SUBCOMMANDS]\n")
  string(APPEND _cs_page "What \\fBcstool\\fR \\fISUBCOMMAND\\fR "
         "\\fB\\-\\-help\\fR prints, for each subcommand.\n")
  foreach(_cs_sub IN LISTS _cs_subcommands)
    _cs_help(_cs_text ${_cs_sub} --help)
    string(FIND "${_cs_text}" "\n\nExit status:" _cs_end)
    string(SUBSTRING "${_cs_text}" 0 ${_cs_end} _cs_text)
    string(REPLACE "Usage: ${CSTOOL} " "Usage: cstool " _cs_text "${_cs_text}")
    # One list element a line, with what CMake lists treat specially kept
    # out of the way.
    string(REPLACE "\\" "<cs-bs>" _cs_text "${_cs_text}")
    string(REPLACE ";" "<cs-sc>" _cs_text "${_cs_text}")
    string(REPLACE "[" "<cs-lb>" _cs_text "${_cs_text}")
    string(REPLACE "]" "<cs-rb>" _cs_text "${_cs_text}")
    string(REPLACE "\n" ";" _cs_lines "${_cs_text}")
    string(APPEND _cs_page ".SS \"cstool ${_cs_sub}\"\n")
    foreach(_cs_line IN LISTS _cs_lines)
      string(REPLACE "<cs-bs>" "\\" _cs_line "${_cs_line}")
      string(REPLACE "<cs-sc>" ";" _cs_line "${_cs_line}")
      string(REPLACE "<cs-lb>" "[" _cs_line "${_cs_line}")
      string(REPLACE "<cs-rb>" "]" _cs_line "${_cs_line}")
      if(_cs_line STREQUAL "")
        continue()
      elseif(_cs_line MATCHES "^  ([^ ].*[^ ])  +([^ ].*)$")
        _cs_roff(_cs_desc "${CMAKE_MATCH_2}")
        _cs_roff(_cs_name "${CMAKE_MATCH_1}")
        string(REPLACE "-" "\\-" _cs_name "${_cs_name}")
        string(APPEND _cs_page ".TP\n\\fB${_cs_name}\\fR\n${_cs_desc}\n")
      elseif(_cs_line MATCHES "^  ([^ ].*)$")
        _cs_roff(_cs_name "${CMAKE_MATCH_1}")
        string(REPLACE "-" "\\-" _cs_name "${_cs_name}")
        string(APPEND _cs_page ".TP\n\\fB${_cs_name}\\fR\n")
      elseif(_cs_line MATCHES "^ +([^ ].*)$")
        _cs_roff(_cs_desc "${CMAKE_MATCH_1}")
        string(APPEND _cs_page "${_cs_desc}\n")
      else()
        _cs_roff(_cs_line "${_cs_line}")
        string(APPEND _cs_page ".PP\n${_cs_line}\n")
      endif()
    endforeach()
  endforeach()
  file(WRITE "${OUTPUT}" "${_cs_page}")
  return()
endif()

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
set(_cs_sections ${CMAKE_CURRENT_BINARY_DIR}/cstool-subcommands.h2m)
add_custom_command(
  OUTPUT ${_cs_sections}
  COMMAND ${CMAKE_COMMAND} -DCSTOOL=$<TARGET_FILE:cstool>
          -DOUTPUT=${_cs_sections} -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS cstool ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Collecting cstool's subcommand help for its manual page"
  VERBATIM)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/cstool.1.gz
  COMMAND ${CMAKE_COMMAND} -E env ${_cs_stamp}
          ${CSSUPPORT_HELP2MAN} --no-info --no-discard-stderr --section=1
          "--name=inspect and exercise the ConfigStore support library"
          "--version-string=cstool ${PROJECT_VERSION}"
          --include=${_cs_sections}
          --output=${CMAKE_CURRENT_BINARY_DIR}/cstool.1 $<TARGET_FILE:cstool>
  COMMAND gzip -9nf ${CMAKE_CURRENT_BINARY_DIR}/cstool.1
  DEPENDS cstool ${_cs_sections}
  COMMENT "Generating cstool.1.gz with help2man"
  VERBATIM)
add_custom_target(cstool_man ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/cstool.1.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/cstool.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
unset(_cs_stamp)
unset(_cs_sections)
