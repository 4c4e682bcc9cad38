// Logger set-up: every call is passed straight on to the host; nothing here
// keeps state or checks the order of calls.
#include <syslog.h>

#include <string>

#include "cssupport/buildinfo/build_info.h"
#include "cssupport/buildinfo/internal/release_version.h"
#include "cssupport/hostrt/hostrt.h"
#include "cssupport/logging/cs_logger.h"
#include "cssupport/logging/internal/log_directory.h"

namespace CSLogger {
namespace {

constexpr const char kService[] = "ConfigStore";

// Holds what Dictionary_Create returned and hands exactly that, null
// included, to Dictionary_Free when the scope ends, on every path.
class DictionaryPtr {
 public:
  explicit DictionaryPtr(Dictionary* dict) : dict_(dict) {}
  DictionaryPtr(DictionaryPtr&& other) noexcept
      : dict_(other.dict_), owned_(other.owned_) {
    other.owned_ = false;
  }
  DictionaryPtr(const DictionaryPtr&) = delete;
  DictionaryPtr& operator=(const DictionaryPtr&) = delete;
  ~DictionaryPtr() { reset(); }

  Dictionary* get() const { return dict_; }
  void reset() {
    if (owned_) Dictionary_Free(dict_);
    owned_ = false;
  }

 private:
  Dictionary* dict_;
  bool owned_ = true;
};

// Opens the host preferences, registers the product identity and returns a
// new logging dictionary for `name`: the system log for an empty name, else
// the appending file <log dir>/<name>.log.
DictionaryPtr BuildLogConfig(const std::string& name) {
  Preference_Init();
  ProductState_Set(2, kService, "1.0", gBuildNumberNumeric, 0,
                   "Tessel Kora Server", CSSUPPORT_RELEASE_VERSION, "");
  DictionaryPtr dict(Dictionary_Create());
  if (name.empty()) {
    Dict_SetString(dict.get(), kService, "log.syslogID");
    return dict;
  }
  const std::string path = internal::LogFilePath(name, HostType_OSIsHvk());
  Dict_SetString(dict.get(), kService, "log.suffix");
  Dict_SetString(dict.get(), path.c_str(), "log.fileName");
  Dict_SetBool(dict.get(), true, "log.append");
  return dict;
}

}  // namespace

void LogInit(const std::string& name) {
  DictionaryPtr dict = BuildLogConfig(name);
  LogCfgInterface* cfg = Log_CfgInterface();
  const char* option = ProductState_GetCompilationOption();
  const char* build = ProductState_GetBuildNumberString();
  const char* version = ProductState_GetVersion();
  const char* product = ProductState_GetName();
  Log_SetProductInfo(product, version, build, option);
  if (!name.empty()) {
    Log_InitWithFileInt(kService, dict.get(), cfg, 0);
  } else {
    Log_InitWithSyslogInt(kService, dict.get(), cfg);
  }
  dict.reset();
  Log_SetStderrLevel(0, -1);
}

void* AddFileLogger(const std::string& name) {
  if (name.empty()) return nullptr;
  DictionaryPtr dict = BuildLogConfig(name);
  Dict_SetLong(dict.get(), 3, "log.logMinLevel");
  LogCfgInterface* cfg = Log_CfgInterface();
  LogOutput* output = Log_NewFileOutput(kService, "file", dict.get(), cfg);
  if (output != nullptr && !Log_AddOutput(output)) {
    syslog(LOG_WARNING, "%s", "Failed adding log file.");
  }
  dict.reset();
  Log_SetStderrLevel(0, -1);
  return output;
}

void RemoveFileLogger(void* output) {
  if (output == nullptr) return;
  Log_ReplaceOutput(static_cast<LogOutput*>(output), nullptr, nullptr);
}

void LogExit() {
  Log_Exit();
  Preference_Exit();
}

}  // namespace CSLogger
