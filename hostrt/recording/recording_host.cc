#include "hostrt/recording/recording_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cssupport/hostrt/hostrt.h"
#include "hostrt/format_v.h"
#include "hostrt/product_state.h"

// <syslog.h> is deliberately not included: with fortification it defines
// syslog() inline, which would clash with the definitions below.
extern "C" {
void syslog(int priority, const char* format, ...) HOSTRT_PRINTF(2, 3);
void vsyslog(int priority, const char* format, va_list args)
    HOSTRT_PRINTF(2, 0);
void __syslog_chk(int priority, int flag, const char* format, ...)
    HOSTRT_PRINTF(3, 4);
void __vsyslog_chk(int priority, int flag, const char* format, va_list args)
    HOSTRT_PRINTF(3, 0);
}

namespace hostrt_recording {
namespace {

using hostrt_internal::ProductState;

// What a Dictionary*, LogOutput* or LogCfgInterface* handed out by the double
// points to. Handles stay allocated for the life of the process so that a
// late free or a handle kept across Reset() never touches released memory.
struct Handle {
  std::string label;
};

struct State {
  std::mutex mu;
  std::vector<Call> calls;
  Controls controls;
  int dictionaries = 0;
  int outputs = 0;
  int uuids = 0;
  std::deque<Handle> handles;
  Handle cfg{"cfg"};
  ProductState product;
};

// Never destroyed: host calls may arrive from static destructors.
State& GetState() {
  static State* const state = new State;
  return *state;
}

std::string Text(const char* s) { return s != nullptr ? s : "(null)"; }
std::string Text(bool b) { return b ? "true" : "false"; }
std::string Text(int i) { return std::to_string(i); }
std::string Text(long l) { return std::to_string(l); }
std::string Text(size_t z) { return std::to_string(z); }

std::string HandleText(const void* handle) {
  return handle != nullptr ? static_cast<const Handle*>(handle)->label
                           : "(null)";
}

std::string FormatV(const char* format, va_list args) {
  return format != nullptr ? hostrt_internal::FormatV(format, args) : "(null)";
}

void Record(std::string name, std::vector<std::string> args) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  s.calls.push_back(Call{std::move(name), std::move(args)});
}

// Records the call and returns a new handle labelled "<kind>#<n>".
void* NewHandle(const char* kind, int State::*counter) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  s.handles.push_back(Handle{kind + ("#" + std::to_string(++(s.*counter)))});
  return &s.handles.back();
}

// Records a getter call and returns the text the last ProductState_Set left.
const char* RecordGet(const char* name, const char* ProductState::*field) {
  Record(name, {});
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.product.*field;
}

// Records a Dict_Set* call: {handle, value, key expanded from its format}.
void RecordSet(const char* name, const void* dict, std::string value,
               const char* key, va_list args) {
  Record(name, {HandleText(dict), std::move(value), FormatV(key, args)});
}

}  // namespace

void Reset() {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  s.calls.clear();
  s.controls = Controls{};
  s.dictionaries = 0;
  s.outputs = 0;
  s.uuids = 0;
  s.product.Clear();
}

void SetControls(const Controls& controls) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  s.controls = controls;
}

std::vector<Call> Calls() {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.calls;
}

std::vector<Call> CallsNamed(const std::string& name) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  std::vector<Call> out;
  for (const Call& call : s.calls) {
    if (call.name == name) out.push_back(call);
  }
  return out;
}

void PrintTo(const Call& call, std::ostream* os) {
  *os << call.name << '(';
  const char* separator = "";
  for (const std::string& arg : call.args) {
    *os << separator << '"';
    for (const char c : arg) {
      if (c == '\n') {
        *os << "\\n";
      } else {
        *os << c;
      }
    }
    *os << '"';
    separator = ", ";
  }
  *os << ')';
}

}  // namespace hostrt_recording

namespace hr = hostrt_recording;

