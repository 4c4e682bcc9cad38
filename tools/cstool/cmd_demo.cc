// cstool demo: the road of one failure through the library, with whatever
// host runtime the library finds (the stand-in outside a real host).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "commands.h"
#include "cssupport/config/generated_id.h"
#include "cssupport/errors/error_codes.h"
#include "cssupport/errors/exceptions.h"
#include "cssupport/errors/json.h"
#include "cssupport/events/dump_jot.h"
#include "cssupport/events/internal/event_file.h"
#include "cssupport/json/write_json.h"
#include "cssupport/logging/cs_logger.h"
#include "cssupport/logging/internal/log_directory.h"

namespace cstool {
namespace {

constexpr char kLogName[] = "cstool-demo";
constexpr char kSchemaFile[] = "/etc/configstore/schemas/host.schema.json";
constexpr char kEvent[] = "jot.user.cs.schema.file.error";

// A host configuration whose switches and port groups carry generated
// identifiers; one port group already has one, which must be kept.
constexpr char kSampleSchema[] = R"({
  "properties": {
    "hostName": {"type": "string"},
    "switches": {
      "items": {
        "properties": {
          "cs_generated_id": {"type": "string"},
          "name": {"type": "string"},
          "portGroups": {
            "items": {
              "properties": {
                "cs_generated_id": {"type": "string"},
                "name": {"type": "string"}
              }
            }
          }
        }
      }
    }
  }
})";
constexpr char kSampleConfig[] = R"({
  "hostName": "host-01",
  "switches": [
    {"name": "switch0", "portGroups": [
      {"name": "management"},
      {"name": "storage", "cs_generated_id": "kept-from-an-earlier-run"}
    ]},
    {"name": "switch1", "portGroups": []}
  ]
})";

int step = 0;

void Step(const std::string& what) {
  std::printf("[%d] %s\n", ++step, what.c_str());
}

void Heading(const char* what) { std::printf("\n--- %s\n", what); }

// The library writes its event records into a directory the host provides.
// The demo plays the host: it makes the directory when it may, and otherwise
// says why no record can be written.
bool EventDirectoryReady(const std::string& file) {
  const std::filesystem::path dir = std::filesystem::path(file).parent_path();
  std::error_code error;
  if (std::filesystem::is_directory(dir, error)) return true;
  if (std::filesystem::create_directories(dir, error)) {
    std::printf("    (made %s, as the host would)\n", dir.c_str());
    return true;
  }
  std::printf(
      "    no record can be written: %s does not exist and cannot be made "
      "(%s); run as root or create it\n",
      dir.c_str(), error.message().c_str());
  return false;
}

// The demo's log file, as LogInit chose it: the demo does not ask the host
// runtime which host it is on, so the file that is there tells.
std::string LogPath() {
  const std::string onHypervisor =
      CSLogger::internal::LogFilePath(kLogName, true);
  return std::filesystem::exists(onHypervisor)
             ? onHypervisor
             : CSLogger::internal::LogFilePath(kLogName, false);
}

void PrintFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::printf("(cannot read %s)\n", path.c_str());
    return;
  }
  for (std::string line; std::getline(in, line);)
    std::printf("%s\n", line.c_str());
}

std::string FillSampleConfiguration() {
  rapidjson::Document schema;
  rapidjson::Document config;
  schema.Parse(kSampleSchema);
  config.Parse(kSampleConfig);
  KoraConfigStore::PopulateGeneratedInstanceId(schema, config);
  rapidjson::StringBuffer text;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(text);
  writer.SetIndent(' ', 2);
  KoraConfigStore::internal::WriteJson(config, writer);
  return text.GetString();
}

void Demo() {
  const std::string eventFile = KoraConfigStore::internal::kEventRecordFilePath;
  for (const bool hypervisorHost : {false, true}) {
    std::filesystem::remove(
        CSLogger::internal::LogFilePath(kLogName, hypervisorHost));
  }

  Step("LogInit(\"cstool-demo\"): log lines go to " +
       CSLogger::internal::LogFilePath(kLogName, false) + " (" +
       CSLogger::internal::LogDirectory(true) + " on the hypervisor host)");
  CSLogger::LogInit(kLogName);

  Step("CurrentContext: component=cstool-demo, op=schema-load on this thread");
  CSLogger::CurrentContext["component"] = "cstool-demo";
  CSLogger::CurrentContext["op"] = "schema-load";

  Step(
      "throw ConfigStoreException(1081) for a schema file that does not "
      "parse; constructing it logs the code and a back-trace");
  int code = 0;
  try {
    const std::string message =
        std::string("Failed to parse JSON file ") + kSchemaFile;
    throw KoraConfigStore::ConfigStoreException(
        KoraConfigStore::CS_ERR_JSON_PARSE_FILE, message.c_str());
  } catch (const KoraConfigStore::ConfigStoreException& e) {
    Step("caught it by type; toString() gives:");
    std::printf("%s", e.toString().c_str());
    code = e.GetErrorCode();
  }

  Step(
      "LogErrCode(CS_LOG_ERROR, 1081, file): the code again, with its "
      "catalogue text");
  CSLogger::LogErrCode(CSLogger::CS_LOG_ERROR,
                       static_cast<KoraConfigStore::CSErrorCodes>(code),
                       kSchemaFile);

  Step(std::string("DumpJot(\"") + kEvent +
       "\", 1, file): recording the event in " + eventFile);
  const bool recorded = EventDirectoryReady(eventFile);
  if (recorded) KoraConfigStore::DumpJot(kEvent, 1, kSchemaFile);

  Step(
      "PopulateGeneratedInstanceId: filling identifiers into a sample "
      "configuration");
  const std::string completed = FillSampleConfiguration();

  Step("LogExit()");
  CSLogger::CurrentContext.clear();
  CSLogger::LogExit();

  const std::string logPath = LogPath();
  Heading(("log file " + logPath).c_str());
  PrintFile(logPath);
  Heading(("event records in " + eventFile).c_str());
  if (recorded) {
    ListEvents(eventFile);
  } else {
    std::printf("(none written)\n");
  }
  Heading("completed configuration");
  std::printf("%s\n", completed.c_str());
}

}  // namespace

void RegisterDemoCommand(CLI::App& app) {
  app.add_subcommand("demo",
                     "Walk one failure through the library: log, throw, "
                     "record, fill identifiers, and show what came out")
      ->callback(Demo);
}

}  // namespace cstool
