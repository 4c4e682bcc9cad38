// cstool events / record, run as a separate process.
#include <sys/wait.h>

#include "event_test_support.h"

namespace {

using namespace cssupport_test;

struct Result {
  int status;
  std::string out, err;
};

// Runs `command` with the shell on a 256 KiB stack, where nothing may recurse
// per nesting level: exit status, standard output and error.
Result Shell(const TempDir& dir, std::string command) {
  command = "ulimit -s 256; " + command + " >" + dir.File("out") + " 2>" +
            dir.File("err") + " </dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          ReadBytes(dir.File("out")).value_or(""),
          ReadBytes(dir.File("err")).value_or("")};
}

// The table with templates filled in, or what is wrong with the file or the
// command line.
TEST(CstoolEvents, ListsTheRecordsOrSaysWhatIsWrong) {
  TempDir dir;
  const std::string f = dir.File("f"), parse = f + ": does not parse as JSON: ";
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  const struct {
    std::optional<std::string> bytes;  // nullopt: no file; "/": a directory
    int status;
    std::string text;  // stdout when status is 0, else how stderr begins
    const char* command = "";  // "": events --file f
  } cases[] = {
      {R"({"jots":[)"
       R"({"jotId":"jot.user.cs.schema.file.error",)"
       R"("jotMsg":"Error processing schema file %s.","jotArgs":["/a.json"]},)"
       R"({"jotId":"jot.user.cs.upgrade.config.error",)"
       R"("jotMsg":"Error in upgrading config %s.","jotArgs":[]},)"
       R"({"jotId":"x","jotMsg":"%s|%s|%d %n %%s","jotArgs":["%s","t\tb\u007f\u001f","e1",5]},)"
       R"(7,{"jotMsg":"no id\u0085\u009b)"
       "\xff"
       R"("}]})",
       0,
       "#  EVENT                             MESSAGE\n"
       "1  jot.user.cs.schema.file.error     "
       "Error processing schema file /a.json.\n"
       "2  jot.user.cs.upgrade.config.error  "
       "Error in upgrading config %s.\n"
       "3  x                                 "
       "%s|t\\tb\\u007f\\u001f|%d %n %%s [extra: e1, 5]\n"
       "4  ?                                 (not an event record: 7)\n"
       "5  ?                                 no id\\u0085\\u009b\\xff\n"},
      {"{\"jots\":[]}", 0, "no records in " + f + "\n"},
      {"{}", 0, "no records in " + f + "\n"},
      {"{} {}", 1,
       parse + "The document root must not be followed by other values (at "
               "byte offset 3)"},
      {"{\"jots\":[" + deep + "]}", 0,
       "#  EVENT  MESSAGE\n1  ?      (not an event record: " + deep + ")\n"},
      {"[]", 1,
       f + ": not an event record file: the root is not a JSON object"},
      {"{\"jots\":\"x\"}", 1,
       f + ": not an event record file: \"jots\" is not an array"},
      {std::nullopt, 1,
       f + ": cannot open the event record file: No such file or directory\n"},
      {"/", 1, f + ": cannot open the event record file: Is a directory\n"},
      {std::nullopt, 2,
       "'jot.user.cs.no.such' is not an event identifier of the catalogue "
       "(jot.user.cs.*)\n",
       "record jot.user.cs.no.such a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::filesystem::remove_all(f);
    if (c.bytes == "/") std::filesystem::create_directory(f);
    if (c.bytes && c.bytes != "/") WriteBytes(f, *c.bytes);
    const Result run =
        Shell(dir, "'" CSTOOL_PATH "' " +
                       (*c.command ? c.command : "events --file " + f));
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.out, c.status == 0 ? c.text : "");
    EXPECT_TRUE(c.status == 0 || run.err.rfind("cstool: " + c.text, 0) == 0)
        << run.err;
  }
}

// The whole of `record`, in a private mount namespace whose /var/run is an
// empty tmpfs, so that no real event file is touched.
TEST(CstoolRecord, RecordsThroughDumpJotInAnIsolatedNamespace) {
  TempDir dir;
  const std::string file = "/var/run/tessel/files/loadStoreErrors.json";
  const Result run =
      Shell(dir,
            "unshare -m true || exit 77; unshare -m sh -c 'mount -t tmpfs none "
            "/var/run && mkdir -p /var/run/tessel/files && \"$0\" record "
            "jot.user.cs.schema.file.error /etc/s.json && \"$0\" record "
            "jot.user.cs.db.operation.error && cat " +
                file + "' '" CSTOOL_PATH "'");
  if (run.status == 77) GTEST_SKIP() << "no private mount namespace here";
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "recorded jot.user.cs.schema.file.error in " + file +
                " (1 record)\nrecorded jot.user.cs.db.operation.error"
                " in " +
                file + " (2 records)\n{\"jots\":[" +
                RecordJson("jot.user.cs.schema.file.error", {"/etc/s.json"}) +
                "," + RecordJson("jot.user.cs.db.operation.error") + "]}");
}

}  // namespace
