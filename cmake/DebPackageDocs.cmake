# Run by cpack once it has installed every component into its staging
# directory, before it builds the packages (CPACK_PRE_BUILD_SCRIPTS, set in
# cmake/Packaging.cmake). Adds to each Debian package what Debian asks of
# every package and an install into a prefix has no use for:
#   /usr/share/doc/<package>/copyright     cmake/debian/copyright
#                                          (machine-readable, DEP-5)
#   /usr/share/doc/<package>/changelog.gz  cmake/debian/changelog, gzip -9n
#                                          (no file name or time stamp)
#   /usr/share/lintian/overrides/<package> cmake/debian/<package>.lintian-overrides
#                                          where there is one
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(_cs_source "${CPACK_CSSUPPORT_DEBIAN_DIR}")
foreach(_cs_component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${_cs_component}" _cs_upper)
  set(_cs_package "${CPACK_DEBIAN_${_cs_upper}_PACKAGE_NAME}")
  set(_cs_share
      "${CPACK_TEMPORARY_DIRECTORY}/${_cs_component}${CPACK_PACKAGING_INSTALL_PREFIX}/share")
  if(NOT _cs_package OR NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}/${_cs_component}")
    message(FATAL_ERROR "no package name or staging directory for component ${_cs_component}")
  endif()

  file(MAKE_DIRECTORY "${_cs_share}/doc/${_cs_package}")
  file(COPY_FILE "${_cs_source}/copyright" "${_cs_share}/doc/${_cs_package}/copyright")
  execute_process(
    COMMAND gzip -9n -c "${_cs_source}/changelog"
    OUTPUT_FILE "${_cs_share}/doc/${_cs_package}/changelog.gz"
    COMMAND_ERROR_IS_FATAL ANY)
  set(_cs_made "${_cs_share}/doc")
  if(EXISTS "${_cs_source}/${_cs_package}.lintian-overrides")
    file(MAKE_DIRECTORY "${_cs_share}/lintian/overrides")
    file(COPY_FILE "${_cs_source}/${_cs_package}.lintian-overrides"
         "${_cs_share}/lintian/overrides/${_cs_package}")
    list(APPEND _cs_made "${_cs_share}/lintian")
  endif()
  # Every staged directory 0755, whatever the umask of the build and of
  # cpack (reproducible packages).
  execute_process(
    COMMAND find "${CPACK_TEMPORARY_DIRECTORY}/${_cs_component}" -type d
            -exec chmod 0755 {} +
    COMMAND_ERROR_IS_FATAL ANY)
  # The modes of what install() would have made, whatever the umask.
  file(CHMOD "${_cs_share}" DIRECTORY_PERMISSIONS
       OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
  file(CHMOD_RECURSE ${_cs_made}
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                             GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()

unset(_cs_source)
unset(_cs_component)
unset(_cs_upper)
unset(_cs_package)
unset(_cs_share)
unset(_cs_made)
