// End to end through the working stand-in host: lines reach real files.
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cssupport/logging/cs_logger.h"

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

TEST_F(LoggerStandIn, LinesOfEverySeverityReachTheLogFileExpanded) {
  CSLogger::LogInit(name_);
  CSLogger::Log(CSLogger::CS_LOG_ERROR, "code %d", 1);
  CSLogger::Log(CSLogger::CS_LOG_TRIVIA, "text %s", "t");
  CSLogger::DBLog("db1", CSLogger::CS_LOG_INFO, " rows=%u", 7u);
  CSLogger::LogErrCode(CSLogger::CS_LOG_WARN, KoraConfigStore::CS_ERR_DB_OPEN,
                       "main");
  CSLogger::LogExit();

  EXPECT_EQ(ReadLines(MainPath()),
            (std::vector<std::string>{
                Prefix("error") + "code 1",
                Prefix("trivia") + "text t",
                Prefix("info") + "db1 rows=7",
                Prefix("warn") + "[1001]Failed to open database main",
            }));
}

TEST_F(LoggerStandIn, AddedFileKeepsErrorsAndWarningsUntilRemoved) {
  CSLogger::LogInit(name_);
  void* extra = CSLogger::AddFileLogger(extraName_);
  ASSERT_NE(extra, nullptr);
  CSLogger::Log(CSLogger::CS_LOG_ERROR, "e%d", 1);
  CSLogger::Log(CSLogger::CS_LOG_WARN, "w%d", 1);
  CSLogger::Log(CSLogger::CS_LOG_INFO, "i%d", 1);
  CSLogger::Log(CSLogger::CS_LOG_DEBUG, "d%d", 1);
  CSLogger::RemoveFileLogger(extra);
  CSLogger::Log(CSLogger::CS_LOG_ERROR, "e%d", 2);
  CSLogger::LogExit();

  EXPECT_EQ(ReadLines(ExtraPath()),
            (std::vector<std::string>{Prefix("error") + "e1",
                                      Prefix("warn") + "w1"}));
  EXPECT_EQ(ReadLines(MainPath()).size(), 5u);
}

}  // namespace
