// End to end through the working stand-in host: lines reach real files.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cssupport/errors/exceptions.h"
#include "cssupport/logging/cs_logger.h"

// The raisers whose frames the back-trace must start at; exported (the test
// links with -rdynamic) so that dladdr names them.
extern "C" __attribute__((noinline)) void cssupport_test_raise_plain() {
  KoraConfigStore::ConfigStoreException(1105, "plain");
}
extern "C" __attribute__((noinline)) void cssupport_test_raise_validation() {
  std::vector<KoraConfigStore::ErrorInfo> errors{{"a", "b"}};
  KoraConfigStore::ValidationException(1083, "validation", errors);
}

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Prefix(const std::string& severity) {
  char id[32];
  std::snprintf(id, sizeof id, "%lx",
                static_cast<unsigned long>(pthread_self()));
  return severity + " [ConfigStore:" + id + " run=e2e] ";
}

class LoggerStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string unique = std::to_string(getpid());
    name_ = "cssupport-test-main-" + unique;
    extraName_ = "cssupport-test-extra-" + unique;
    std::remove(MainPath().c_str());
    std::remove(ExtraPath().c_str());
    CSLogger::CurrentContext["run"] = "e2e";
  }
  void TearDown() override {
    CSLogger::CurrentContext.clear();
    std::remove(MainPath().c_str());
    std::remove(ExtraPath().c_str());
  }
  std::string MainPath() const { return "/tmp/" + name_ + ".log"; }
  std::string ExtraPath() const { return "/tmp/" + extraName_ + ".log"; }

  std::string name_;
  std::string extraName_;
};

TEST_F(LoggerStandIn,
       LinesReachTheLogFileAndTheAddedFileKeepsErrorsAndWarnings) {
  CSLogger::LogInit(name_);
  void* extra = CSLogger::AddFileLogger(extraName_);
  ASSERT_NE(extra, nullptr);
  CSLogger::Log(CSLogger::CS_LOG_ERROR, "code %d", 1);
  CSLogger::DBLog("db1", CSLogger::CS_LOG_INFO, " rows=%u", 7u);
  CSLogger::LogErrCode(CSLogger::CS_LOG_WARN, KoraConfigStore::CS_ERR_DB_OPEN,
                       "main");
  CSLogger::RemoveFileLogger(extra);
  CSLogger::Log(CSLogger::CS_LOG_TRIVIA, "text %s", "t");
  CSLogger::LogExit();

  const std::vector<std::string> kept = {
      Prefix("error") + "code 1",
      Prefix("warn") + "[1001]Failed to open database main"};
  EXPECT_EQ(ReadLines(ExtraPath()), kept);
  EXPECT_EQ(ReadLines(MainPath()),
            (std::vector<std::string>{kept[0], Prefix("info") + "db1 rows=7",
                                      kept[1], Prefix("trivia") + "text t"}));
}

// The stand-in writes "#0 <module>+0x<offset> ...": the first frame must lie
// in the function that constructed the exception, for both types.
TEST_F(LoggerStandIn, BacktraceStartsInTheFunctionThatRaised) {
  for (void (*raise)() :
       {cssupport_test_raise_plain, cssupport_test_raise_validation}) {
    std::remove(MainPath().c_str());
    CSLogger::LogInit(name_);
    raise();
    CSLogger::LogExit();
    const std::vector<std::string> lines = ReadLines(MainPath());
    ASSERT_EQ(lines.size(), 2u);
    const std::string marker = "ConfigStoreException: #0 ";
    const std::size_t at = lines[1].find(marker);
    ASSERT_NE(at, std::string::npos) << lines[1];
    char module[256];
    unsigned long offset = 0;
    ASSERT_EQ(std::sscanf(lines[1].c_str() + at + marker.size(),
                          "%255[^+]+0x%lx", module, &offset),
              2)
        << lines[1];
    Dl_info raiser{}, frame{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(raise), &raiser), 0);
    const std::string file = raiser.dli_fname;
    EXPECT_EQ(file.substr(file.rfind('/') + 1), module);
    // The frame holds a return address: the call lies just before it.
    const auto* address = static_cast<const char*>(raiser.dli_fbase) + offset;
    ASSERT_NE(dladdr(address - 1, &frame), 0);
    EXPECT_EQ(frame.dli_saddr, raiser.dli_saddr)
        << "first frame is in " << (frame.dli_sname ? frame.dli_sname : "?");
  }
}

}  // namespace
