// The logging service of the stand-in host.
//
// Before the first Log_Init* and after Log_Exit there is no main output and
// no extra output: lines reach only the stderr echo. Of the arguments, only
// the dictionaries' "log.*" entries named below are read; the service, type,
// flags and configuration-interface arguments are accepted and ignored.
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cssupport/hostrt/hostrt.h"
#include "cssupport/internal/write_all.h"
#include "hostrt/standin/dictionary.h"
#include "hostrt/standin/locks.h"

struct LogCfgInterface {
  int unused;
};

struct LogOutput {
  LogOutput() = default;
  LogOutput(const LogOutput&) = delete;
  LogOutput& operator=(const LogOutput&) = delete;
  ~LogOutput() {
    if (fd >= 0) ::close(fd);
  }

  int fd = -1;
  int minLevel = 7;
  bool installed = false;  // by Log_AddOutput: lines reach it from then on
};

namespace hostrt_standin {
namespace {

// Host level (0..7) to syslog(3) priority; the library's levels are 2 (error),
// 3 (warn), 5 (info), 6 (debug), 7 (trivia).
constexpr int kLevelPriority[] = {LOG_CRIT,   LOG_ERR,    LOG_ERR,  LOG_WARNING,
                                  LOG_NOTICE, LOG_NOTICE, LOG_INFO, LOG_DEBUG};
constexpr int kAllLevels = 7;
constexpr size_t kStackLine = 1024;

enum class MainOutput { kNone, kSyslog, kFile };

// Guarded by LoggingMutex().
struct LogService {
  MainOutput main = MainOutput::kNone;
  int mainFd = -1;
  // Every output Log_NewFileOutput made and nothing removed yet, installed or
  // not, owned; so registering happens where a failure can still be reported
  // as a null output, and installing allocates nothing.
  std::vector<LogOutput*> outputs;
  int stderrMin = 0;
  int stderrMax = -1;
  // openlog(3) keeps the identity pointer, so identities are freed only at
  // unload, after closelog(3).
  std::set<std::string> syslogIds;
  std::string productName;
  std::string productVersion;
  std::string productBuildNumber;
  std::string productCompilationOption;
};

std::mutex serviceMutex;

// Usable from any static destructor; what it holds is freed at unload.
LogService& Service() { return Lasting<LogService>(); }

LogCfgInterface cfgInterface{};

// A line that cannot be written is dropped.
using KoraConfigStore::internal::WriteAll;

int OpenLogFile(const std::string& path, bool append) {
  int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
  if (!append) flags |= O_TRUNC;
  return ::open(path.c_str(), flags, 0644);
}

// Opens the file the dictionary names; -1 when there is none or it fails.
int OpenFromDictionary(const Dictionary* dict) {
  const std::optional<std::string> path = DictString(dict, "log.fileName");
  if (!path || path->empty()) return -1;
  return OpenLogFile(*path, DictBool(dict, "log.append").value_or(true));
}

void CloseMainLocked(LogService& service) {
  if (service.main == MainOutput::kFile) {
    ::close(service.mainFd);
  } else if (service.main == MainOutput::kSyslog) {
    ::closelog();
  }
  service.main = MainOutput::kNone;
  service.mainFd = -1;
}

// Ends the service as Log_Exit does: closes the main output and every output
// made, and writes nothing more to stderr.
void ExitLocked(LogService& service) {
  CloseMainLocked(service);
  for (LogOutput* output : service.outputs) delete output;
  service.outputs.clear();
  service.stderrMin = 0;
  service.stderrMax = -1;
}

bool KnownLocked(const LogService& service, const LogOutput* output) {
  return std::find(service.outputs.begin(), service.outputs.end(), output) !=
         service.outputs.end();
}

std::string OrEmpty(const char* text) {
  return text != nullptr ? text : std::string();
}

// At unload: by dlclose(3), or at exit after every static destructor and
// after the destructor functions of the libraries that use this one. Ends
// the service and frees all it kept; a later call (another thread's, at
// exit) finds it as at load and works on.
[[gnu::destructor]] void ReleaseAtUnload() {
  LogService released;
  const Held lock(serviceMutex);
  ExitLocked(Service());
  std::swap(Service(), released);
}

}  // namespace

std::mutex& LoggingMutex() { return serviceMutex; }

}  // namespace hostrt_standin

namespace hs = hostrt_standin;

