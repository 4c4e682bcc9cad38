#include "cssupport/events/event_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "cssupport/errors/json.h"
#include "cssupport/events/bounded_parse.h"
#include "cssupport/events/dump_jot.h"
#include "cssupport/events/file_access.h"
#include "cssupport/events/write_json.h"
#include "cssupport/load_order.h"

namespace KoraConfigStore {

const std::unordered_map<std::string, std::string> jotMsgMap
    __attribute__((init_priority(CSSUPPORT_INIT_EVENT_CATALOGUE))) = {
        {"jot.user.cs.createstore.copy.backup.error",
         "Error copying ConfigStore from backup %s."},
        {"jot.user.cs.db.operation.error",
         "ConfigStore database operation failed."},
        {"jot.user.cs.schema.file.error", "Error processing schema file %s."},
        {"jot.user.cs.schema.metadata.error",
         "Invalid metadata in schema file %s."},
        {"jot.user.cs.schema.validation.error",
         "ParcelId validation failed for schema file %s."},
        {"jot.user.cs.dfs.restore.error", "DataFile store cannot be restored."},
        {"jot.user.cs.dfs.cleanup.error", "Error cleaning up Datafile store."},
        {"jot.user.cs.desired.config.error",
         "Failed to setup desired configuration."},
        {"jot.user.cs.upgrade.config.error", "Error in upgrading config %s."},
};

namespace {

constexpr char kParseFailedText[] =
    "Failed parsing Config Store JOT json file.";
constexpr char kOpenFailedText[] =
    "Failed opening Load Store workflow error file.";

// Serialises the read-merge-rewrite among the threads of this process.
std::mutex fileMutex;
std::once_flag forkHandlersInstalled;

// A fork() never copies a half-finished call into the child: the child's
// mutex is always free and it holds no lock of ours.
void InstallForkHandlers() {
  pthread_atfork([] { fileMutex.lock(); }, [] { fileMutex.unlock(); },
                 [] { fileMutex.unlock(); });
}

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

rapidjson::Value CopiedString(const char* text, std::size_t length,
                              rapidjson::Document::AllocatorType& allocator) {
  return rapidjson::Value(text, static_cast<rapidjson::SizeType>(length),
                          allocator);
}

rapidjson::Value CopiedString(const std::string& text,
                              rapidjson::Document::AllocatorType& allocator) {
  return CopiedString(text.data(), text.size(), allocator);
}

// The record {"jotId", "jotMsg", "jotArgs"}; throws std::out_of_range for an
// identifier outside the catalogue.
rapidjson::Value BuildRecord(const std::string& jotId, int argCount,
                             va_list args,
                             rapidjson::Document::AllocatorType& allocator) {
  rapidjson::Value record(rapidjson::kObjectType);
  record.AddMember(CopiedString("jotId", 5, allocator),
                   CopiedString(jotId, allocator), allocator);
  const std::string& message = jotMsgMap.at(jotId);
  record.AddMember(CopiedString("jotMsg", 6, allocator),
                   CopiedString(message, allocator), allocator);
  rapidjson::Value jotArgs(rapidjson::kArrayType);
  for (int i = 0; i < argCount; ++i) {
    const char* arg = va_arg(args, const char*);
    jotArgs.PushBack(CopiedString(arg, std::strlen(arg), allocator), allocator);
  }
  record.AddMember(CopiedString("jotArgs", 7, allocator), jotArgs, allocator);
  return record;
}

// Adds `record` by the type of the document's root. The failures are
// RapidJSON's own preconditions, so they carry its "IsObject()" and
// "IsArray()" assertion messages.
void Merge(rapidjson::Document& document, rapidjson::Value& record) {
  rapidjson::Document::AllocatorType& allocator = document.GetAllocator();
  if (document.IsNull()) {
    rapidjson::Value jots(rapidjson::kArrayType);
    jots.PushBack(record, allocator);
    document.SetObject();
    document.AddMember(CopiedString("jots", 4, allocator), jots, allocator);
    return;
  }
  const auto jots = document.FindMember("jots");
  if (jots != document.MemberEnd()) jots->value.PushBack(record, allocator);
}

}  // namespace

namespace internal {

void DumpJotAt(const std::string& path, const std::string& jotId, int argCount,
               va_list args) {
  std::call_once(forkHandlersInstalled, InstallForkHandlers);
  std::lock_guard<std::mutex> threads(fileMutex);
  const DirectoryLock processes(path, LOCK_EX);

  rapidjson::Document document;
  {
    std::string text;
    if (ReadWholeFile(path, text) && !ParseJsonText(text, document)) {
      syslog(LOG_ERR, "%s", kParseFailedText);
      return;
    }
  }
  rapidjson::Value record =
      BuildRecord(jotId, argCount, args, document.GetAllocator());
  Merge(document, record);

  rapidjson::StringBuffer out;
  rapidjson::Writer<rapidjson::StringBuffer> writer(out);
  WriteJson(document, writer);

  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    syslog(LOG_ERR, "%s", kOpenFailedText);
    return;
  }
  WriteAll(fd, out.GetString(), out.GetSize());
  close(fd);
}

}  // namespace internal

void DumpJot(const std::string& jotId, int argCount, ...) {
  va_list args;
  va_start(args, argCount);
  try {
    internal::DumpJotAt(internal::kEventRecordFilePath, jotId, argCount, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
}

}  // namespace KoraConfigStore
