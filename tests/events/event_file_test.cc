// The event catalogue and the read-merge-rewrite of the event record file,
// each case in its own temporary directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "cssupport/errors/exceptions.h"
#include "cssupport/events/event_file.h"
#include "cssupport/hostrt/recording/recording_host.h"
#include "event_test_support.h"

namespace {

using cssupport_test::kOpenFailed;
using cssupport_test::kParseFailed;
using cssupport_test::ReadBytes;
using cssupport_test::RecordAt;
using cssupport_test::RecordJson;
using cssupport_test::SyslogLines;
using cssupport_test::TempDir;
using cssupport_test::WriteBytes;

const std::string kDb = "jot.user.cs.db.operation.error";
const std::string kSchema = "jot.user.cs.schema.file.error";

const std::string kSyslogParseFailed = std::string("3:") + kParseFailed;
const std::string kSyslogOpenFailed = std::string("3:") + kOpenFailed;

std::string Nested(int depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(EventCatalogue, HoldsTheNineTemplatesByExactIdentifier) {
  const std::vector<std::pair<std::string, std::string>> expected = {
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
  ASSERT_EQ(KoraConfigStore::jotMsgMap.size(), expected.size());
  for (const auto& [id, text] : expected) {
    EXPECT_EQ(KoraConfigStore::jotMsgMap.at(id), text) << id;
  }
  EXPECT_EQ(KoraConfigStore::jotMsgMap.count("JOT.user.cs.db.operation.error"),
            0u);
}

enum class Outcome {
  kWritten,       // no report; the file holds `after`
  kParseFailure,  // parse failure reported; file unchanged
  kOutOfRange,    // std::out_of_range; nothing reported; file unchanged
  kNotObject,     // 1082 "IsObject()"; file unchanged
  kNotArray,      // 1082 "IsArray()"; file unchanged
};

struct FileCase {
  const char* name;
  std::optional<std::string> before;  // nullopt: no file
  std::string jotId;
  std::vector<std::string> args;
  Outcome outcome;
  std::string after = "";  // kWritten only
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class EventFileCaseTest : public ::testing::TestWithParam<FileCase> {
 protected:
  void SetUp() override { hostrt_recording::Reset(); }
  TempDir dir_;
};

// What the JSON assertion hook produces for a RapidJSON precondition.
std::regex HookMessage(const std::string& condition) {
  return std::regex("JSON error:\"[^\"]*rapidjson/document\\.h\":[0-9]+: " +
                    condition);
}

TEST_P(EventFileCaseTest, EndsWithTheTableOutcome) {
  const FileCase& c = GetParam();
  const std::string path = dir_.File("loadStoreErrors.json");
  if (c.before) WriteBytes(path, *c.before);

  std::optional<int> code;
  std::string message;
  bool outOfRange = false;
  try {
    RecordAt(path, c.jotId, c.args);
  } catch (const KoraConfigStore::ConfigStoreException& e) {
    code = e.GetErrorCode();
    message = e.what();
  } catch (const std::out_of_range&) {
    outOfRange = true;
  }

  const std::optional<std::string> after = ReadBytes(path);
  const std::vector<std::string> syslog = SyslogLines();
  switch (c.outcome) {
    case Outcome::kWritten:
      EXPECT_FALSE(code.has_value()) << message;
      EXPECT_FALSE(outOfRange);
      EXPECT_EQ(after, c.after);
      EXPECT_TRUE(hostrt_recording::Calls().empty());
      return;
    case Outcome::kParseFailure:
      EXPECT_FALSE(code.has_value()) << message;
      EXPECT_FALSE(outOfRange);
      EXPECT_EQ(syslog, std::vector<std::string>{kSyslogParseFailed});
      break;
    case Outcome::kOutOfRange:
      EXPECT_TRUE(outOfRange);
      EXPECT_TRUE(hostrt_recording::Calls().empty());
      break;
    case Outcome::kNotObject:
    case Outcome::kNotArray: {
      ASSERT_TRUE(code.has_value());
      EXPECT_EQ(*code, 1082);
      const char* condition =
          c.outcome == Outcome::kNotObject ? "IsObject\\(\\)" : "IsArray\\(\\)";
      EXPECT_TRUE(std::regex_match(message, HookMessage(condition))) << message;
      EXPECT_TRUE(syslog.empty());
      break;
    }
  }
  EXPECT_EQ(after, c.before) << "the file must be left as it was";
}

const std::string kDbRecord = RecordJson(kDb);
const std::string kSchemaRecord = RecordJson(kSchema, {"/etc/s.json"});

const FileCase kFileCases[] = {
    // A first record, exactly as the format prescribes.
    {"Absent",
     std::nullopt,
     kDb,
     {},
     Outcome::kWritten,
     R"({"jots":[{"jotId":"jot.user.cs.db.operation.error",)"
     R"("jotMsg":"ConfigStore database operation failed.","jotArgs":[]}]})"},
    {"Null",
     "null",
     kDb,
     {},
     Outcome::kWritten,
     "{\"jots\":[" + kDbRecord + "]}"},
    {"NullInWhitespace",
     " \r\n\tnull \n",
     kDb,
     {},
     Outcome::kWritten,
     "{\"jots\":[" + kDbRecord + "]}"},
    // Appending keeps every other member and record, in order.
    {"Append",
     "{\"jots\":[" + kDbRecord + "]}",
     kSchema,
     {"/etc/s.json"},
     Outcome::kWritten,
     "{\"jots\":[" + kDbRecord + "," + kSchemaRecord + "]}"},
    {"AppendIndented",
     "{\n  \"a\": 1,\n  \"jots\": [ ],\n  \"b\": {\"c\": [1, 2.5, \"x\"]}\n}\n",
     kDb,
     {},
     Outcome::kWritten,
     "{\"a\":1,\"jots\":[" + kDbRecord + "],\"b\":{\"c\":[1,2.5,\"x\"]}}"},
    {"AppendAfterForeignRecords",
     R"({"jots":[1,"x",{"jotId":"old","extra":true},null,[]]})",
     kDb,
     {},
     Outcome::kWritten,
     R"({"jots":[1,"x",{"jotId":"old","extra":true},null,[],)" + kDbRecord +
         "]}"},
    {"NumbersTakeTheWritersForm",
     R"({"n":1e2,"jots":[]})",
     kDb,
     {},
     Outcome::kWritten,
     "{\"n\":100.0,\"jots\":[" + kDbRecord + "]}"},
    {"FirstOfDuplicateJotsIsUsed",
     R"({"jots":[],"jots":{}})",
     kDb,
     {},
     Outcome::kWritten,
     "{\"jots\":[" + kDbRecord + "],\"jots\":{}}"},
    // The template is stored unexpanded whatever the number of arguments.
    {"OneArgument",
     std::nullopt,
     kSchema,
     {"/etc/s.json"},
     Outcome::kWritten,
     R"({"jots":[{"jotId":"jot.user.cs.schema.file.error",)"
     R"("jotMsg":"Error processing schema file %s.",)"
     R"("jotArgs":["/etc/s.json"]}]})"},
    {"NoArgumentForAPlaceholder",
     std::nullopt,
     kSchema,
     {},
     Outcome::kWritten,
     "{\"jots\":[" + RecordJson(kSchema) + "]}"},
    {"ThreeArgumentsForOnePlaceholder",
     std::nullopt,
     kSchema,
     {"a", "", "c"},
     Outcome::kWritten,
     "{\"jots\":[" + RecordJson(kSchema, {"a", "", "c"}) + "]}"},
    {"ArgumentsAreEscaped",
     std::nullopt,
     kDb,
     {"q\"b\\n\nt\tc\x01/\xC3\xA9%s"},
     Outcome::kWritten,
     "{\"jots\":[" +
         RecordJson(kDb, {"q\\\"b\\\\n\\nt\\tc\\u0001/\xC3\xA9%s"}) + "]}"},
    // Without "jots" the record is dropped and the file comes back compact.
    {"EmptyObject", "{}", kDb, {}, Outcome::kWritten, "{}"},
    {"ObjectWithoutJots",
     "{ \"x\" : [ 1 , 2 ] ,\n\"Jots\": [] }",
     kDb,
     {},
     Outcome::kWritten,
     R"({"x":[1,2],"Jots":[]})"},
    {"NestedExactlyAtTheLimit",
     "{\"a\": " + Nested(999) + " }",
     kDb,
     {},
     Outcome::kWritten,
     "{\"a\":" + Nested(999) + "}"},
    {"JotsNestedExactlyAtTheLimit",
     "{\"jots\":[ " + Nested(998) + " ]}",
     kDb,
     {},
     Outcome::kWritten,
     "{\"jots\":[" + Nested(998) + "," + kDbRecord + "]}"},
    // Text that is not exactly one JSON value.
    {"Empty", "", kDb, {}, Outcome::kParseFailure},
    {"OnlyWhitespace", " \n\t\r ", kDb, {}, Outcome::kParseFailure},
    {"Unterminated", "{\"jots\":[", kDb, {}, Outcome::kParseFailure},
    {"TwoValues", "{}{}", kDb, {}, Outcome::kParseFailure},
    {"TextAfterRoot", "{\"jots\":[]} x", kDb, {}, Outcome::kParseFailure},
    {"NulAfterRoot",
     std::string("{\"jots\":[]}\0", 12),
     kDb,
     {},
     Outcome::kParseFailure},
    {"NulThenMoreAfterRoot",
     std::string("{\"jots\":[]} \0{}", 15),
     kDb,
     {},
     Outcome::kParseFailure},
    {"NulBeforeRoot",
     std::string("\0{\"jots\":[]}", 12),
     kDb,
     {},
     Outcome::kParseFailure},
    {"NulInsideString",
     std::string("{\"jots\":[],\"a\":\"x\0y\"}", 21),
     kDb,
     {},
     Outcome::kParseFailure},
    {"NulAfterNumberRoot",
     std::string("123\0", 4),
     kDb,
     {},
     Outcome::kParseFailure},
    {"ByteOrderMark",
     "\xEF\xBB\xBF{\"jots\":[]}",
     kDb,
     {},
     Outcome::kParseFailure},
    {"Comment", "{\"jots\":[]} // note", kDb, {}, Outcome::kParseFailure},
    {"TrailingComma", "{\"jots\":[],}", kDb, {}, Outcome::kParseFailure},
    {"NestedOneBeyondTheLimit",
     "{\"a\":" + Nested(1000) + "}",
     kDb,
     {},
     Outcome::kParseFailure},
    {"UnknownIdentifierWithUnparsableFile",
     "{",
     "jot.user.cs.no.such",
     {},
     Outcome::kParseFailure},
    // Identifiers outside the catalogue, checked before the root's type.
    {"UnknownIdentifier",
     "{\"jots\":[]}",
     "jot.user.cs.no.such",
     {},
     Outcome::kOutOfRange},
    {"UnknownIdentifierNoFile",
     std::nullopt,
     "jot.user.cs.no.such",
     {},
     Outcome::kOutOfRange},
    {"IdentifierInOtherCase",
     "{\"jots\":[]}",
     "JOT.USER.CS.DB.OPERATION.ERROR",
     {},
     Outcome::kOutOfRange},
    {"IdentifierWithTrailingBlank",
     "{\"jots\":[]}",
     kDb + " ",
     {},
     Outcome::kOutOfRange},
    {"UnknownIdentifierWithArrayRoot", "[]", "", {}, Outcome::kOutOfRange},
    // Roots that are neither null nor an object.
    {"ArrayRoot", "[{\"jots\":[]}]", kDb, {}, Outcome::kNotObject},
    {"StringRoot", "\"jots\"", kDb, {}, Outcome::kNotObject},
    {"NumberRoot", " 42 ", kDb, {}, Outcome::kNotObject},
    {"TrueRoot", "true", kDb, {}, Outcome::kNotObject},
    {"FalseRoot", "false", kDb, {}, Outcome::kNotObject},
    // A "jots" that is not an array.
    {"JotsObject", "{\"jots\":{}}", kDb, {}, Outcome::kNotArray},
    {"JotsString", "{\"jots\":\"[]\"}", kDb, {}, Outcome::kNotArray},
    {"JotsNull", "{\"jots\":null}", kDb, {}, Outcome::kNotArray},
    {"FirstOfDuplicateJotsIsNotArray",
     "{\"jots\":{},\"jots\":[]}",
     kDb,
     {},
     Outcome::kNotArray},
};

INSTANTIATE_TEST_SUITE_P(Table, EventFileCaseTest,
                         ::testing::ValuesIn(kFileCases),
                         [](const ::testing::TestParamInfo<FileCase>& info) {
                           return std::string(info.param.name);
                         });

class EventFileTest : public ::testing::Test {
 protected:
  void SetUp() override { hostrt_recording::Reset(); }
  TempDir dir_;
  const std::string path_ = dir_.File("loadStoreErrors.json");
};

TEST_F(EventFileTest, CountOfZeroOrLessReadsNoArgument) {
  RecordAt(path_, kSchema, 0, "not read");
  RecordAt(path_, kSchema, -2, "not read", "not read");
  RecordAt(path_, kSchema, 1, "read", "not read");
  EXPECT_EQ(ReadBytes(path_), "{\"jots\":[" + RecordJson(kSchema) + "," +
                                  RecordJson(kSchema) + "," +
                                  RecordJson(kSchema, {"read"}) + "]}");
}

TEST_F(EventFileTest, IdenticalCallsLeaveIdenticalRecords) {
  RecordAt(path_, kSchema, {"x"});
  RecordAt(path_, kSchema, {"x"});
  const std::string record = RecordJson(kSchema, {"x"});
  EXPECT_EQ(ReadBytes(path_), "{\"jots\":[" + record + "," + record + "]}");
}

TEST_F(EventFileTest, UnparsableFileIsReportedOnEveryCallAndKept) {
  WriteBytes(path_, "{} {}");
  RecordAt(path_, kDb, {});
  RecordAt(path_, kDb, {});
  EXPECT_EQ(SyslogLines(),
            (std::vector<std::string>{kSyslogParseFailed, kSyslogParseFailed}));
  EXPECT_EQ(ReadBytes(path_), "{} {}");
}

TEST_F(EventFileTest, MissingDirectoryIsReportedAndNotCreated) {
  const std::string missing = dir_.File("missing");
  RecordAt(missing + "/loadStoreErrors.json", kDb, {});
  EXPECT_EQ(SyslogLines(), std::vector<std::string>{kSyslogOpenFailed});
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(EventFileTest, UnwritableTargetIsReportedAndLeftAlone) {
  // A link to a file in a missing directory: nothing to read, and the
  // write cannot create it.
  const std::string target = dir_.File("missing/target.json");
  std::filesystem::create_symlink(target, path_);
  RecordAt(path_, kDb, {});
  EXPECT_EQ(SyslogLines(), std::vector<std::string>{kSyslogOpenFailed});
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("missing")));
}

TEST_F(EventFileTest, DirectoryInPlaceOfTheFileDoesNotParse) {
  std::filesystem::create_directory(path_);
  RecordAt(path_, kDb, {});
  EXPECT_EQ(SyslogLines(), std::vector<std::string>{kSyslogParseFailed});
  EXPECT_TRUE(std::filesystem::is_directory(path_));
}

TEST_F(EventFileTest, LeavesNoOtherFileBehind) {
  RecordAt(path_, kDb, {});
  WriteBytes(dir_.File("other.json"), "[]");
  EXPECT_THROW(RecordAt(dir_.File("other.json"), kDb, {}),
               KoraConfigStore::ConfigStoreException);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"loadStoreErrors.json", "other.json"}));
}

}  // namespace