// No call lets an exception out: the interface is C. Where memory runs out,
// a call returns its failure value (false, null) or, without one, leaves its
// state as it was.
extern "C" {

LogCfgInterface* Log_CfgInterface(void) { return &hs::cfgInterface; }

// Only keeps its texts (null as ""); without memory for them, the earlier
// ones stay.
void Log_SetProductInfo(const char* name, const char* version,
                        const char* buildNumber,
                        const char* compilationOption) {
  try {
    std::string texts[] = {hs::OrEmpty(name), hs::OrEmpty(version),
                           hs::OrEmpty(buildNumber),
                           hs::OrEmpty(compilationOption)};
    hs::LogService& service = hs::Service();
    const hs::Held lock(hs::serviceMutex);
    service.productName.swap(texts[0]);
    service.productVersion.swap(texts[1]);
    service.productBuildNumber.swap(texts[2]);
    service.productCompilationOption.swap(texts[3]);
  } catch (...) {
  }
}

// The main output, replacing any earlier one, which keeps lines of every
// level: the file "log.fileName" names, created with mode 0644 and appended
// to ("log.append" false truncates it first). False, leaving no main output,
// when the dictionary names no file or it cannot be opened.
bool Log_InitWithFileInt(const char* /*service*/, Dictionary* dict,
                         LogCfgInterface* /*cfg*/, int /*flags*/) {
  hs::LogService& service = hs::Service();
  const hs::Held lock(hs::serviceMutex);
  hs::CloseMainLocked(service);
  try {
    const int fd = hs::OpenFromDictionary(dict);
    if (fd < 0) return false;
    service.main = hs::MainOutput::kFile;
    service.mainFd = fd;
    return true;
  } catch (...) {
    return false;
  }
}

// The main output, replacing any earlier one: syslog(3) under the identity in
// "log.syslogID" (absent: "ConfigStore"), with LOG_PID and LOG_USER.
bool Log_InitWithSyslogInt(const char* /*service*/, Dictionary* dict,
                           LogCfgInterface* /*cfg*/) {
  hs::LogService& service = hs::Service();
  const hs::Held lock(hs::serviceMutex);
  hs::CloseMainLocked(service);
  try {
    const std::string id =
        hs::DictString(dict, "log.syslogID").value_or("ConfigStore");
    ::openlog(service.syslogIds.insert(id).first->c_str(), LOG_PID, LOG_USER);
    service.main = hs::MainOutput::kSyslog;
    return true;
  } catch (...) {
    return false;
  }
}

// The range starts empty; Log_Exit empties it again.
void Log_SetStderrLevel(int minLevel, int maxLevel) {
  hs::LogService& service = hs::Service();
  const hs::Held lock(hs::serviceMutex);
  service.stderrMin = minLevel;
  service.stderrMax = maxLevel;
}

// Opens "log.fileName" as Log_InitWithFileInt does, keeping lines at levels
// up to "log.logMinLevel" (absent: all). Null when the dictionary names no
// file or it cannot be opened. The service owns the output from here on.
LogOutput* Log_NewFileOutput(const char* /*service*/, const char* /*type*/,
                             Dictionary* dict, LogCfgInterface* /*cfg*/) {
  try {
    auto output = std::make_unique<LogOutput>();
    output->minLevel = static_cast<int>(
        hs::DictLong(dict, "log.logMinLevel").value_or(hs::kAllLevels));
    hs::LogService& service = hs::Service();
    const hs::Held lock(hs::serviceMutex);
    service.outputs.reserve(service.outputs.size() + 1);
    output->fd = hs::OpenFromDictionary(dict);
    if (output->fd < 0) return nullptr;
    service.outputs.push_back(output.get());
    return output.release();
  } catch (...) {
    return nullptr;
  }
}

// False for null, an output the service did not make or no longer has, or one
// already installed.
bool Log_AddOutput(LogOutput* output) {
  if (output == nullptr) return false;
  hs::LogService& service = hs::Service();
  const hs::Held lock(hs::serviceMutex);
  if (!hs::KnownLocked(service, output) || output->installed) return false;
  output->installed = true;
  return true;
}

// Closes and deletes `output`, installed or not (an unknown one is ignored),
// then installs `replacement` if the service made it.
void Log_ReplaceOutput(LogOutput* output, LogOutput* replacement,
                       Dictionary* /*replacementCfg*/) {
  hs::LogService& service = hs::Service();
  const hs::Held lock(hs::serviceMutex);
  const auto it =
      std::find(service.outputs.begin(), service.outputs.end(), output);
  if (output != nullptr && it != service.outputs.end()) {
    service.outputs.erase(it);
    delete output;
  }
  if (replacement != nullptr && hs::KnownLocked(service, replacement)) {
    replacement->installed = true;
  }
}

// Closes the main output (closelog(3) for the system log), deletes every
// output and empties the stderr range.
void Log_Exit(void) {
  hs::LogService& service = hs::Service();
  const hs::Held lock(hs::serviceMutex);
  hs::ExitLocked(service);
}

// Expands the line and ends it with a newline when it lacks one; each output
// gets it in one write(2), so lines of concurrent threads and processes never
// interleave. A line that fits in 1 KiB is written without allocating; a
// longer one for which there is no memory is cut to its first 1022
// characters. Lines are written as expanded, with no timestamp or prefix.
void LogV(int level, const char* format, va_list args) {
  if (format == nullptr) return;
  // The expanded line plus a newline and the terminator fit here unless the
  // line is long; only then is the heap used. Without memory for it, the line
  // is cut to what fits here.
  char stackLine[hs::kStackLine];
  std::unique_ptr<char[]> heapLine;
  char* line = stackLine;
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(stackLine, sizeof stackLine - 1, format, copy);
  va_end(copy);
  if (n < 0) return;
  size_t size = static_cast<size_t>(n);
  if (size > sizeof stackLine - 2) {
    heapLine.reset(new (std::nothrow) char[size + 2]);
    if (heapLine != nullptr) {
      line = heapLine.get();
      va_copy(copy, args);
      std::vsnprintf(line, size + 1, format, copy);
      va_end(copy);
    } else {
      size = sizeof stackLine - 2;
    }
  }
  if (size == 0 || line[size - 1] != '\n') {
    line[size++] = '\n';
    line[size] = '\0';
  }

  hs::LogService& service = hs::Service();
  const hs::Held lock(hs::serviceMutex);
  if (service.main == hs::MainOutput::kFile) {
    (void)hs::WriteAll(service.mainFd, line, size);
  } else if (service.main == hs::MainOutput::kSyslog) {
    const int priority = hs::kLevelPriority[std::clamp(level, 0, 7)];
    // The system log ends each message itself.
    ::syslog(priority, "%.*s", static_cast<int>(size - 1), line);
  }
  for (const LogOutput* output : service.outputs) {
    if (output->installed && level <= output->minLevel) {
      (void)hs::WriteAll(output->fd, line, size);
    }
  }
  if (level >= service.stderrMin && level <= service.stderrMax) {
    (void)hs::WriteAll(STDERR_FILENO, line, size);
  }
}

}  // extern "C"
