#include "cssupport/hostrt/recording/recording_host.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cssupport/hostrt/hostrt.h"

// The entry points a fortified or va_list caller reaches instead of syslog.
extern "C" void vsyslog(int priority, const char* format, va_list args);
extern "C" void __syslog_chk(int priority, int flag, const char* format, ...);
extern "C" void syslog(int priority, const char* format, ...);

namespace hostrt_test {
namespace {

using hostrt_recording::Call;
using hostrt_recording::CallsNamed;
using hostrt_recording::Controls;

void Log(int level, const char* format, ...) HOSTRT_PRINTF(2, 3);
void Log(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, format, args);
  va_end(args);
}

void VSyslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsyslog(priority, format, args);
  va_end(args);
}

std::string TakeUuid() {
  char* text = UUID_CreateRandom();
  std::string uuid = text;
  std::free(text);
  return uuid;
}

class RecordingHost : public ::testing::Test {
 protected:
  void SetUp() override { hostrt_recording::Reset(); }
};

TEST_F(RecordingHost, RecordsASetUpAndEmissionSequenceAsText) {
  Preference_Init();
  ProductState_Set(2, "ConfigStore", "1.0", 4711, 0, "Tessel Kora Server",
                   "7.0", "");
  Dictionary* dict = Dictionary_Create();
  Dict_SetString(dict, "/tmp/cs.log", "log.%s", "fileName");
  Dict_SetBool(dict, true, "log.append");
  Dict_SetLong(dict, 3, "log.logMinLevel");
  LogCfgInterface* cfg = Log_CfgInterface();
  const char* name = ProductState_GetName();
  const char* version = ProductState_GetVersion();
  const char* build = ProductState_GetBuildNumberString();
  const char* option = ProductState_GetCompilationOption();
  Log_SetProductInfo(name, version, build, option);
  Log_InitWithFileInt("ConfigStore", dict, cfg, 0);
  Log_InitWithSyslogInt("ConfigStore", nullptr, cfg);
  LogOutput* output = Log_NewFileOutput("ConfigStore", "file", dict, cfg);
  Dictionary_Free(dict);
  EXPECT_TRUE(Log_AddOutput(output));
  Log_SetStderrLevel(0, -1);
  Log(5, "info [x] loaded %d items\n", 3);
  syslog(4, "Failed adding log file.");
  Log_ReplaceOutput(output, nullptr, nullptr);
  Log_Exit();
  Preference_Exit();

  const std::vector<Call> expected = {
      {"Preference_Init", {}},
      {"ProductState_Set",
       {"2", "ConfigStore", "1.0", "4711", "0", "Tessel Kora Server", "7.0",
        ""}},
      {"Dictionary_Create", {}},
      {"Dict_SetString", {"dict#1", "/tmp/cs.log", "log.fileName"}},
      {"Dict_SetBool", {"dict#1", "true", "log.append"}},
      {"Dict_SetLong", {"dict#1", "3", "log.logMinLevel"}},
      {"Log_CfgInterface", {}},
      {"ProductState_GetName", {}},
      {"ProductState_GetVersion", {}},
      {"ProductState_GetBuildNumberString", {}},
      {"ProductState_GetCompilationOption", {}},
      {"Log_SetProductInfo", {"ConfigStore", "1.0", "4711", ""}},
      {"Log_InitWithFileInt", {"ConfigStore", "dict#1", "cfg", "0"}},
      {"Log_InitWithSyslogInt", {"ConfigStore", "(null)", "cfg"}},
      {"Log_NewFileOutput", {"ConfigStore", "file", "dict#1", "cfg"}},
      {"Dictionary_Free", {"dict#1"}},
      {"Log_AddOutput", {"output#1"}},
      {"Log_SetStderrLevel", {"0", "-1"}},
      {"LogV",
       {"5", "info [x] loaded %d items\n", "info [x] loaded 3 items\n"}},
      {"syslog", {"4", "Failed adding log file."}},
      {"Log_ReplaceOutput", {"output#1", "(null)", "(null)"}},
      {"Log_Exit", {}},
      {"Preference_Exit", {}},
  };
  EXPECT_EQ(hostrt_recording::Calls(), expected);
}

