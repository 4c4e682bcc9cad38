// cstool run as a user would, as a separate process: each case compares the
// "status|stdout|stderr" of a shell snippet that runs it.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/event_test_support.h"

#define DATA CSSUPPORT_SOURCE_DIR "/tests/data/"

namespace {

using namespace cssupport_test;
using Cases = std::vector<std::pair<std::string, std::string>>;

const std::string
    kConfig = DATA "host_config.json ",
    kFill = "$t fill-ids --schema " DATA "host_config.schema.json ",
    kAdded = "fill-ids: added 10 identifiers\n",
    kNone = "fill-ids: added 0 identifiers\n",
    kFile = "/var/run/tessel/files/loadStoreErrors.json",
    kHelp = "\nRun with --help for more information.",
    kFull = "cannot write standard output: No space left on device",
    // Only cstool gets the small stack, not the shell's own utilities.
    kSmallStack = "ulimit -s 256 && exec " CSTOOL_PATH " \"$@\"\n",
    kMount = "mount -t tmpfs none /var/run && mkdir -p ${F%/*} || exit\n",
    kRepair =
        " ('cstool repair' makes it whole again, keeping its complete "
        "records)";

// What a failing run prints: nothing on stdout, `text` on stderr.
std::string Err(int status, const std::string& text) {
  return std::to_string(status) + "||cstool: " + text + "\n";
}

class Cstool : public testing::Test {
 protected:
  // Runs `script` by sh in dir_ (as its files s, o, e), cstool as $t on a
  // 256 KiB stack; `isolated`: in a private mount namespace whose /var/run is
  // a tmpfs holding only the event directory (of $F).
  std::string Sh(const std::string& script, bool isolated = false) {
    WriteBytes(bin_.File("t"), kSmallStack);
    WriteBytes(dir_.File("s"), "t='sh " + bin_.File("t") + "'; F=" + kFile +
                                   "\n" + (isolated ? kMount : "") + script);
    const std::string run = "cd " + dir_.path +
                            (isolated ? " && unshare -m" : " &&") +
                            " sh s >o 2>e </dev/null";
    const int raw = std::system(run.c_str());
    return std::to_string(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1) + "|" +
           ReadBytes(dir_.File("o")).value_or("?") + "|" +
           ReadBytes(dir_.File("e")).value_or("?");
  }
  void Expect(const Cases& cases, bool isolated = false) {
    for (const auto& [script, expected] : cases)
      EXPECT_EQ(Sh(script, isolated), expected) << script;
  }