extern "C" {

void Preference_Init(void) { hr::Record("Preference_Init", {}); }
void Preference_Exit(void) { hr::Record("Preference_Exit", {}); }

void ProductState_Set(int productId, const char* name, const char* version,
                      int buildNumber, int productBuildNumber,
                      const char* productName, const char* releaseVersion,
                      const char* compilationOption) {
  hr::Record("ProductState_Set",
             {hr::Text(productId), hr::Text(name), hr::Text(version),
              hr::Text(buildNumber), hr::Text(productBuildNumber),
              hr::Text(productName), hr::Text(releaseVersion),
              hr::Text(compilationOption)});
  hr::State& s = hr::GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  s.product.Set(hr::Text(name), hr::Text(version), buildNumber,
                hr::Text(compilationOption));
}

const char* ProductState_GetName(void) {
  return hr::RecordGet("ProductState_GetName", &hr::ProductState::name);
}

const char* ProductState_GetVersion(void) {
  return hr::RecordGet("ProductState_GetVersion", &hr::ProductState::version);
}

const char* ProductState_GetBuildNumberString(void) {
  return hr::RecordGet("ProductState_GetBuildNumberString",
                       &hr::ProductState::buildNumber);
}

const char* ProductState_GetCompilationOption(void) {
  return hr::RecordGet("ProductState_GetCompilationOption",
                       &hr::ProductState::compilationOption);
}

Dictionary* Dictionary_Create(void) {
  hr::Record("Dictionary_Create", {});
  {
    hr::State& s = hr::GetState();
    std::lock_guard<std::mutex> lock(s.mu);
    if (s.controls.dictionaryCreateFails) return nullptr;
  }
  return static_cast<Dictionary*>(
      hr::NewHandle("dict", &hr::State::dictionaries));
}

void Dictionary_Free(Dictionary* dict) {
  hr::Record("Dictionary_Free", {hr::HandleText(dict)});
}

void Dict_SetString(Dictionary* dict, const char* value, const char* key, ...) {
  va_list args;
  va_start(args, key);
  hr::RecordSet("Dict_SetString", dict, hr::Text(value), key, args);
  va_end(args);
}

void Dict_SetBool(Dictionary* dict, bool value, const char* key, ...) {
  va_list args;
  va_start(args, key);
  hr::RecordSet("Dict_SetBool", dict, hr::Text(value), key, args);
  va_end(args);
}

void Dict_SetLong(Dictionary* dict, long value, const char* key, ...) {
  va_list args;
  va_start(args, key);
  hr::RecordSet("Dict_SetLong", dict, hr::Text(value), key, args);
  va_end(args);
}

bool HostType_OSIsHvk(void) {
  hr::Record("HostType_OSIsHvk", {});
  hr::State& s = hr::GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.controls.osIsHvk;
}

LogCfgInterface* Log_CfgInterface(void) {
  hr::Record("Log_CfgInterface", {});
  return reinterpret_cast<LogCfgInterface*>(&hr::GetState().cfg);
}

void Log_SetProductInfo(const char* name, const char* version,
                        const char* buildNumber,
                        const char* compilationOption) {
  hr::Record("Log_SetProductInfo",
             {hr::Text(name), hr::Text(version), hr::Text(buildNumber),
              hr::Text(compilationOption)});
}

bool Log_InitWithFileInt(const char* service, Dictionary* dict,
                         LogCfgInterface* cfg, int flags) {
  hr::Record("Log_InitWithFileInt", {hr::Text(service), hr::HandleText(dict),
                                     hr::HandleText(cfg), hr::Text(flags)});
  return true;
}

bool Log_InitWithSyslogInt(const char* service, Dictionary* dict,
                           LogCfgInterface* cfg) {
  hr::Record("Log_InitWithSyslogInt",
             {hr::Text(service), hr::HandleText(dict), hr::HandleText(cfg)});
  return true;
}

void Log_SetStderrLevel(int minLevel, int maxLevel) {
  hr::Record("Log_SetStderrLevel", {hr::Text(minLevel), hr::Text(maxLevel)});
}

LogOutput* Log_NewFileOutput(const char* service, const char* type,
                             Dictionary* dict, LogCfgInterface* cfg) {
  hr::Record("Log_NewFileOutput", {hr::Text(service), hr::Text(type),
                                   hr::HandleText(dict), hr::HandleText(cfg)});
  {
    hr::State& s = hr::GetState();
    std::lock_guard<std::mutex> lock(s.mu);
    if (s.controls.newFileOutputReturnsNull) return nullptr;
  }
  return static_cast<LogOutput*>(hr::NewHandle("output", &hr::State::outputs));
}

bool Log_AddOutput(LogOutput* output) {
  hr::Record("Log_AddOutput", {hr::HandleText(output)});
  hr::State& s = hr::GetState();
  std::lock_guard<std::mutex> lock(s.mu);
  return output != nullptr && !s.controls.addOutputFails;
}

void Log_ReplaceOutput(LogOutput* output, LogOutput* replacement,
                       Dictionary* replacementCfg) {
  hr::Record("Log_ReplaceOutput",
             {hr::HandleText(output), hr::HandleText(replacement),
              hr::HandleText(replacementCfg)});
}

void Log_Exit(void) { hr::Record("Log_Exit", {}); }

void LogV(int level, const char* format, va_list args) {
  hr::Record("LogV",
             {hr::Text(level), hr::Text(format), hr::FormatV(format, args)});
}

bool CoreDump_CaptureFastBacktrace(int skip, int maxFrames, void** frames,
                                   int* count) {
  hr::Record("CoreDump_CaptureFastBacktrace",
             {hr::Text(skip), hr::Text(maxFrames), "frames", "count"});
  static char fakeCode[3];
  int filled = 0;
  for (; frames != nullptr && filled < 3 && filled < maxFrames; ++filled) {
    frames[filled] = &fakeCode[filled];
  }
  if (count != nullptr) *count = filled;
  return true;
}

void CoreDump_Base64BacktraceFormat(int count, void* const* /*frames*/,
                                    char* buffer, size_t size,
                                    const char* name) {
  hr::Record(
      "CoreDump_Base64BacktraceFormat",
      {hr::Text(count), "frames", "buffer", hr::Text(size), hr::Text(name)});
  if (buffer == nullptr || size == 0) return;
  const size_t n = std::min(size - 1, sizeof hr::kBacktraceText - 1);
  std::memcpy(buffer, hr::kBacktraceText, n);
  buffer[n] = '\0';
}

char* UUID_CreateRandom(void) {
  hr::Record("UUID_CreateRandom", {});
  std::string text;
  {
    hr::State& s = hr::GetState();
    std::lock_guard<std::mutex> lock(s.mu);
    text = "uuid-" + std::to_string(++s.uuids);
  }
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

void vsyslog(int priority, const char* format, va_list args) {
  void (*before)() = nullptr;
  {
    hr::State& s = hr::GetState();
    std::lock_guard<std::mutex> lock(s.mu);
    before = s.controls.beforeSyslog;
  }
  if (before != nullptr) before();
  hr::Record("syslog", {hr::Text(priority), hr::FormatV(format, args)});
}

void syslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsyslog(priority, format, args);
  va_end(args);
}

void __vsyslog_chk(int priority, int /*flag*/, const char* format,
                   va_list args) {
  vsyslog(priority, format, args);
}

void __syslog_chk(int priority, int /*flag*/, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsyslog(priority, format, args);
  va_end(args);
}

}  // extern "C"
