// Uses the installed library as a ConfigStore component would: logs a line,
// throws and catches a ConfigStoreException by type, and catches one raised
// inside the library itself. Exits 0 when everything behaved.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <cssupport/buildinfo/build_info.h>
#include <cssupport/errors/error_codes.h>
#include <cssupport/errors/exceptions.h>
#include <cssupport/events/dump_jot.h>
#include <cssupport/logging/cs_logger.h>

namespace {

constexpr const char kEventDir[] = "/var/run/tessel/files";
constexpr const char kEventFile[] =
    "/var/run/tessel/files/loadStoreErrors.json";

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::cout << (ok ? "ok    " : "FAIL  ") << what << '\n';
  if (!ok) ++failures;
}

// DumpJot on an event file whose root is an array raises code 1082 from
// inside the library. The event file lives at a fixed path, so this plays the
// host: it makes the directory if it can and puts back whatever was there.
void CatchExceptionRaisedInsideTheLibrary() {
  struct stat st;
  const bool hadDir = stat(kEventDir, &st) == 0;
  if (!hadDir &&
      std::system((std::string("mkdir -p ") + kEventDir).c_str()) != 0) {
    std::cout << "skip  no event directory " << kEventDir
              << " and no permission to make it\n";
    return;
  }
  std::string saved;
  bool hadFile = false;
  if (std::ifstream in{kEventFile}) {
    std::ostringstream text;
    text << in.rdbuf();
    saved = text.str();
    hadFile = true;
  }
  std::ofstream(kEventFile) << "[]";

  bool caught = false;
  try {
    KoraConfigStore::DumpJot("jot.user.cs.db.operation.error", 0);
  } catch (const KoraConfigStore::ConfigStoreException& e) {
    caught = e.GetErrorCode() == KoraConfigStore::CS_ERR_INVALID_JSON &&
             std::string(e.what()).rfind("JSON error:", 0) == 0;
  }
  Check(caught, "ConfigStoreException 1082 from DumpJot caught by type");

  if (hadFile) {
    std::ofstream(kEventFile, std::ios::trunc) << saved;
  } else {
    std::remove(kEventFile);
    if (!hadDir) {
      std::remove(kEventDir);
      std::remove("/var/run/tessel");
    }
  }
}

}  // namespace

int main() {
  CSLogger::LogInit("cssupport-consumer");
  CSLogger::CurrentContext["component"] = "consumer";
  CSLogger::Log(CSLogger::CS_LOG_INFO, "consumer of %s starting", gBuildNumber);

  try {
    throw KoraConfigStore::ConfigStoreException(
        KoraConfigStore::CS_ERR_SCHEMA_NOT_FOUND, "schema missing: host.json");
  } catch (const HostCtl::Lib::HostCtlException& e) {
    const auto* cs =
        dynamic_cast<const KoraConfigStore::ConfigStoreException*>(&e);
    Check(cs != nullptr && cs->GetErrorCode() == 1037 &&
              cs->toString() ==
                  "Error Code: 1037\nMessage: schema missing: host.json\n",
          "ConfigStoreException thrown here, caught as HostCtlException");
  }

  std::vector<KoraConfigStore::ErrorInfo> errors{{"host-01", "no uplink0"}};
  try {
    throw KoraConfigStore::ValidationException(1083, "pool-a", errors);
  } catch (const KoraConfigStore::ValidationException& e) {
    Check(e.GetErrors().size() == 1, "ValidationException caught by type");
  }

  CatchExceptionRaisedInsideTheLibrary();
  CSLogger::LogExit();

  std::ifstream log("/tmp/cssupport-consumer.log");
  std::string line;
  bool logged = false;
  while (std::getline(log, line)) {
    logged = logged || line.find(" component=consumer] consumer of build-") !=
                           std::string::npos;
  }
  Check(logged, "log line reached /tmp/cssupport-consumer.log");
  std::remove("/tmp/cssupport-consumer.log");

  std::cout << (failures == 0 ? "consumer: all checks passed\n"
                              : "consumer: checks failed\n");
  return failures == 0 ? 0 : 1;
}
