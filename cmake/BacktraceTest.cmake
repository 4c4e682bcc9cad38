# The back-trace test alone, for builds that leave the suite out: where an
# exception's back-trace starts depends on inlining and frame layout, so it is
# checked in the optimised build that ships as well. The abi preset (the
# release preset with this on) builds it; scripts/check-abi runs it.
option(CSSUPPORT_BUILD_BACKTRACE_TEST
  "Build tests/logging/logger_standin_test even when the suite is off" OFF)

if(CSSUPPORT_BUILD_BACKTRACE_TEST AND NOT CSSUPPORT_BUILD_TESTS)
  find_package(GTest REQUIRED)
  # Linked as the suite links it (tests/CMakeLists.txt, HOST standin), and
  # with its symbols exported so that dladdr names the raisers.
  add_executable(logger_standin_test
    ${PROJECT_SOURCE_DIR}/tests/logging/logger_standin_test.cc)
  target_link_libraries(logger_standin_test PRIVATE
    cssupport_static tessellibs tvl GTest::gtest GTest::gtest_main
    cssupport_warnings)
  target_compile_definitions(logger_standin_test PRIVATE
    CSSUPPORT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    CSSUPPORT_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set_target_properties(logger_standin_test PROPERTIES
    ENABLE_EXPORTS ON
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/logging)
endif()
