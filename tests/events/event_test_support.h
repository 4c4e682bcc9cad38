// Test helpers for the event record file: temporary directories, raw file
// bytes, DumpJotAt with literal arguments, and the recorded system-log lines.
#ifndef CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_
#define CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_

#include <optional>
#include <string>
#include <vector>

namespace cssupport_test {

inline constexpr char kParseFailed[] =
    "Failed parsing Config Store JOT json file.";
inline constexpr char kOpenFailed[] =
    "Failed opening Load Store workflow error file.";

// A fresh directory under $TMPDIR (or /tmp), removed with its content when
// the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The file's bytes, or nullopt when it cannot be opened.
std::optional<std::string> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// internal::DumpJotAt with `count` and the given variadic arguments.
void RecordAt(const std::string& path, const std::string& jotId, int count,
              ...);
// internal::DumpJotAt with count = args.size() and the strings as arguments
// (at most four).
void RecordAt(const std::string& path, const std::string& jotId,
              const std::vector<std::string>& args);

// The texts of the syslog calls recorded since the last Reset(), each
// prefixed with its priority as "<priority>:".
std::vector<std::string> SyslogLines();

// The compact record DumpJot writes for `jotId` with `args` (plain texts that
// need no JSON escaping).
std::string RecordJson(const std::string& jotId,
                       const std::vector<std::string>& args = {});

}  // namespace cssupport_test

#endif  // CSSUPPORT_TESTS_EVENTS_EVENT_TEST_SUPPORT_H_
