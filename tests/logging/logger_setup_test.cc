// Set-up and shutdown: the exact host call sequences, through the recording
// double, each call written "Name(arg,...)".
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cssupport/buildinfo/build_info.h"
#include "cssupport/buildinfo/release_version.h"
#include "cssupport/logging/cs_logger.h"
#include "hostrt/recording/recording_host.h"

namespace {

using Calls = std::vector<std::string>;

Calls Recorded() {
  Calls calls;
  for (const auto& call : hostrt_recording::Calls()) {
    std::string text = call.name + "(";
    for (size_t i = 0; i < call.args.size(); ++i)
      text += (i > 0 ? "," : "") + call.args[i];
    calls.push_back(text + ")");
  }
  return calls;
}

Calls Join(Calls calls, const Calls& more) {
  calls.insert(calls.end(), more.begin(), more.end());
  return calls;
}

// Preferences, product identity and a new dictionary (dict#1) for the system
// log (`path` empty) or a file.
Calls Config(const std::string& path) {
  const Calls start = {"Preference_Init()",
                       "ProductState_Set(2,ConfigStore,1.0," +
                           std::to_string(gBuildNumberNumeric) +
                           ",0,Tessel Kora Server," CSSUPPORT_RELEASE_VERSION
                           ",)",
                       "Dictionary_Create()"};
  if (path.empty())
    return Join(start, {"Dict_SetString(dict#1,ConfigStore,log.syslogID)"});
  return Join(start, {"HostType_OSIsHvk()",
                      "Dict_SetString(dict#1,ConfigStore,log.suffix)",
                      "Dict_SetString(dict#1," + path + ",log.fileName)",
                      "Dict_SetBool(dict#1,true,log.append)"});
}

const Calls kTail = {"Dictionary_Free(dict#1)", "Log_SetStderrLevel(0,-1)"};

// The product identity read back and handed on: name, version, build-number
// text, compilation option.
Calls Init(const std::string& path, const std::string& init) {
  return Join(Join(Config(path),
                   {"Log_CfgInterface()", "ProductState_GetCompilationOption()",
                    "ProductState_GetBuildNumberString()",
                    "ProductState_GetVersion()", "ProductState_GetName()",
                    "Log_SetProductInfo(ConfigStore,1.0," +
                        std::to_string(gBuildNumberNumeric) + ",)",
                    init}),
              kTail);
}

Calls AddFile(const Calls& install) {
  return Join(
      Join(Config("/tmp/extra.log"),
           {"Dict_SetLong(dict#1,3,log.logMinLevel)", "Log_CfgInterface()",
            "Log_NewFileOutput(ConfigStore,file,dict#1,cfg)"}),
      Join(install, kTail));
}

TEST(LoggerSetup, EachCallMakesExactlyItsHostCalls) {
  using hostrt_recording::Controls;
  const std::string file = "Log_InitWithFileInt(ConfigStore,dict#1,cfg,0)";
  const auto init = [](const char* name) {
    return [name] { CSLogger::LogInit(name); };
  };
  const auto add = [](bool made) {
    return [made] {
      EXPECT_EQ(CSLogger::AddFileLogger("extra") != nullptr, made);
    };
  };
  const struct {
    // osIsHvk, newFileOutputReturnsNull, addOutputFails,
    // dictionaryCreateFails
    Controls controls;
    std::function<void()> call;
    Calls expected;
  } cases[] = {
      {{}, init(""), Init("", "Log_InitWithSyslogInt(ConfigStore,dict#1,cfg)")},
      {{}, init("cs"), Init("/tmp/cs.log", file)},
      // The name is used unchanged: neither validated nor escaped.
      {{true}, init("a b/%s"), Init("/var/log/a b/%s.log", file)},
      // What the host returned is freed, null included.
      {{false, false, false, true}, init("cs"), Init("/tmp/cs.log", file)},
      {{false, false, false, true},
       add(true),
       AddFile({"Log_AddOutput(output#1)"})},
      {{}, add(true), AddFile({"Log_AddOutput(output#1)"})},
      {{false, false, true},
       add(true),
       AddFile(
           {"Log_AddOutput(output#1)", "syslog(4,Failed adding log file.)"})},
      {{false, true}, add(false), AddFile({})},
      {{}, [] { EXPECT_EQ(CSLogger::AddFileLogger(""), nullptr); }, {}},
      {{},
       [] {
         CSLogger::RemoveFileLogger(nullptr);
         CSLogger::RemoveFileLogger(CSLogger::AddFileLogger("extra"));
       },
       Join(AddFile({"Log_AddOutput(output#1)"}),
            {"Log_ReplaceOutput(output#1,(null),(null))"})},
      {{}, [] { CSLogger::LogExit(); }, {"Log_Exit()", "Preference_Exit()"}},
  };
  for (const auto& c : cases) {
    hostrt_recording::Reset();
    hostrt_recording::SetControls(c.controls);
    c.call();
    Calls expected = c.expected;
    for (std::string& call : expected) {
      const auto at = call.find("dict#1");
      if (c.controls.dictionaryCreateFails && at != std::string::npos)
        call.replace(at, 6, "(null)");
    }
    EXPECT_EQ(Recorded(), expected);
  }
  hostrt_recording::Reset();
}

}  // namespace
