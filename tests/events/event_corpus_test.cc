// Outside input as the event record file: every file of the public JSON
// parsing corpus, and generated nesting far beyond the limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cssupport/errors/json.h"
#include "cssupport/hostrt/recording/recording_host.h"
#include "event_test_support.h"

namespace {

using cssupport_test::kParseFailed;
using cssupport_test::ReadBytes;
using cssupport_test::RecordAt;
using cssupport_test::RecordJson;
using cssupport_test::SyslogLines;
using cssupport_test::TempDir;
using cssupport_test::WriteBytes;

const std::string kSchema = "jot.user.cs.schema.file.error";
const std::vector<std::string> kArgs = {"corpus"};

struct Result {
  enum Kind { kReturned, kNotObject, kNotArray } kind = kReturned;
  std::vector<std::string> syslog;
  std::optional<std::string> after;
};

// Records one event over `bytes`; fails the test on any exception other
// than the two JSON preconditions.
Result RecordOver(const std::string& path, const std::string& bytes) {
  WriteBytes(path, bytes);
  hostrt_recording::Reset();
  Result result;
  try {
    RecordAt(path, kSchema, kArgs);
  } catch (const KoraConfigStore::ConfigStoreException& e) {
    const std::string what = e.what();
    EXPECT_EQ(e.GetErrorCode(), 1082);
    if (what.size() > 12 &&
        what.compare(what.size() - 12, 12, ": IsObject()") == 0) {
      result.kind = Result::kNotObject;
    } else if (what.size() > 11 &&
               what.compare(what.size() - 11, 11, ": IsArray()") == 0) {
      result.kind = Result::kNotArray;
    } else {
      ADD_FAILURE() << "unexpected JSON error: " << what;
    }
  }
  result.syslog = SyslogLines();
  result.after = ReadBytes(path);
  return result;
}

std::string Compact(const rapidjson::Value& value) {
  rapidjson::StringBuffer out;
  rapidjson::Writer<rapidjson::StringBuffer> writer(out);
  value.Accept(writer);
  return std::string(out.GetString(), out.GetSize());
}

// The outcome a valid file's root dictates, worked out with RapidJSON's
// ordinary recursive parser: the file the call must leave, or which
// precondition must fail.
struct Expected {
  Result::Kind kind;
  std::string after;
};

Expected ExpectedFor(const std::string& bytes) {
  rapidjson::Document document;
  document.Parse(bytes.data(), bytes.size());
  if (document.HasParseError()) {
    ADD_FAILURE() << "the oracle cannot parse a valid file";
    return {Result::kReturned, bytes};
  }
  const std::string record = RecordJson(kSchema, kArgs);
  if (document.IsNull())
    return {Result::kReturned, "{\"jots\":[" + record + "]}"};
  if (!document.IsObject()) return {Result::kNotObject, bytes};
  auto jots = document.MemberBegin();
  while (jots != document.MemberEnd() && jots->name != "jots") ++jots;
  if (jots == document.MemberEnd())
    return {Result::kReturned, Compact(document)};
  if (!jots->value.IsArray()) return {Result::kNotArray, bytes};
  rapidjson::Document parsedRecord(&document.GetAllocator());
  parsedRecord.Parse(record.c_str());
  jots->value.PushBack(parsedRecord, document.GetAllocator());
  return {Result::kReturned, Compact(document)};
}

std::filesystem::path CorpusDir() {
  return std::filesystem::path(CSSUPPORT_SOURCE_DIR) / ".." / "shared" /
         "corpora" / "json-parsing";
}

TEST(EventFileCorpus, EveryFileTakesItsPath) {
  if (!std::filesystem::is_directory(CorpusDir())) {
    GTEST_SKIP() << "no corpus at " << CorpusDir();
  }
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusDir())) {
    if (entry.path().extension() == ".json") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());

  TempDir dir;
  const std::string path = dir.File("loadStoreErrors.json");
  int valid = 0, invalid = 0, either = 0;
  for (const auto& file : files) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    const std::optional<std::string> bytes = ReadBytes(file.string());
    ASSERT_TRUE(bytes.has_value());
    const Result result = RecordOver(path, *bytes);
    const bool parseFailure =
        result.syslog ==
        std::vector<std::string>{std::string("3:") + kParseFailed};

    switch (name[0]) {
      case 'n':
        ++invalid;
        EXPECT_EQ(result.kind, Result::kReturned);
        EXPECT_TRUE(parseFailure);
        EXPECT_EQ(result.after, bytes);
        break;
      case 'y': {
        ++valid;
        const Expected expected = ExpectedFor(*bytes);
        EXPECT_EQ(result.kind, expected.kind);
        EXPECT_TRUE(result.syslog.empty());
        EXPECT_EQ(result.after, expected.after);
        break;
      }
      case 'i':
        ++either;
        EXPECT_TRUE(result.syslog.empty() || parseFailure);
        if (result.kind != Result::kReturned || parseFailure) {
          EXPECT_EQ(result.after, bytes);
        }
        break;
      default:
        ADD_FAILURE() << "unclassified corpus file";
    }
  }
  EXPECT_GT(valid, 0);
  EXPECT_GT(invalid, 0);
  EXPECT_GT(either, 0);
}

struct DeepCase {
  const char* name;
  std::string bytes;
};

class EventFileDeepTest : public ::testing::TestWithParam<DeepCase> {};

// Nesting a hundred times the limit: the parse must neither recurse nor
// reach the writer.
TEST_P(EventFileDeepTest, IsAParseFailureWithoutCrashing) {
  TempDir dir;
  const std::string& bytes = GetParam().bytes;
  const Result result = RecordOver(dir.File("loadStoreErrors.json"), bytes);
  EXPECT_EQ(result.kind, Result::kReturned);
  EXPECT_EQ(result.syslog,
            std::vector<std::string>{std::string("3:") + kParseFailed});
  EXPECT_EQ(result.after, bytes);
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

constexpr int kDeep = 100000;

const DeepCase kDeepCases[] = {
    {"Arrays", Repeat("[", kDeep) + Repeat("]", kDeep)},
    {"Objects", Repeat("{\"a\":", kDeep) + "1" + Repeat("}", kDeep)},
    {"InsideJots",
     "{\"jots\":" + Repeat("[", kDeep) + Repeat("]", kDeep) + "}"},
    {"Unclosed", Repeat("[{\"\":", kDeep)},
};

INSTANTIATE_TEST_SUITE_P(Generated, EventFileDeepTest,
                         ::testing::ValuesIn(kDeepCases),
                         [](const ::testing::TestParamInfo<DeepCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
