# Build identification: the values the library exports as gBuild* / gProduct*
# data. Every value is a cache variable so a release build passes its own:
#   cmake -DCSSUPPORT_BUILD_NUMBER=24051207 -DCSSUPPORT_PRODUCT_VERSION=8.0.3 ...

set(CSSUPPORT_BUILD_NUMBER "12345678" CACHE STRING
    "Build number, decimal, without sign or leading zeros")
set(CSSUPPORT_PRODUCT_VERSION "1.0.0" CACHE STRING
    "Product version, three dotted decimal numbers")
set(CSSUPPORT_RELEASE_SEQUENCE "1.00" CACHE STRING
    "Release sequence, two dotted decimal numbers")
set(CSSUPPORT_RELEASE_VERSION "" CACHE STRING
    "Release version major.minor registered by the logger (empty: taken from the product version)")
set(CSSUPPORT_SIBLING_VERSIONS
    "gCsAgentVersion=1.0.0;gCsCliVersion=1.0.0;gCsImportVersion=1.0.0;gCsExportVersion=1.0.0;gCsUpgradeVersion=1.0.0;gCsValidateVersion=1.0.0"
    CACHE STRING
    "The six sibling tool version records, as NAME=VERSION entries (VERSION has one to four dotted parts)")

if(NOT CSSUPPORT_BUILD_NUMBER MATCHES "^(0|[1-9][0-9]*)$")
  message(FATAL_ERROR "CSSUPPORT_BUILD_NUMBER must be a decimal number without leading zeros, not '${CSSUPPORT_BUILD_NUMBER}'")
endif()
if(CSSUPPORT_BUILD_NUMBER GREATER 2147483647)
  message(FATAL_ERROR "CSSUPPORT_BUILD_NUMBER must fit a signed 32-bit integer")
endif()
if(NOT CSSUPPORT_PRODUCT_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.[0-9]+$")
  message(FATAL_ERROR "CSSUPPORT_PRODUCT_VERSION must look like 1.2.3, not '${CSSUPPORT_PRODUCT_VERSION}'")
endif()
set(_cs_release_default "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
if(NOT CSSUPPORT_RELEASE_SEQUENCE MATCHES "^[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "CSSUPPORT_RELEASE_SEQUENCE must look like 1.00, not '${CSSUPPORT_RELEASE_SEQUENCE}'")
endif()
if(CSSUPPORT_RELEASE_VERSION STREQUAL "")
  set(CSSUPPORT_RELEASE_VERSION_EFFECTIVE "${_cs_release_default}")
else()
  set(CSSUPPORT_RELEASE_VERSION_EFFECTIVE "${CSSUPPORT_RELEASE_VERSION}")
endif()
if(NOT CSSUPPORT_RELEASE_VERSION_EFFECTIVE MATCHES "^[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "CSSUPPORT_RELEASE_VERSION must look like 1.0, not '${CSSUPPORT_RELEASE_VERSION_EFFECTIVE}'")
endif()

list(LENGTH CSSUPPORT_SIBLING_VERSIONS _cs_sibling_count)
if(NOT _cs_sibling_count EQUAL 6)
  message(FATAL_ERROR "CSSUPPORT_SIBLING_VERSIONS must name exactly six records, got ${_cs_sibling_count}")
endif()

# Emits the sibling records as an X-macro list for the public header and as
# definitions for the data source.
set(CSSUPPORT_SIBLING_XMACRO "")
set(_cs_sibling_names "")
set(CSSUPPORT_SIBLING_DEFINITIONS "")
foreach(_entry IN LISTS CSSUPPORT_SIBLING_VERSIONS)
  if(NOT _entry MATCHES "^(g[A-Za-z0-9_]+)=([0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?)$")
    message(FATAL_ERROR "Sibling version entry '${_entry}' is not NAME=VERSION (e.g. gCsCliVersion=1.2.3)")
  endif()
  set(_name "${CMAKE_MATCH_1}")
  string(REPLACE "." ";" _parts "${CMAKE_MATCH_2}")
  list(LENGTH _parts _n)
  while(_n LESS 4)
    list(APPEND _parts 0)
    math(EXPR _n "${_n} + 1")
  endwhile()
  list(JOIN _parts ", " _init)
  string(APPEND CSSUPPORT_SIBLING_XMACRO " \\\n  X(${_name})")
  # In initialised data whatever the value: an all-zero record would
  # otherwise land in .bss.
  string(APPEND CSSUPPORT_SIBLING_DEFINITIONS
         "CSSUPPORT_INITIALISED_DATA CSVersionRecord ${_name} = {{${_init}}};\n")
  list(APPEND _cs_sibling_names ${_name})
endforeach()
list(REMOVE_DUPLICATES _cs_sibling_names)
list(LENGTH _cs_sibling_names _cs_sibling_count)
if(NOT _cs_sibling_count EQUAL 6)
  message(FATAL_ERROR "CSSUPPORT_SIBLING_VERSIONS names a record twice")
endif()

# The linker's export list: every build-data symbol by name, the configured
# sibling names included.
set(_cs_exports
    gBuildNumberNumeric gBuildNumberNumericString gBuildNumber gBuildVersion
    gProductVersionString gKoraReleaseVersionString
    gProductBuildNumberNumericString gProductBuildNumber
    gProductBuildNumberNumeric gProductVersion ${_cs_sibling_names})
list(JOIN _cs_exports ";\n    " CSSUPPORT_BUILD_DATA_EXPORTS)
string(APPEND CSSUPPORT_BUILD_DATA_EXPORTS ";")
set(CSSUPPORT_VERSION_SCRIPT ${PROJECT_BINARY_DIR}/cssupport.map)
configure_file(${CMAKE_CURRENT_LIST_DIR}/cssupport.map.in
               ${CSSUPPORT_VERSION_SCRIPT} @ONLY)

# The texts, and their exact array sizes for the generated header.
set(CSSUPPORT_TEXT_BUILD_NUMBER_NUMERIC_STRING "${CSSUPPORT_BUILD_NUMBER}")
set(CSSUPPORT_TEXT_BUILD_NUMBER "build-${CSSUPPORT_BUILD_NUMBER}")
set(CSSUPPORT_TEXT_BUILD_VERSION "Release${CSSUPPORT_TEXT_BUILD_NUMBER}")
set(CSSUPPORT_TEXT_PRODUCT_VERSION_STRING
    "${CSSUPPORT_PRODUCT_VERSION} ${CSSUPPORT_TEXT_BUILD_NUMBER}")
set(CSSUPPORT_TEXT_RELEASE_VERSION_STRING
    "${CSSUPPORT_PRODUCT_VERSION}-${CSSUPPORT_RELEASE_SEQUENCE}.${CSSUPPORT_BUILD_NUMBER}")
set(CSSUPPORT_TEXT_PRODUCT_BUILD_NUMBER_NUMERIC_STRING "0")
set(CSSUPPORT_TEXT_PRODUCT_BUILD_NUMBER "product-build-0")
foreach(_v BUILD_NUMBER_NUMERIC_STRING BUILD_NUMBER BUILD_VERSION
           PRODUCT_VERSION_STRING RELEASE_VERSION_STRING
           PRODUCT_BUILD_NUMBER_NUMERIC_STRING PRODUCT_BUILD_NUMBER)
  string(LENGTH "${CSSUPPORT_TEXT_${_v}}" _len)
  math(EXPR CSSUPPORT_SIZE_${_v} "${_len} + 1")
endforeach()
