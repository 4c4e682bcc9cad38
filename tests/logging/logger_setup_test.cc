// Set-up and shutdown: exact host call sequences, each "Name(arg,...);".
#include <functional>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "cssupport/buildinfo/build_info.h"
#include "cssupport/buildinfo/internal/release_version.h"
#include "cssupport/logging/cs_logger.h"
#include "hostrt/recording/recording_host.h"

namespace {

std::string Recorded() {
  std::string calls;
  for (const auto& call : hostrt_recording::Calls()) {
    calls += call.name + "(";
    for (size_t i = 0; i < call.args.size(); ++i)
      calls += (i > 0 ? "," : "") + call.args[i];
    calls += ");";
  }
  return calls;
}

const std::string kBuild = std::to_string(gBuildNumberNumeric);
const std::string kTail = "Dictionary_Free(dict#1);Log_SetStderrLevel(0,-1);";

// Preferences, identity, dict#1 for the system log (`path` empty) or a file.
std::string Config(const std::string& path) {
  const std::string file =
      "HostType_OSIsHvk();Dict_SetString(dict#1,ConfigStore,log.suffix);"
      "Dict_SetString(dict#1," +
      path +
      ",log.fileName);"
      "Dict_SetBool(dict#1,true,log.append);";
  return "Preference_Init();ProductState_Set(2,ConfigStore,1.0," + kBuild +
         ",0,Tessel Kora Server," CSSUPPORT_RELEASE_VERSION
         ",);Dictionary_Create();" +
         (path.empty() ? "Dict_SetString(dict#1,ConfigStore,log.syslogID);"
                       : file);
}

// The product identity read back and handed on.
std::string Init(const std::string& path, const std::string& init) {
  return Config(path) +
         "Log_CfgInterface();ProductState_GetCompilationOption();"
         "ProductState_GetBuildNumberString();ProductState_GetVersion();"
         "ProductState_GetName();Log_SetProductInfo(ConfigStore,1.0," +
         kBuild + ",);" + init + kTail;
}

std::string AddFile(const std::string& install) {
  return Config("/tmp/extra.log") +
         "Dict_SetLong(dict#1,3,log.logMinLevel);Log_CfgInterface();"
         "Log_NewFileOutput(ConfigStore,file,dict#1,cfg);" +
         install + kTail;
}

TEST(LoggerSetup, EachCallMakesExactlyItsHostCalls) {
  const std::string file = "Log_InitWithFileInt(ConfigStore,dict#1,cfg,0);",
                    installed = "Log_AddOutput(output#1);";
  const auto init = [](const char* name) {
    return [name] { CSLogger::LogInit(name); };
  };
  const auto add = [](bool made) {
    return
        [=] { EXPECT_EQ(CSLogger::AddFileLogger("extra") != nullptr, made); };
  };
  const struct {
    // osIsHvk, newFileOutputReturnsNull, addOutputFails, dictionaryCreateFails
    hostrt_recording::Controls controls;
    std::function<void()> call;
    std::string expected;
  } cases[] = {
      {{},
       init(""),
       Init("", "Log_InitWithSyslogInt(ConfigStore,dict#1,cfg);")},
      {{}, init("cs"), Init("/tmp/cs.log", file)},
      {{}, init("x"), Init("/tmp/x.log", file)},  // one character: a file
      // The name is used unchanged: neither validated nor escaped.
      {{true}, init("a b/%s"), Init("/var/log/a b/%s.log", file)},
      // What the host returned is freed, null included.
      {{false, false, false, true}, init("cs"), Init("/tmp/cs.log", file)},
      {{false, false, false, true}, add(true), AddFile(installed)},
      {{false, false, true},
       add(true),
       AddFile(installed + "syslog(4,Failed adding log file.);")},
      {{false, true}, add(false), AddFile("")},
      {{}, [] { EXPECT_EQ(CSLogger::AddFileLogger(""), nullptr); }, ""},
      {{},
       [] {
         CSLogger::RemoveFileLogger(nullptr);
         CSLogger::RemoveFileLogger(CSLogger::AddFileLogger("extra"));
       },
       AddFile(installed) + "Log_ReplaceOutput(output#1,(null),(null));"},
      {{}, [] { CSLogger::LogExit(); }, "Log_Exit();Preference_Exit();"},
  };
  for (const auto& c : cases) {
    hostrt_recording::Reset();
    hostrt_recording::SetControls(c.controls);
    c.call();
    EXPECT_EQ(Recorded(), c.controls.dictionaryCreateFails
                              ? std::regex_replace(
                                    c.expected, std::regex("dict#1"), "(null)")
                              : c.expected);
  }
  hostrt_recording::Reset();
}

}  // namespace