TEST_F(RecordingHost, BacktraceCallsRecordArgumentsAndFillFixedResults) {
  void* frames[15] = {};
  int count = 0;
  EXPECT_TRUE(CoreDump_CaptureFastBacktrace(2, 15, frames, &count));
  ASSERT_EQ(count, 3);
  EXPECT_NE(frames[0], nullptr);
  EXPECT_NE(frames[0], frames[1]);
  EXPECT_NE(frames[1], frames[2]);
  EXPECT_EQ(frames[3], nullptr);

  char buffer[1024];
  CoreDump_Base64BacktraceFormat(count, frames, buffer, sizeof buffer,
                                 "configstore");
  EXPECT_STREQ(buffer, hostrt_recording::kBacktraceText);

  char tiny[6];
  std::memset(tiny, 'z', sizeof tiny);
  CoreDump_Base64BacktraceFormat(count, frames, tiny, 5, "n");
  EXPECT_STREQ(tiny, "#0 r");
  EXPECT_EQ(tiny[5], 'z');

  const std::vector<Call> expected = {
      {"CoreDump_CaptureFastBacktrace", {"2", "15", "frames", "count"}},
      {"CoreDump_Base64BacktraceFormat",
       {"3", "frames", "buffer", "1024", "configstore"}},
      {"CoreDump_Base64BacktraceFormat", {"3", "frames", "buffer", "5", "n"}},
  };
  EXPECT_EQ(hostrt_recording::Calls(), expected);
}

TEST_F(RecordingHost, ResetRestartsNumberingAndForgetsState) {
  Dictionary_Create();
  LogOutput* first = Log_NewFileOutput("s", "file", nullptr, nullptr);
  EXPECT_EQ(TakeUuid(), "uuid-1");
  EXPECT_EQ(TakeUuid(), "uuid-2");
  ProductState_Set(2, "name", "v", 1, 0, "p", "r", "opt");
  Dictionary* second = Dictionary_Create();
  Dictionary_Free(second);
  EXPECT_EQ(CallsNamed("Dictionary_Free").at(0).args.at(0), "dict#2");

  hostrt_recording::Reset();
  EXPECT_TRUE(hostrt_recording::Calls().empty());
  EXPECT_STREQ(ProductState_GetName(), "");
  EXPECT_STREQ(ProductState_GetBuildNumberString(), "");
  Dictionary_Free(Dictionary_Create());
  Log_AddOutput(Log_NewFileOutput("s", "file", nullptr, nullptr));
  Log_AddOutput(first);  // handed out before Reset(): keeps its name
  EXPECT_EQ(TakeUuid(), "uuid-1");

  EXPECT_EQ(CallsNamed("Dictionary_Free"),
            (std::vector<Call>{{"Dictionary_Free", {"dict#1"}}}));
  EXPECT_EQ(CallsNamed("Log_AddOutput"),
            (std::vector<Call>{{"Log_AddOutput", {"output#1"}},
                               {"Log_AddOutput", {"output#1"}}}));
}

TEST_F(RecordingHost, ControlsChangeResultsUntilReset) {
  EXPECT_FALSE(HostType_OSIsHvk());
  LogOutput* output = Log_NewFileOutput("s", "file", nullptr, nullptr);
  EXPECT_TRUE(Log_AddOutput(output));
  EXPECT_FALSE(Log_AddOutput(nullptr));

  Controls controls;
  controls.osIsHvk = true;
  controls.newFileOutputReturnsNull = true;
  controls.addOutputFails = true;
  hostrt_recording::SetControls(controls);
  EXPECT_TRUE(HostType_OSIsHvk());
  EXPECT_EQ(Log_NewFileOutput("s", "file", nullptr, nullptr), nullptr);
  EXPECT_FALSE(Log_AddOutput(output));

  hostrt_recording::SetControls(Controls{});
  // The refused output did not use up a number.
  Log_AddOutput(Log_NewFileOutput("s", "file", nullptr, nullptr));
  EXPECT_EQ(CallsNamed("Log_AddOutput").back().args,
            std::vector<std::string>{"output#2"});

  hostrt_recording::SetControls(controls);
  hostrt_recording::Reset();
  EXPECT_FALSE(HostType_OSIsHvk());
  EXPECT_NE(Log_NewFileOutput("s", "file", nullptr, nullptr), nullptr);
}

TEST_F(RecordingHost, EverySyslogEntryPointRecordsTheExpandedText) {
  syslog(3, "a %s", "x");
  VSyslog(4, "b %d", 1);
  __syslog_chk(6, 1, "c %c", 'y');
  EXPECT_EQ(hostrt_recording::Calls(),
            (std::vector<Call>{{"syslog", {"3", "a x"}},
                               {"syslog", {"4", "b 1"}},
                               {"syslog", {"6", "c y"}}}));
}

TEST_F(RecordingHost, LongExpansionsAndNullTextsAreRecordedWhole) {
  const std::string longText(3000, 'q');
  Log(7, "%s", longText.c_str());
  Log_SetProductInfo(nullptr, "v", nullptr, "");
  EXPECT_EQ(hostrt_recording::Calls(),
            (std::vector<Call>{
                {"LogV", {"7", "%s", longText}},
                {"Log_SetProductInfo", {"(null)", "v", "(null)", ""}}}));
}

TEST_F(RecordingHost, ConcurrentCallsAreAllRecorded) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) {
        Log(5, "%d\n", t);
        std::free(UUID_CreateRandom());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(CallsNamed("LogV").size(), 800u);
  EXPECT_EQ(TakeUuid(), "uuid-801");
}

}  // namespace
}  // namespace hostrt_test
