#include "hostrt/recording/recording_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cssupport/hostrt/hostrt.h"
#include "tests/hostrt/standin_test_util.h"

extern "C" void syslog(int priority, const char* format, ...);

namespace hostrt_test {
namespace {

using hostrt_recording::Call;
using hostrt_recording::CallsNamed;
using Calls = std::vector<Call>;

TEST(RecordingHost, RecordsASetUpAndEmissionSequenceAsText) {
  hostrt_recording::Reset();
  Dictionary* dict = Dictionary_Create();
  Dict_SetString(dict, "/tmp/cs.log", "log.%s", "fileName");
  LogCfgInterface* cfg = Log_CfgInterface();
  Log_SetProductInfo(nullptr, "1.0", "4711", "");
  Log_InitWithFileInt("ConfigStore", dict, cfg, 0);
  LogOutput* output = Log_NewFileOutput("ConfigStore", "file", dict, cfg);
  Dictionary_Free(dict);
  EXPECT_TRUE(Log_AddOutput(output));
  const std::string pad(300, 'q');  // longer than the double's first buffer
  Log(5, "loaded %d items %s\n", 3, pad.c_str());
  syslog(4, "Failed adding %s.", "log file");
  Log_ReplaceOutput(output, nullptr, nullptr);

  EXPECT_EQ(hostrt_recording::Calls(),
            (Calls{
                {"Dictionary_Create", {}},
                {"Dict_SetString", {"dict#1", "/tmp/cs.log", "log.fileName"}},
                {"Log_CfgInterface", {}},
                {"Log_SetProductInfo", {"(null)", "1.0", "4711", ""}},
                {"Log_InitWithFileInt", {"ConfigStore", "dict#1", "cfg", "0"}},
                {"Log_NewFileOutput", {"ConfigStore", "file", "dict#1", "cfg"}},
                {"Dictionary_Free", {"dict#1"}},
                {"Log_AddOutput", {"output#1"}},
                {"LogV",
                 {"5", "loaded %d items %s\n", "loaded 3 items " + pad + "\n"}},
                {"syslog", {"4", "Failed adding log file."}},
                {"Log_ReplaceOutput", {"output#1", "(null)", "(null)"}},
            }));
}

TEST(RecordingHost, ResetRestartsNumberingAndRestoresControls) {
  hostrt_recording::Reset();
  hostrt_recording::Controls controls;
  controls.osIsHvk = true;
  controls.newFileOutputReturnsNull = true;
  controls.addOutputFails = true;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Dictionary_Free(Dictionary_Create());
    LogOutput* output = Log_NewFileOutput("s", "file", nullptr, nullptr);
    EXPECT_TRUE(Log_AddOutput(output));
    EXPECT_FALSE(HostType_OSIsHvk());
    char* uuid = UUID_CreateRandom();
    EXPECT_STREQ(uuid, "uuid-1");
    std::free(uuid);
    EXPECT_EQ(CallsNamed("Dictionary_Free"),
              (Calls{{"Dictionary_Free", {"dict#1"}}}));
    EXPECT_EQ(CallsNamed("Log_AddOutput"),
              (Calls{{"Log_AddOutput", {"output#1"}}}));
    hostrt_recording::SetControls(controls);
    EXPECT_TRUE(HostType_OSIsHvk());
    EXPECT_EQ(Log_NewFileOutput("s", "file", nullptr, nullptr), nullptr);
    EXPECT_FALSE(Log_AddOutput(output));
    hostrt_recording::Reset();
    EXPECT_TRUE(hostrt_recording::Calls().empty());
  }
}

}  // namespace
}  // namespace hostrt_test
