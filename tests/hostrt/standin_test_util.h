// Helpers shared by the stand-in host tests.
#ifndef CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_
#define CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdarg>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cssupport/hostrt/hostrt.h"

namespace hostrt_test {

inline void Log(int level, const char* format, ...) HOSTRT_PRINTF(2, 3);
inline void Log(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, format, args);
  va_end(args);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A fresh directory per test; the logging service is shut down afterwards so
// that no output outlives the test.
class StandinLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hostrt_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }

  void TearDown() override {
    Log_Exit();
    for (const std::string& file : created_) unlink(file.c_str());
    rmdir(dir_.c_str());
  }

  std::string PathOf(const std::string& name) {
    created_.push_back(dir_ + "/" + name);
    return created_.back();
  }

  // A dictionary naming `path`; the caller frees it.
  static Dictionary* FileDict(const std::string& path, bool append = true) {
    Dictionary* dict = Dictionary_Create();
    Dict_SetString(dict, path.c_str(), "log.fileName");
    Dict_SetBool(dict, append, "log.append");
    return dict;
  }

  static void InitMainFile(const std::string& path, bool append = true) {
    Dictionary* dict = FileDict(path, append);
    ASSERT_TRUE(
        Log_InitWithFileInt("ConfigStore", dict, Log_CfgInterface(), 0));
    Dictionary_Free(dict);
  }

  static LogOutput* AddExtraFile(const std::string& path, long minLevel) {
    Dictionary* dict = FileDict(path);
    Dict_SetLong(dict, minLevel, "log.logMinLevel");
    LogOutput* output =
        Log_NewFileOutput("ConfigStore", "file", dict, Log_CfgInterface());
    Dictionary_Free(dict);
    EXPECT_NE(output, nullptr);
    EXPECT_TRUE(Log_AddOutput(output));
    return output;
  }

  std::string dir_;
  std::vector<std::string> created_;
};

}  // namespace hostrt_test

#endif  // CSSUPPORT_TESTS_HOSTRT_STANDIN_TEST_UTIL_H_
