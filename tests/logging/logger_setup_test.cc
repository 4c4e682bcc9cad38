// Set-up and shutdown: the exact host call sequences, through the recording
// double.
#include <syslog.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cssupport/buildinfo/build_info.h"
#include "cssupport/buildinfo/release_version.h"
#include "hostrt/recording/recording_host.h"
#include "cssupport/logging/cs_logger.h"

namespace {

using hostrt_recording::Call;
using Calls = std::vector<Call>;

class LoggerSetup : public ::testing::Test {
 protected:
  void SetUp() override { hostrt_recording::Reset(); }
  void TearDown() override { hostrt_recording::Reset(); }
};

// What every set-up call does first: preferences, product identity, a new
// dictionary (the first since Reset, so dict#1).
Calls Preamble() {
  return {
      {"Preference_Init", {}},
      {"ProductState_Set",
       {"2", "ConfigStore", "1.0", std::to_string(gBuildNumberNumeric), "0",
        "Tessel Kora Server", CSSUPPORT_RELEASE_VERSION, ""}},
      {"Dictionary_Create", {}},
  };
}

Calls FileEntries(const std::string& path) {
  return {
      {"HostType_OSIsHvk", {}},
      {"Dict_SetString", {"dict#1", "ConfigStore", "log.suffix"}},
      {"Dict_SetString", {"dict#1", path, "log.fileName"}},
      {"Dict_SetBool", {"dict#1", "true", "log.append"}},
  };
}

// The product identity read back and handed to the logging service in the
// order name, version, build-number text, compilation option.
Calls ProductInfo() {
  return {
      {"Log_CfgInterface", {}},
      {"ProductState_GetCompilationOption", {}},
      {"ProductState_GetBuildNumberString", {}},
      {"ProductState_GetVersion", {}},
      {"ProductState_GetName", {}},
      {"Log_SetProductInfo",
       {"ConfigStore", "1.0", std::to_string(gBuildNumberNumeric), ""}},
  };
}

Calls Concat(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Calls kTail = {
    {"Dictionary_Free", {"dict#1"}},
    {"Log_SetStderrLevel", {"0", "-1"}},
};

TEST_F(LoggerSetup, InitWithEmptyNameConfiguresTheSystemLog) {
  CSLogger::LogInit("");
  EXPECT_EQ(
      hostrt_recording::Calls(),
      Concat({Preamble(),
              {{"Dict_SetString", {"dict#1", "ConfigStore", "log.syslogID"}}},
              ProductInfo(),
              {{"Log_InitWithSyslogInt", {"ConfigStore", "dict#1", "cfg"}}},
              kTail}));
}

TEST_F(LoggerSetup, InitWithNameLogsToAFileByHostType) {
  const struct {
    bool hypervisor;
    const char* name;
    const char* path;
  } cases[] = {
      {false, "cs", "/tmp/cs.log"},
      // The name is used unchanged: neither validated nor escaped.
      {true, "a b/%s", "/var/log/a b/%s.log"},
  };
  for (const auto& c : cases) {
    hostrt_recording::Reset();
    hostrt_recording::Controls controls;
    controls.osIsHvk = c.hypervisor;
    hostrt_recording::SetControls(controls);
    CSLogger::LogInit(c.name);
    EXPECT_EQ(hostrt_recording::Calls(),
              Concat({Preamble(),
                      FileEntries(c.path),
                      ProductInfo(),
                      {{"Log_InitWithFileInt",
                        {"ConfigStore", "dict#1", "cfg", "0"}}},
                      kTail}));
  }
}

Calls AddFileLoggerCalls() {
  return Concat(
      {Preamble(),
       FileEntries("/tmp/extra.log"),
       {{"Dict_SetLong", {"dict#1", "3", "log.logMinLevel"}},
        {"Log_CfgInterface", {}},
        {"Log_NewFileOutput", {"ConfigStore", "file", "dict#1", "cfg"}}}});
}

TEST_F(LoggerSetup, AddFileLoggerInstallsAMinimumLevelThreeOutput) {
  void* output = CSLogger::AddFileLogger("extra");
  EXPECT_NE(output, nullptr);
  EXPECT_EQ(
      hostrt_recording::Calls(),
      Concat({AddFileLoggerCalls(), {{"Log_AddOutput", {"output#1"}}}, kTail}));
}

TEST_F(LoggerSetup, AddFileLoggerWhoseInstallFailsWarnsAndStillReturnsIt) {
  hostrt_recording::Controls controls;
  controls.addOutputFails = true;
  hostrt_recording::SetControls(controls);
  void* output = CSLogger::AddFileLogger("extra");
  EXPECT_NE(output, nullptr);
  EXPECT_EQ(
      hostrt_recording::Calls(),
      Concat({AddFileLoggerCalls(),
              {{"Log_AddOutput", {"output#1"}},
               {"syslog",
                {std::to_string(LOG_WARNING), "Failed adding log file."}}},
              kTail}));
}

TEST_F(LoggerSetup, AddFileLoggerWithoutAnOutputReturnsNull) {
  hostrt_recording::Controls controls;
  controls.newFileOutputReturnsNull = true;
  hostrt_recording::SetControls(controls);
  EXPECT_EQ(CSLogger::AddFileLogger("extra"), nullptr);
  EXPECT_EQ(hostrt_recording::Calls(), Concat({AddFileLoggerCalls(), kTail}));
}

TEST_F(LoggerSetup, AddFileLoggerWithEmptyNameCallsNothing) {
  EXPECT_EQ(CSLogger::AddFileLogger(""), nullptr);
  EXPECT_TRUE(hostrt_recording::Calls().empty());
}

TEST_F(LoggerSetup, RemoveFileLoggerReplacesTheOutputWithNothing) {
  void* output = CSLogger::AddFileLogger("extra");
  hostrt_recording::Reset();
  CSLogger::RemoveFileLogger(nullptr);
  EXPECT_TRUE(hostrt_recording::Calls().empty());

  CSLogger::RemoveFileLogger(output);
  const Calls calls = hostrt_recording::Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "Log_ReplaceOutput");
  ASSERT_EQ(calls[0].args.size(), 3u);
  EXPECT_EQ(calls[0].args[1], "(null)");
  EXPECT_EQ(calls[0].args[2], "(null)");
}

TEST_F(LoggerSetup, DictionaryIsFreedEvenWhenTheHostMadeNone) {
  hostrt_recording::Controls controls;
  controls.dictionaryCreateFails = true;
  for (void (*setUp)() : {+[] { CSLogger::LogInit("cs"); },
                          +[] { CSLogger::AddFileLogger("extra"); }}) {
    hostrt_recording::Reset();
    hostrt_recording::SetControls(controls);
    setUp();
    EXPECT_EQ(hostrt_recording::CallsNamed("Dictionary_Free"),
              (Calls{{"Dictionary_Free", {"(null)"}}}));
  }
}

TEST_F(LoggerSetup, ExitWithoutInitStillEndsServiceAndPreferences) {
  CSLogger::LogExit();
  EXPECT_EQ(hostrt_recording::Calls(),
            (Calls{{"Log_Exit", {}}, {"Preference_Exit", {}}}));
}

}  // namespace