  TempDir dir_;
  TempDir bin_;  // the wrapper, out of the listings of dir_
};

TEST_F(Cstool, EachCommandLineGetsItsStatusAndOutput) {
  const std::string
      subs =
          "the subcommands are: messages, message, build-info, record, events, "
          "repair, fill-ids, upgrade-ctx, demo",
      sub = "' is not a cstool subcommand; ",
      list = " (cstool record --list lists them)",
      nac = "' is not an error code (expected a decimal number such as 1082)";
  std::string table = "EVENT-ID" + std::string(35, ' ') + "ARGS  MESSAGE\n";
  for (const std::string& row : DataLines("event_templates.tsv")) {
    const std::string id = row.substr(0, row.find('\t')),
                      text = row.substr(id.size() + 1);
    table += id + std::string(43 - id.size(), ' ') +  // each % starts a %s
             std::to_string(std::count(text.begin(), text.end(), '%')) +
             "     " + text + "\n";
  }
  Cases cases = {
      {"$t messages | cmp - " DATA "error_messages.txt", "0||"},
      // A sign is read as an int takes it, as ErrorMessageForId does.
      {"$t message +1102", "0|Kernix_ForkExec failed, errno: %s\n|"},
      {"$t message -1082; echo $?; $t message 2147483647",
       "1|unknown message\n1\nunknown message\n|"},
      {"$t", Err(2, "a subcommand is required; " + subs + kHelp)},
      {"$t mesages",
       Err(2, "'mesages" + sub + subs + "; did you mean 'messages'?")},
      {"$t --pretty sleep", Err(2, "'sleep" + sub + subs)},
      // --version's library data is build-info's; six sibling records; the
      // help's subcommands and exit statuses.
      {"$t --version >v && $t build-info >b && sed 1q v && sed 1d v | while "
       "read n x; do grep -cx \"$n  *$x\" b; done; n=$(awk '$1 == "
       "\"gBuildNumberNumeric\" { print $2 }' b); grep -cx \"gBuildNumber  "
       "*build-$n\" b; grep -c '^gCs' b; $t --help | awk '/^Subcommands:/,/^$/ "
       "{ printf \"%s \", $1 } /^Exit status:$/'",
       "0|cstool " CSTOOL_VERSION
       "\n1\n1\n1\n1\n6\nSubcommands: messages message build-info record "
       "events repair fill-ids upgrade-ctx demo  Exit status:\n|"},
      {"$t upgrade-ctx /postLoadStore/x; $t upgrade-ctx /postLoadStore",
       "0|2 (post-load-store: the library's directory contains "
       "\"postLoadStore\")\n1 (the library's directory does not contain "
       "\"postLoadStore\")\n|"},
      {kFill + "c --in-place -o x",
       "2||--output excludes --in-place" + kHelp + "\n"},
      {"$t record --list", "0|" + table + "|"},
      {"$t record", Err(2, "record: EVENT-ID is required" + list)},
      {"$t record jot.x",
       Err(2, "'jot.x' is not an event identifier of the catalogue" + list)},
      {"$t record jot.user.cs.db.operation.error $(seq 17)",
       Err(2, "at most 16 message arguments")},
      {"$t messages >/dev/full", Err(1, kFull)},
  };
  for (std::string bad : {"2147483648", "0x43A", "abc", "10x", "", " 1082"})
    cases.push_back({"$t message '" + bad + "'", Err(2, "'" + bad + nac)});
  Expect(cases);
}

TEST_F(Cstool, EventsListsTheRecordsOrSaysWhatIsWrong) {
  const std::string open = "f: cannot open the event record file: ",
                    deep = std::string(200000, '[') + std::string(200000, ']'),
                    id = std::string(50, 'i');  // longer than the catalogue's
  const Cases cases = {
      // Placeholders filled in order, extra arguments after; at UTF-8's
      // edges invalid bytes and C1 controls escaped, their neighbours kept.
      {R"({"jots":[{"jotId":"u","jotMsg":"c %s.","jotArgs":[]},{"jotId":"x",)"
       R"("jotMsg":"%s|%s|%d %n %%s","jotArgs":["%s","t\tb\u007f\u001f","e1",5]},)"
       "7,{\"jotMsg\":\"\xc0\xaf|\xe0\x9f\xbf|\xed\xa0\x80|\xed\x9f\xbf|"
       "\xf4\x90\x80\x80|\xf4\x8f\xbf\xbf|\xc2\x80|\xc2\x9f|\xc2\xa0|\xff\"}]}",
       "0|#  EVENT  MESSAGE\n1  u      c %s.\n2  x      "
       "%s|t\\tb\\u007f\\u001f|%d %n %%s [extra: e1, 5]\n3  ?      (not an "
       "event record: 7)\n4  ?      "
       "\\xc0\\xaf|\\xe0\\x9f\\xbf|\\xed\\xa0\\x80|\xed\x9f\xbf|"
       "\\xf4\\x90\\x80\\x80|\xf4\x8f\xbf\xbf|\\u0080|\\u009f|\xc2\xa0|"
       "\\xff\n|"},
      {"{\"jots\":[]}", "0|no records in f\n|"},
      // The column is as wide as the catalogue's longest identifier.
      {"{\"jots\":[{\"jotId\":\"" + id +
           "\",\"jotMsg\":\"m\"},{\"jotId\":\"u\"}]}",
       "0|#  EVENT" + std::string(36, ' ') + "  MESSAGE\n1  " + id +
           "  m\n2  u" + std::string(40, ' ') + "  \n|"},
      {"{}", "0|no records in f\n|"},
      {"{", Err(1,
                "f: does not parse as JSON: Missing a name for object member "
                "(at byte offset 1)" +
                    kRepair)},
      {"{\"jots\":[" + deep + "]}",
       "0|#  EVENT  MESSAGE\n1  ?      (not an event record: " + deep + ")\n|"},
      {"[]",
       Err(1, "f: not an event record file: the root is not a JSON object")},
      {"{\"jots\":\"x\"}",
       Err(1, "f: not an event record file: \"jots\" is not an array")},
  };
  for (const auto& [bytes, expected] : cases) {
    WriteBytes(dir_.File("f"), bytes);
    EXPECT_EQ(Sh("$t events --file f"), expected) << bytes;
  }
  Expect({
      {"printf {} >f; $t events --file f >/dev/full", Err(1, kFull)},
      // Each object alone on its line; ill-formed UTF-8 as U+FFFD.
      {"printf '%s' '{\"jots\":[{\"jotId\":\"u\",\"jotMsg\":\"c "
       "%s.\",\"jotArgs\":"
       "[\"a\\n\"],\"x\":1},7,{\"jotMsg\":\"\xff %s\",\"jotArgs\":[5]}]}' >f; "
       "$t events --json --file f",
       "0|{\"index\":1,\"jotId\":\"u\",\"jotMsg\":\"c "
       "%s.\",\"jotArgs\":[\"a\\n\"],"
       "\"message\":\"c a\\n.\"}\n{\"index\":2,\"record\":7}\n{\"index\":3,"
       "\"jotMsg\":\"\xef\xbf\xbd "
       "%s\",\"jotArgs\":[5],\"message\":\"\xef\xbf\xbd "
       "5\"}\n|"},
      // A reader waits while a writer holds the lock on the directory.
      {"printf '{}' >f; flock -x . sh -c 'touch h; sleep 1' & until [ -e h ]; "
       "do sleep .05; done; a=$(date +%s%N); $t events --file f; [ $(($(date "
       "+%s%N) - a)) -gt 500000000 ] && echo waited; wait",
       "0|no records in f\nwaited\n|"},
      {"rm f; $t events --file f; mkdir f; $t events --file f",
       Err(1, open + "No such file or directory\ncstool: " + open +
                  "Is a directory")},
  });
}

// A damaged file keeps its complete records, compact, with the original
// kept beside it and the mode kept; a whole one is left alone.
TEST_F(Cstool, RepairKeepsEveryCompleteRecord) {
  const std::string schema = "jot.user.cs.schema.file.error";
  std::string records, indented = "{\n  \"jots\": [\n";
  for (int i = 1; i <= 31; ++i) {
    const std::string record = RecordJson(schema, {std::to_string(i)});
    records += (i > 1 ? "," : "") + record;
    if (i <= 2) indented += "    " + record + ",\n";
  }
  const std::string whole = "{\"jots\":[" + records + "]}",
                    kept = "; the damaged file is kept as f.damaged",
                    held = RecordJson("jot.user.cs.dfs.restore.error"),
                    cut = whole.substr(0, whole.size() - 40),
                    salvaged = whole.substr(0, whole.rfind(",{")),
                    said30 =
                        "kept 30 records; dropped 65 bytes from byte offset "
                        "3089 on (Missing a closing quotation mark in string "
                        "(at byte offset 3154))";
  // The records of f.held go after the salvaged ones.
  const struct {
    std::string bytes, said, after, held = "";
  } cases[] = {
      {cut, said30, salvaged + "]}"},
      {cut, said30 + "; added 2 records of f.held after them",
       salvaged + "," + held + "," + held + "]}", held + "\n" + held + "\n"},
      {whole.substr(0, whole.size() - 1) + ",\"more\":{\"a\":1},\"x",
       "kept 31 records; dropped 3 bytes from byte offset " +
           std::to_string(whole.size() + 14) +
           " on (Missing a closing quotation mark in string (at byte offset " +
           std::to_string(whole.size() + 17) + "))",
       whole.substr(0, whole.size() - 1) + ",\"more\":{\"a\":1}}"},
      {whole + " x",
       "kept 31 records; dropped 2 bytes from byte offset 3194 on (text after "
       "the root value)",
       whole},
      {"",
       "kept 0 records; dropped 0 bytes from byte offset 0 on (The document "
       "is empty (at byte offset 0))",
       "{\"jots\":[]}"},
      {indented.substr(0, indented.size() - 9),
       "kept 1 record; dropped 100 bytes from byte offset 119 on (Missing a "
       "colon after a name of object member (at byte offset 219))",
       "{\"jots\":[" + RecordJson(schema, {"1"}) + "]}"},
  };
  for (const auto& c : cases) {
    WriteBytes(dir_.File("f"), c.bytes);
    WriteBytes(dir_.File("b"), c.bytes);
    WriteBytes(dir_.File("f.held"), c.held);
    EXPECT_EQ(Sh("chmod 640 f; $t repair --file f | sed 's/-[0-9TZ]*$//'; "
                 "stat -c %a f; cat f; wc -c <f.held; cmp b f.damaged-* && rm "
                 "b f.d* && ls"),
              "0|repaired f: " + c.said + kept + "\n640\n" + c.after +
                  "0\ne\nf\nf.held\no\ns\n|")
        << c.bytes;
  }
  // A file that parses is left alone unless f.held holds records.
  for (const std::string& extra : {std::string(), held + "\n"}) {
    WriteBytes(dir_.File("f"), whole);
    WriteBytes(dir_.File("f.held"), extra);
    EXPECT_EQ(Sh("$t repair --file f; cat f; wc -c <f.held"),
              extra.empty()
                  ? "0|nothing to repair: f parses as JSON\n" + whole + "0\n|"
                  : "0|repaired f: added 1 record of f.held after "
                    "its 31 records\n" +
                        whole.substr(0, whole.size() - 2) + "," + held +
                        "]}0\n|");
  }
  // Killed once the damaged file has its second name, at the rename of the
  // repaired file: the path still holds every record, and the next repair
  // finishes the job with the same copy.
  if (Sh("strace -f -qq -o /dev/null true") != "0||")
    GTEST_SKIP() << "strace cannot run here (ptrace refused?)";
  WriteBytes(dir_.File("f"), cut);
  WriteBytes(dir_.File("b"), cut);
  WriteBytes(dir_.File("f.held"), held + "\n");
  EXPECT_EQ(
      Sh("{ (strace -f -qq -o /dev/null -e "
         "inject=rename,renameat,renameat2:signal=KILL $t repair --file "
         "f; :) 2>/dev/null; cmp b f && stat -c %h f && $t repair --file f "
         "&& cat f && wc -c <f.held && cmp b f.d* && ls | tr '\\n' ' '; "
         "} | sed 's/-[0-9T]*Z//g'"),
      "0|2\nrepaired f: " + said30 + "; added 1 record of f.held after them" +
          kept + "\n" + salvaged + "," + held +
          "]}0\nb e f f.damaged f.held o s |");
}

TEST_F(Cstool, FillIdsWritesWhereAskedKeepingModeAndOwner) {
  const std::string deep =
      "{\"a\":" + std::string(200000, '[') + std::string(200000, ']') + "}";
  WriteBytes(dir_.File("deep"), deep);
  Expect({
      // Compact on one line, indented in place keeping the mode; either way
      // a second pass finds nothing to add.
      {kFill + kConfig + "| tee a | wc -l && " + kFill + "a >/dev/null",
       "0|1\n|" + kAdded + kNone},
      {"cp " + kConfig + "c; chown 4321:4322 c 2>&-; chmod 7640 c && " + kFill +
           "c --in-place --pretty && grep -c '^  \"network\": {$' c && " +
           kFill +
           "c >/dev/null && stat -c %a c && { [ $(id -u) != 0 ] || stat -c "
           "%u:%g c; }",
       std::string("0|1\n7640\n") + (::geteuid() == 0 ? "4321:4322\n|" : "|") +
           kAdded + kNone},
      // A new file gets 0666 less the umask; -o replaces a file whole, so
      // another link to it keeps the old text.
      {"umask 027; " + kFill + kConfig +
           "-o n && stat -c %a n && echo old >out && ln out l && " + kFill +
           kConfig + "-o out && cat l && rm l",
       "0|640\nold\n|" + kAdded + kAdded},
      // --in-place through a symbolic link replaces the target.
      {"cp " + kConfig + "t && ln -s t y && " + kFill +
           "y --in-place && [ -L y ] && grep -o cs_generated_id t | wc -l",
       "0|13\n|" + kAdded},
      {"cat deep | " + kFill + "/dev/stdin",
       "0|" + deep + "\n|" + kNone},  // read to its end
      {"printf '{,' >bad; " + kFill + "bad --in-place; s=$?; cat bad; exit $s",
       "1|{,|cstool: bad: invalid JSON: Missing a name for object member (at "
       "byte offset 1)\n"},
      {kFill + "/dev/null --in-place",
       Err(1, "/dev/null: --in-place needs a regular file")},
      {kFill + "none", Err(1, "none: cannot open: No such file or directory")},
      {"ls -A | wc -l", "0|11\n|"},  // no temporary file left
  });
#if !defined(__SANITIZE_ADDRESS__)  // a sanitizer cannot start so limited
  // Out of memory: indenting 200,000 levels needs far more than 300 MB.
  Expect({{"ulimit -v 300000; " + kFill + "deep --pretty",
           Err(1, "std::bad_alloc")}});
#endif
}

// Where the machine's event record file is out of reach. Skips where none
// can be made (a root that is not a mount point, a refusing container).
TEST_F(Cstool, InAPrivateMountNamespace) {
  if (const std::string probe = Sh("", true); probe != "0||")
    GTEST_SKIP() << "no private mount namespace: "
                 << probe.substr(probe.find('|', 2) + 1);
  const std::string schema = "jot.user.cs.schema.file.error",
                    db = "jot.user.cs.db.operation.error",
                    as = " given (the library records them as given)\n",
                    up = "jot.user.cs.upgrade.config.error",
                    warn = "cstool: warning: the message of ";
  Cases cases = {
      {"$t record " + schema + " /etc/s.json && $t record " + db +
           " $(seq 16) && cat $F",
       "0|recorded " + schema + " in " + kFile + " (1 record)\nrecorded " + db +
           " in " + kFile + " (2 records)\n{\"jots\":[" +
           RecordJson(schema, {"/etc/s.json"}) + "," +
           RecordJson(db, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10",
                           "11", "12", "13", "14", "15", "16"}) +
           "]}|" + warn + db + " takes 0 arguments, 16" + as},
      // The replacement fails whole and leaves nothing behind.
      {"mkdir w && mount -t tmpfs -o size=256k none w && cp " + kConfig +
           "w/c && head -c 300000 /dev/zero >w/z 2>&-; " + kFill +
           "w/c --in-place --pretty; s=$?; cmp w/c " + kConfig +
           "; ls -A w; exit $s",
       "1|c\nz\n|cstool: w/c: cannot write: No space left on device\n"},
      // Under a foreign lock: one bounded wait (5 s, not two), nothing
      // recorded.
      {"flock -x ${F%/*} sleep 20 & sleep 1; a=$(date +%s); $t record " + db +
           "; s=$?; t=$(($(date +%s) - a)); [ $t -ge 5 ] && [ $t -lt 10 ] && "
           "echo once; kill $!; exit $s",
       "1|once\n|cstool: another process kept " + kFile +
           " locked for 5 s; nothing recorded\n"},
      // A library call that cannot take the lock, with no system log to tell:
      // its record waits beside the file for the next call.
      {"[ ! -e /dev/log ] || mount --bind /dev/null /dev/log || exit; flock "
       "-x ${F%/*} sleep 20 & sleep 1; $t demo >/dev/null 2>&1; kill $!; grep "
       "-c '^{\"jotId\":\"jot.user.cs.schema.file.error\",' $F.unstored",
       "0|1\n|"},
      // The demonstration: its exception, log, record and configuration.
      {"rmdir ${F%/*}; $t demo >d; s=$?; grep -c kept-from-an-earlier-run d; "
       "grep -cF -e 'Error Code: 1081' -e ' component=cstool-demo "
       "op=schema-load] ConfigStoreException: #0 ' -e '1  "
       "jot.user.cs.schema.file.error  Error processing schema file /etc/' -e "
       "'\"cs_generated_id\": ' d; exit $s",
       "0|1\n7\n|"},
  };
  // The event record file, after a command, makes record fail for a reason;
  // the file stays as it was.
  const std::string failures[][3] = {
      {"{", "",
       kFile +
           " does not parse as JSON: Missing a name for object member (at "
           "byte offset 1); nothing recorded" +
           kRepair},
      {"{\"jots\":{}}", "",
       kFile + ": not an event record file: \"jots\" is not an array"},
      {"{\"x\":1}", "",
       kFile + " has no \"jots\" array, so the record was discarded"},
      {"{\"jots\":[]}", "mount -o remount,ro /var/run; ",
       "Failed opening Load Store workflow error file.\ncstool: Load Store "
       "workflow error record not stored (not kept: Read-only file system): " +
           RecordJson(up) + "\ncstool: cannot write " + kFile +
           " (Read-only file system); nothing recorded"},
      {"", "rm -r ${F%/*}; F=/dev/null; ",
       "/var/run/tessel/files does not exist (the host makes it at boot); "
       "nothing recorded"},
  };
  for (const auto& [file, before, reason] : failures) {
    cases.push_back({"printf '" + file + "' >$F; " + before + "$t record " +
                         up + "; s=$?; cat $F; exit $s",
                     "1|" + file + "|" + warn + up + " takes 1 argument, 0" +
                         as + "cstool: " + reason + "\n"});
  }
  Expect(cases, true);

