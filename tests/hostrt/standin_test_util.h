// Helpers shared by the stand-in host's tests.
#ifndef CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_
#define CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "cssupport/hostrt/hostrt.h"

namespace hostrt_test {

HOSTRT_PRINTF(2, 3) inline void Log(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, format, args);
  va_end(args);
}

// A fresh directory per test; the logging service is shut down afterwards so
// that no output outlives the test.
class StandinLogTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(mkdtemp(dir_), nullptr); }
  void TearDown() override {
    Log_Exit();
    std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const {
    return std::string(dir_) + "/" + name;
  }

  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name));
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // Opens `name` as the main log file (minLevel -1) or as an installed extra
  // output; "log.append" and "log.logMinLevel" are set only when given.
  LogOutput* Open(const std::string& name, long minLevel = -1,
                  std::optional<bool> append = false) const {
    Dictionary* dict = Dictionary_Create();
    Dict_SetString(dict, Path(name).c_str(), "log.%s", "fileName");
    if (append) Dict_SetBool(dict, *append, "log.append");
    LogOutput* output = nullptr;
    if (minLevel < 0) {
      EXPECT_TRUE(Log_InitWithFileInt("ConfigStore", dict, nullptr, 0));
    } else {
      if (minLevel < 99) Dict_SetLong(dict, minLevel, "log.%sMinLevel", "log");
      output = Log_NewFileOutput("ConfigStore", "file", dict, nullptr);
      EXPECT_TRUE(Log_AddOutput(output));
    }
    Dictionary_Free(dict);
    return output;
  }

  char dir_[24] = "/tmp/hostrt_test.XXXXXX";
};

}  // namespace hostrt_test

#endif  // CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_
