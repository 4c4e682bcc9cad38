// Helpers shared by the stand-in host's tests.
#ifndef CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_
#define CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <optional>

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
  void SetUp() override { ASSERT_NE(mkdtemp(&dir_[0]), nullptr); }
  void TearDown() override {
    Log_Exit();
    std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
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
    if (minLevel >= 0 && minLevel < 99)
      Dict_SetLong(dict, minLevel, "log.%sMinLevel", "log");
    LogOutput* output =
        minLevel < 0 ? nullptr
                     : Log_NewFileOutput("ConfigStore", "file", dict, nullptr);
    EXPECT_TRUE(minLevel < 0
                    ? Log_InitWithFileInt("ConfigStore", dict, nullptr, 0)
                    : Log_AddOutput(output));
    Dictionary_Free(dict);
    return output;
  }

  std::string dir_ = "/tmp/hostrt_test.XXXXXX";
};

}  // namespace hostrt_test

#endif  // CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_
