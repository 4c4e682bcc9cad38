// cstool events / record, run as a separate process.
#include <sys/wait.h>

#include "event_test_support.h"

namespace {

using namespace cssupport_test;

// "status|out|err" of sh running `command` (cstool is $t) on a 256 KiB stack.
std::string Shell(const TempDir& dir, const std::string& command) {
  const std::string sh =
      "cd " + dir.path + "; ulimit -s 256; t='" CSTOOL_PATH "'; ";
  const int raw = std::system((sh + command + " >o 2>e </dev/null").c_str());
  return std::to_string(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1) + "|" +
         *ReadBytes(dir.File("o")) + "|" + *ReadBytes(dir.File("e"));
}

// The table with templates filled in, or what is wrong with the file or args.
TEST(CstoolEvents, ListsTheRecordsOrSaysWhatIsWrong) {
  TempDir dir;
  const std::string f = dir.File("f"), bad = "f: not an event record file: ";
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  const struct {
    std::optional<std::string> bytes;  // nullopt: no file; "/": a directory
    int status;  // 0: `text` is stdout; else how stderr begins
    std::string text;
    std::string command = "events --file f";  // run in the directory of f
  } cases[] = {
      {R"({"jots":[{"jotId":"jot.user.cs.schema.file.error",)"
       R"("jotMsg":"Error processing schema file %s.","jotArgs":["/a"]},)"
       R"({"jotId":"jot.user.cs.upgrade.config.error",)"
       R"("jotMsg":"Error in upgrading config %s.","jotArgs":[]},)"
       R"({"jotId":"x","jotMsg":"%s|%s|%d %n %%s","jotArgs":["%s","t\tb\u007f\u001f","e1",5]},)"
       "7,{\"jotMsg\":\"no id\\u0085\\u009b\xff\"}]}",
       0,
       "#  EVENT                             MESSAGE\n"
       "1  jot.user.cs.schema.file.error     Error processing schema file /a.\n"
       "2  jot.user.cs.upgrade.config.error  Error in upgrading config %s.\n"
       "3  x                                 "
       "%s|t\\tb\\u007f\\u001f|%d %n %%s [extra: e1, 5]\n"
       "4  ?                                 (not an event record: 7)\n"
       "5  ?                                 no id\\u0085\\u009b\\xff\n"},
      {"{\"jots\":[]}", 0, "no records in f\n"},
      {"{}", 0, "no records in f\n"},
      {"{} {}", 1,
       "f: does not parse as JSON: The document root must not be "
       "followed by other values (at byte offset 3)"},
      {"{\"jots\":[" + deep + "]}", 0,
       "#  EVENT  MESSAGE\n1  ?      (not an event record: " + deep + ")\n"},
      {"[]", 1, bad + "the root is not a JSON object"},
      {"{\"jots\":\"x\"}", 1, bad + "\"jots\" is not an array"},
      {std::nullopt, 1,
       "f: cannot open the event record file: No such file or directory\n"},
      {"/", 1, "f: cannot open the event record file: Is a directory\n"},
      {std::nullopt, 2,
       "'jot.user.cs.no.such' is not an event identifier of the catalogue "
       "(jot.user.cs.*)\n",
       "record jot.user.cs.no.such a"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(f);
    if (c.bytes == "/") std::filesystem::create_directory(f);
    if (c.bytes && c.bytes != "/") WriteBytes(f, *c.bytes);
    const std::string run = Shell(dir, "$t " + c.command);
    const std::string want =
        std::to_string(c.status) +
        (c.status ? "||cstool: " + c.text : "|" + c.text + "|");
    EXPECT_EQ(run.substr(0, want.size()), want);
  }
}

// record, in a private mount namespace with an empty tmpfs as /var/run.
TEST(CstoolRecord, RecordsThroughDumpJotInAnIsolatedNamespace) {
  TempDir dir;
  const std::string file = "/var/run/tessel/files/loadStoreErrors.json";
  const std::string run =
      Shell(dir,
            "unshare -m true || exit 77; unshare -m sh -c 'mount -t tmpfs none "
            "/var/run && mkdir -p /var/run/tessel/files && $0 record "
            "jot.user.cs.schema.file.error /etc/s.json && $0 record "
            "jot.user.cs.db.operation.error && cat "
            "/var/run/tessel/files/loadStoreErrors.json' $t");
  if (run[0] == '7') GTEST_SKIP() << "no private mount namespace here";
  EXPECT_EQ(run,
            "0|recorded jot.user.cs.schema.file.error in " + file +
                " (1 record)\nrecorded jot.user.cs.db.operation.error in " +
                file + " (2 records)\n{\"jots\":[" +
                RecordJson("jot.user.cs.schema.file.error", {"/etc/s.json"}) +
                "," + RecordJson("jot.user.cs.db.operation.error") + "]}|");
}

}  // namespace