  // --follow: each record once as it comes; a replaced file from its first
  // record again; SIGINT ends it with 0. Each wait for a line is bounded.
  const auto line = [](int index, const std::string& record,
                       const std::string& message) {
    return "{\"index\":" + std::to_string(index) + "," +
           record.substr(1, record.size() - 2) + ",\"message\":\"" + message +
           "\"}\n";
  };
  const std::string dbLine = "ConfigStore database operation failed.";
  cases = {
      {"w() { n=0; until [ $(wc -l <j) -ge $1 ] || [ $n -ge 50 ]; do sleep "
       ".1; n=$((n+1)); done; }; : >j; $t record " +
           db +
           " >/dev/null; $t events --follow --json >j 2>k & w 1; $t record " +
           db +
           " >/dev/null; w 2; echo '{\"jots\":[]}' >$F.n; mv $F.n $F; $t "
           "record " +
           up + " x >/dev/null; w 3; kill -INT $!; wait $!; echo $?; cat j k",
       "0|0\n" + line(1, RecordJson(db), dbLine) +
           line(2, RecordJson(db), dbLine) +
           line(1, RecordJson(up, {"x"}), "Error in upgrading config x.") +
           "cstool: " + kFile +
           ": its first 2 records are no longer those printed; starting "
           "over from its first record\n|"}};
  Expect(cases, true);
}

}  // namespace
