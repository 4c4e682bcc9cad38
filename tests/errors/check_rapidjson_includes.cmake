# The one-RapidJSON-header rule: only cssupport/errors/json.h includes RapidJSON
# directly, so that its assertion hook is in place in every translation unit.
#
#   cmake -DROOT=<source root> -P check_rapidjson_includes.cmake
#     fails, naming the files, when any other source file includes a
#     <rapidjson/...> or "rapidjson/..." header.
#   cmake -DSELF_TEST_DIR=<scratch dir> -P check_rapidjson_includes.cmake
#     checks the check itself on a generated tree.

cmake_minimum_required(VERSION 3.25)

# Sets `out` to the source files under `root` (relative paths, build trees
# and .git skipped) that include a RapidJSON header, errors/json.h excepted.
function(find_direct_includes root out)
  # Top-level build trees are never entered: they hold generated copies of
  # sources.
  file(GLOB entries LIST_DIRECTORIES true RELATIVE "${root}" "${root}/*")
  set(files)
  foreach(entry IN LISTS entries)
    if(entry MATCHES "^(build|out|\\.git)$")
      continue()
    endif()
    if(IS_DIRECTORY "${root}/${entry}")
      file(GLOB_RECURSE more LIST_DIRECTORIES false RELATIVE "${root}"
           "${root}/${entry}/*")
      list(APPEND files ${more})
    else()
      list(APPEND files "${entry}")
    endif()
  endforeach()
  set(found)
  foreach(file IN LISTS files)
    if(NOT file MATCHES "\\.(h|hh|hpp|c|cc|cpp|cxx|inc|in)$" OR
       file STREQUAL "cssupport/errors/json.h")
      continue()
    endif()
    file(STRINGS "${root}/${file}" lines
         REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]rapidjson/")
    if(lines)
      list(APPEND found "${file}")
    endif()
  endforeach()
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

if(DEFINED SELF_TEST_DIR)
  set(d "${SELF_TEST_DIR}")
  file(REMOVE_RECURSE "${d}")
  file(WRITE "${d}/cssupport/errors/json.h" "#include <rapidjson/document.h>\n")
  file(WRITE "${d}/a/ok.cc" "#include \"cssupport/errors/json.h\"\n// rapidjson/document.h\n")
  file(WRITE "${d}/a/angle.cc" "int x;\n  #  include <rapidjson/writer.h>\n")
  file(WRITE "${d}/b/quoted.h" "#include \"rapidjson/reader.h\"\n")
  file(WRITE "${d}/build/generated.cc" "#include <rapidjson/document.h>\n")
  find_direct_includes("${d}" found)
  if(NOT found STREQUAL "a/angle.cc;b/quoted.h")
    message(FATAL_ERROR "the check found [${found}], expected [a/angle.cc;b/quoted.h]")
  endif()
  file(REMOVE_RECURSE "${d}")
  return()
endif()

if(NOT DEFINED ROOT)
  message(FATAL_ERROR "pass -DROOT=<source root> or -DSELF_TEST_DIR=<dir>")
endif()
find_direct_includes("${ROOT}" found)
if(found)
  list(JOIN found "\n  " listing)
  message(FATAL_ERROR
    "RapidJSON included directly (include \"cssupport/errors/json.h\" "
    "instead):\n  ${listing}")
endif()
