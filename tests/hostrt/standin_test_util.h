#ifndef CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_
#define CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cssupport/hostrt/hostrt.h"

namespace hostrt_test {

HOSTRT_PRINTF(2, 3) inline void Log(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, format, args);
  va_end(args);
}

// Fresh directory, logging ended after; level 99: no minimum; append -1: unset.
struct StandinLogTest : ::testing::Test {
  void SetUp() override { ASSERT_NE(mkdtemp(&dir_[0]), nullptr); }
  void TearDown() override { Log_Exit(), std::filesystem::remove_all(dir_); }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  LogOutput* Open(const std::string& name, long level = -1, int append = 0) {
    Dictionary* dict = Dictionary_Create();
    Dict_SetString(dict, (dir_ + "/" + name).c_str(), "log.%s", "fileName");
    if (append >= 0) Dict_SetBool(dict, append, "log.append");
    if (0ul + level < 99) Dict_SetLong(dict, level, "log.%sMinLevel", "log");
    LogOutput* output = nullptr;
    EXPECT_TRUE(level < 0
                    ? Log_InitWithFileInt("ConfigStore", dict, nullptr, 0)
                    : Log_AddOutput(output = Log_NewFileOutput(
                                        "ConfigStore", "file", dict, nullptr)));
    Dictionary_Free(dict);
    return output;
  }
  std::string dir_ = "/tmp/hostrt_test.XXXXXX";
};

}  // namespace hostrt_test

#endif  // CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_
