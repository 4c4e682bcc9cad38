# Read by cpack for each generator: CPACK_PROJECT_CONFIG_FILE, which
# cmake/Packaging.cmake writes with the built libraries' paths in
# _cs_deb_files_RUNTIME and _cs_deb_files_HOSTRT. For the two library
# packages it computes with dpkg-shlibdeps the Depends that CPack's own
# CPACK_DEBIAN_PACKAGE_SHLIBDEPS would. CPack's scan, when it finds a shared
# library under /usr/lib, also adds a postinst and a postrm that call
# ldconfig; these packages declare Debian's ldconfig trigger instead
# (cmake/debian/triggers). The libraries are read in the build tree:
# stripping them for the package changes none of the libraries they need or
# the symbol versions they use.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

find_program(_cs_dpkg_shlibdeps dpkg-shlibdeps)
if(NOT _cs_dpkg_shlibdeps)
  message(FATAL_ERROR "dpkg-shlibdeps (package dpkg-dev) is needed for the library packages' dependencies")
endif()

# dpkg-shlibdeps wants a debian/control below its working directory.
set(_cs_dir "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/shlibdeps")
file(MAKE_DIRECTORY "${_cs_dir}/debian")
file(WRITE "${_cs_dir}/debian/control" "")
set(_cs_private)
foreach(_cs_private_dir IN LISTS CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
  list(APPEND _cs_private "-l${_cs_private_dir}")
endforeach()

foreach(_cs_component IN ITEMS RUNTIME HOSTRT)
  execute_process(
    COMMAND ${_cs_dpkg_shlibdeps} ${_cs_private} --ignore-missing-info -O
            ${_cs_deb_files_${_cs_component}}
    WORKING_DIRECTORY "${_cs_dir}"
    RESULT_VARIABLE _cs_result
    OUTPUT_VARIABLE _cs_output
    ERROR_VARIABLE _cs_error
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT _cs_result EQUAL 0 OR NOT _cs_output MATCHES "^shlibs:Depends=(.+)$")
    message(FATAL_ERROR "dpkg-shlibdeps on ${_cs_deb_files_${_cs_component}}: "
                        "${_cs_error}${_cs_output}")
  endif()
  if(CPACK_DEBIAN_${_cs_component}_PACKAGE_DEPENDS)
    string(APPEND CPACK_DEBIAN_${_cs_component}_PACKAGE_DEPENDS
           ", ${CMAKE_MATCH_1}")
  else()
    set(CPACK_DEBIAN_${_cs_component}_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
  endif()
endforeach()

file(REMOVE_RECURSE "${_cs_dir}")
unset(_cs_dir)
unset(_cs_private)
unset(_cs_private_dir)
unset(_cs_component)
unset(_cs_result)
unset(_cs_output)
unset(_cs_error)
