# CSSUPPORT_SOURCE_DATE_EPOCH: the time that the build stamps into what it
# makes (the manual page's date, the packages' file times), so that two
# builds of one commit make the same bytes. SOURCE_DATE_EPOCH from the
# environment when it is set, else the time of the last commit; empty, and
# said, when neither is known (a source tree without git): the stamps then
# follow the clock.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CSSUPPORT_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  set(CSSUPPORT_SOURCE_DATE_EPOCH "")
  if(GIT_FOUND)
    execute_process(
      COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE CSSUPPORT_SOURCE_DATE_EPOCH
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()
if(NOT CSSUPPORT_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(STATUS "No SOURCE_DATE_EPOCH and no git history: build stamps "
                 "follow the clock")
  set(CSSUPPORT_SOURCE_DATE_EPOCH "")
endif()
