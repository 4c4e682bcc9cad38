// Emission: the exact format each call hands the host, and what the host
// makes of it, through the recording double.
#include <pthread.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "cssupport/hostrt/recording/recording_host.h"
#include "cssupport/logging/cs_logger.h"

namespace {

using CSLogger::CS_LOG_DEBUG;
using CSLogger::CS_LOG_ERROR;
using CSLogger::CS_LOG_INFO;
using CSLogger::CS_LOG_TRIVIA;
using CSLogger::CS_LOG_WARN;
using hostrt_recording::Call;

std::string ThreadHex() {
  char text[32];
  std::snprintf(text, sizeof text, "%lx",
                static_cast<unsigned long>(pthread_self()));
  return text;
}

// The prefix up to and including "] " for the calling thread.
std::string Prefix(const std::string& severity,
                   const std::string& context = "") {
  return severity + " [ConfigStore:" + ThreadHex() + context + "] ";
}

class LoggerEmit : public ::testing::Test {
 protected:
  void SetUp() override {
    hostrt_recording::Reset();
    CSLogger::CurrentContext.clear();
  }
  void TearDown() override { CSLogger::CurrentContext.clear(); }

  // The single LogV call made since SetUp.
  static Call OnlyLine() {
    const auto calls = hostrt_recording::Calls();
    EXPECT_EQ(calls.size(), 1u);
    return calls.empty() ? Call{} : calls.front();
  }
};

TEST_F(LoggerEmit, SeverityNamesAndHostLevels) {
  const struct {
    CSLogger::log_priority priority;
    const char* name;
    const char* level;
  } cases[] = {
      {CS_LOG_ERROR, "error", "2"},   {CS_LOG_WARN, "warn", "3"},
      {CS_LOG_INFO, "info", "5"},     {CS_LOG_DEBUG, "debug", "6"},
      {CS_LOG_TRIVIA, "trivia", "7"},
  };
  for (const auto& c : cases) {
    hostrt_recording::Reset();
    CSLogger::Log(c.priority, "loaded %d items", 3);
    const std::string format = Prefix(c.name) + "loaded %d items\n";
    EXPECT_EQ(
        OnlyLine(),
        (Call{"LogV", {c.level, format, Prefix(c.name) + "loaded 3 items\n"}}))
        << c.name;
  }
}

TEST_F(LoggerEmit, ThreadIdIsLowerCaseHexWithoutPrefix) {
  CSLogger::Log(CS_LOG_INFO, "x");
  const std::string format = OnlyLine().args.at(1);
  const std::string id = format.substr(std::string("info [ConfigStore:").size(),
                                       ThreadHex().size());
  EXPECT_EQ(id, ThreadHex());
  EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(id[0], '0');
}

TEST_F(LoggerEmit, ContextEntriesInKeyOrderIncludingEmptyKey) {
  CSLogger::CurrentContext["op"] = "load";
  CSLogger::CurrentContext["db"] = "main";
  CSLogger::CurrentContext[""] = "anon";
  CSLogger::CurrentContext["Z"] = "";  // upper case sorts before lower
  CSLogger::Log(CS_LOG_INFO, "loaded %d items", 7);
  EXPECT_EQ(OnlyLine().args.at(1),
            Prefix("info", " =anon Z= db=main op=load") + "loaded %d items\n");
}

TEST_F(LoggerEmit, PercentSignsFromContextAndDatabaseComeThroughLiterally) {
  CSLogger::CurrentContext["rate"] = "100%";
  CSLogger::CurrentContext["%s"] = "%s%n%d";
  CSLogger::DBLog("db%n%s", CS_LOG_WARN, "value %s", "v");
  const Call line = OnlyLine();
  EXPECT_EQ(line.args.at(1),
            Prefix("warn", " %%s=%%s%%n%%d rate=100%%") + "db%%n%%svalue %s\n");
  EXPECT_EQ(line.args.at(2),
            Prefix("warn", " %s=%s%n%d rate=100%") + "db%n%svalue v\n");
}

TEST_F(LoggerEmit, DBLogPutsTheNameRightBeforeTheFormat) {
  CSLogger::DBLog("configdb", CS_LOG_DEBUG, "step %d", 2);
  EXPECT_EQ(OnlyLine().args.at(2), Prefix("debug") + "configdbstep 2\n");

  hostrt_recording::Reset();
  CSLogger::DBLog("", CS_LOG_DEBUG, "step %d", 2);
  const Call viaDb = OnlyLine();
  hostrt_recording::Reset();
  CSLogger::Log(CS_LOG_DEBUG, "step %d", 2);
  EXPECT_EQ(viaDb, OnlyLine());
}

TEST_F(LoggerEmit, LogErrCodeTagsTheCodeAndUsesItsCatalogueText) {
  CSLogger::LogErrCode(CS_LOG_ERROR, KoraConfigStore::CS_ERR_DB_OPEN, "main");
  EXPECT_EQ(OnlyLine(),
            (Call{"LogV",
                  {"2", Prefix("error") + "[1001]Failed to open database %s\n",
                   Prefix("error") + "[1001]Failed to open database main\n"}}));

  const struct {
    int code;
    const char* expected;
  } cases[] = {
      {-5, "[-5]unknown message\n"},
      {1019, "[1019]unknown message\n"},
      {-2147483647 - 1, "[-2147483648]unknown message\n"},
      {1104, "[1104]Child process terminated with exit value: %d\n"},
  };
  for (const auto& c : cases) {
    hostrt_recording::Reset();
    CSLogger::LogErrCode(CS_LOG_WARN,
                         static_cast<KoraConfigStore::CSErrorCodes>(c.code), 9);
    EXPECT_EQ(OnlyLine().args.at(1), Prefix("warn") + c.expected) << c.code;
  }
}

TEST_F(LoggerEmit, FormatEndingInNewlineGivesTwo) {
  CSLogger::Log(CS_LOG_INFO, "done\n");
  EXPECT_EQ(OnlyLine().args.at(1), Prefix("info") + "done\n\n");
}

TEST_F(LoggerEmit, PriorityOutsideTheFiveThrowsAndLogsNothing) {
  for (int bad : {-1, 5, 1000}) {
    const auto priority = static_cast<CSLogger::log_priority>(bad);
    EXPECT_THROW(CSLogger::Log(priority, "x"), std::out_of_range);
    EXPECT_THROW(CSLogger::DBLog("db", priority, "x"), std::out_of_range);
    EXPECT_THROW(
        CSLogger::LogErrCode(priority, KoraConfigStore::CS_ERR_INTERNAL),
        std::out_of_range);
  }
  EXPECT_TRUE(hostrt_recording::Calls().empty());
}

TEST_F(LoggerEmit, LongLinesAreComposedWhole) {
  // Beyond the inline buffer: context and tag of several KiB.
  CSLogger::CurrentContext["big"] = std::string(3000, 'v') + "%";
  const std::string database(5000, 'd');
  CSLogger::DBLog(database, CS_LOG_INFO, "%s", "end");
  EXPECT_EQ(OnlyLine().args.at(2),
            Prefix("info", " big=" + std::string(3000, 'v') + "%") + database +
                "end\n");
}

TEST_F(LoggerEmit, BacktraceIsOneInfoLineWithTheHostText) {
  CSLogger::LogBacktrace();
  const auto calls = hostrt_recording::Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], (Call{"CoreDump_CaptureFastBacktrace",
                            {"2", "15", "frames", "count"}}));
  EXPECT_EQ(calls[1], (Call{"CoreDump_Base64BacktraceFormat",
                            {"3", "frames", "buffer", "1024", "configstore"}}));
  EXPECT_EQ(calls[2], (Call{"LogV",
                            {"5", Prefix("info") + "ConfigStoreException: %s\n",
                             Prefix("info") + "ConfigStoreException: " +
                                 hostrt_recording::kBacktraceText + "\n"}}));
}

}  // namespace
