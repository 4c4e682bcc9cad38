// cstool record / events, driven as a separate process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cssupport/events/event_file.h"
#include "event_test_support.h"

namespace {

using cssupport_test::ReadBytes;
using cssupport_test::TempDir;
using cssupport_test::WriteBytes;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string Quoted(const std::string& arg) {
  std::string out = "'";
  for (const char c : arg) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

Outcome Cstool(const TempDir& dir, const std::vector<std::string>& args) {
  std::string command = Quoted(CSTOOL_PATH);
  for (const auto& arg : args) command += " " + Quoted(arg);
  const std::string out = dir.File("stdout"), err = dir.File("stderr");
  command += " >" + Quoted(out) + " 2>" + Quoted(err) + " </dev/null";
  const int status = std::system(command.c_str());
  Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
              ReadBytes(out).value_or(""), ReadBytes(err).value_or("")};
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return run;
}

class CstoolEventsTest : public ::testing::Test {
 protected:
  Outcome Events(const std::string& bytes) {
    WriteBytes(path_, bytes);
    return Cstool(dir_, {"events", "--file", path_});
  }

  TempDir dir_;
  const std::string path_ = dir_.File("loadStoreErrors.json");
};

TEST_F(CstoolEventsTest, ListsRecordsWithTheirTemplatesFilledIn) {
  const Outcome run = Events(
      R"({"jots":[)"
      R"({"jotId":"jot.user.cs.schema.file.error",)"
      R"("jotMsg":"Error processing schema file %s.","jotArgs":["/a.json"]},)"
      R"({"jotId":"jot.user.cs.upgrade.config.error",)"
      R"("jotMsg":"Error in upgrading config %s.","jotArgs":[]},)"
      R"({"jotId":"x","jotMsg":"%s|%s|%d %n %%s","jotArgs":["%s","t\tb","e1",5]},)"
      R"(7,)"
      R"({"jotMsg":"no id"})"
      R"(]})");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "#  EVENT                             MESSAGE\n"
            "1  jot.user.cs.schema.file.error     "
            "Error processing schema file /a.json.\n"
            "2  jot.user.cs.upgrade.config.error  "
            "Error in upgrading config %s.\n"
            "3  x                                 "
            "%s|t\\tb|%d %n %%s [extra: e1, 5]\n"
            "4  ?                                 (not an event record: 7)\n"
            "5  ?                                 no id\n");
}

TEST_F(CstoolEventsTest, FileWithoutRecordsSaysSo) {
  for (const char* bytes : {"{}", "{\"jots\":[]}"}) {
    const Outcome run = Events(bytes);
    EXPECT_EQ(run.status, 0) << bytes;
    EXPECT_EQ(run.out, "no records in " + path_ + "\n");
  }
}

TEST_F(CstoolEventsTest, UnusableFileIsAClearErrorNeverACrash) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const struct {
    std::string bytes;
    std::string message;
  } cases[] = {
      {"", "does not parse as JSON: The document is empty (at byte offset 0)"},
      {"{\"jots\":[]} {}",
       "does not parse as JSON: The document root must not be followed by "
       "other values (at byte offset 12)"},
      {std::string("{}\0", 3),
       "does not parse as JSON: The document root must not be followed by "
       "other values (at byte offset 2)"},
      {deep, "does not parse as JSON: nesting deeper than 1000 levels"},
      {"[]", "not an event record file: the root is not a JSON object"},
      {"{\"jots\":{}}", "not an event record file: \"jots\" is not an array"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const Outcome run = Events(c.bytes);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("cstool: " + path_ + ": " + c.message, 0), 0u)
        << run.err;
  }
  const Outcome absent = Cstool(dir_, {"events", "--file", dir_.File("none")});
  EXPECT_EQ(absent.status, 1);
  EXPECT_EQ(absent.err, "cstool: " + dir_.File("none") +
                            ": cannot open the event record file: No such "
                            "file or directory\n");
}

// `record` writes the host's fixed file; only its failures can be shown
// without touching a real one.
class CstoolRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path file(
        KoraConfigStore::internal::kEventRecordFilePath);
    if (std::filesystem::exists(file.parent_path())) {
      GTEST_SKIP() << file.parent_path() << " exists on this machine";
    }
  }
  TempDir dir_;
};

TEST_F(CstoolRecordTest, UnknownIdentifierIsAUsageError) {
  const Outcome run = Cstool(dir_, {"record", "jot.user.cs.no.such", "a"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "cstool: 'jot.user.cs.no.such' is not an event identifier of the "
            "catalogue (jot.user.cs.*)\n");
}

TEST_F(CstoolRecordTest, UnwritableFileIsReported) {
  const Outcome run =
      Cstool(dir_, {"record", "jot.user.cs.db.operation.error"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string("cstool: cannot write ") +
                         KoraConfigStore::internal::kEventRecordFilePath +
                         " (see the system log); nothing recorded\n");
}

TEST_F(CstoolRecordTest, TooManyArgumentsAreAUsageError) {
  std::vector<std::string> args = {"record", "jot.user.cs.db.operation.error"};
  args.resize(args.size() + 17, "x");
  EXPECT_EQ(Cstool(dir_, args).status, 2);
}

// The whole of `record`, in a private mount namespace whose /var/run is an
// empty tmpfs, so that no real event file is touched.
TEST(CstoolRecordIsolated, RecordsThroughDumpJot) {
  TempDir dir;
  if (Cstool(dir, {"--help"}).status != 0 ||
      std::system("unshare -m true >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no private mount namespace here";
  }
  const std::string script =
      "mount -t tmpfs none /var/run && mkdir -p /var/run/tessel/files && "
      "\"$0\" record jot.user.cs.schema.file.error /etc/s.json && "
      "\"$0\" record jot.user.cs.db.operation.error && "
      "cat /var/run/tessel/files/loadStoreErrors.json";
  const std::string out = dir.File("out");
  const std::string command = "unshare -m sh -c " + Quoted(script) + " " +
                              Quoted(CSTOOL_PATH) + " >" + Quoted(out) +
                              " 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << ReadBytes(out).value_or("");
  EXPECT_EQ(ReadBytes(out),
            "recorded jot.user.cs.schema.file.error in "
            "/var/run/tessel/files/loadStoreErrors.json (1 record)\n"
            "recorded jot.user.cs.db.operation.error in "
            "/var/run/tessel/files/loadStoreErrors.json (2 records)\n"
            R"({"jots":[{"jotId":"jot.user.cs.schema.file.error",)"
            R"("jotMsg":"Error processing schema file %s.",)"
            R"("jotArgs":["/etc/s.json"]},)"
            R"({"jotId":"jot.user.cs.db.operation.error",)"
            R"("jotMsg":"ConfigStore database operation failed.",)"
            R"("jotArgs":[]}]})");
}

}  // namespace
