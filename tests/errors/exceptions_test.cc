// The exception family: printed forms, copying, the log line and back-trace
// of every construction, and RapidJSON's assertions raised as exceptions.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "cssupport/errors/exceptions.h"
#include "cssupport/errors/json.h"
#include "cssupport/hostrt/recording/recording_host.h"
#include "cssupport/logging/cs_logger.h"

namespace {

using hostrt_recording::Call;
using KoraConfigStore::ConfigStoreException;
using KoraConfigStore::ErrorInfo;
using KoraConfigStore::ValidationException;

struct PrintCase {
  const char* name;
  int code;
  const char* message;
  std::optional<std::vector<ErrorInfo>> errors;  // set: a ValidationException
  std::string printed;
};

void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class PrintedFormTest : public ::testing::TestWithParam<PrintCase> {
 protected:
  void SetUp() override { hostrt_recording::Reset(); }
};

TEST_P(PrintedFormTest, PrintsCodeMessageAndDetails) {
  const PrintCase& c = GetParam();
  if (c.errors) {
    std::vector<ErrorInfo> errors = *c.errors;
    const ValidationException e(c.code, c.message, errors);
    EXPECT_EQ(e.toString(), c.printed);
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_EQ(e.GetErrorCode(), c.code);
    ASSERT_EQ(e.GetErrors().size(), c.errors->size());
  } else {
    const ConfigStoreException e(c.code, c.message);
    EXPECT_EQ(e.toString(), c.printed);
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_EQ(e.GetErrorCode(), c.code);
  }
}

const PrintCase kPrintCases[] = {
    {"InvalidJson", 1082, "Invalid JSON", std::nullopt,
     "Error Code: 1082\nMessage: Invalid JSON\n"},
    {"NegativeCode", -5, "m", std::nullopt, "Error Code: -5\nMessage: m\n"},
    {"LowestCode", -2147483647 - 1, "m", std::nullopt,
     "Error Code: -2147483648\nMessage: m\n"},
    {"UncataloguedCode", 99999, "x", std::nullopt,
     "Error Code: 99999\nMessage: x\n"},
    {"EmptyMessage", 1001, "", std::nullopt, "Error Code: 1001\nMessage: \n"},
    {"FormatCharactersInMessage", 1, "%s %d%%", std::nullopt,
     "Error Code: 1\nMessage: %s %d%%\n"},
    {"ValidationWithoutDetails", 1083, "m", std::vector<ErrorInfo>{},
     "Error Code: 1083\nMessage: m\n"},
    {"ValidationWithDetails", 1083, "m",
     std::vector<ErrorInfo>{{"a", "b"}, {"c", "d"}},
     "Error Code: 1083\nMessage: m\nDetails: \na: b\nc: d\n"},
    {"ValidationWithEmptyTexts", 7, "m", std::vector<ErrorInfo>{{"", ""}},
     "Error Code: 7\nMessage: m\nDetails: \n: \n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PrintedFormTest,
                         ::testing::ValuesIn(kPrintCases),
                         [](const ::testing::TestParamInfo<PrintCase>& info) {
                           return std::string(info.param.name);
                         });

class ExceptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hostrt_recording::Reset();
    CSLogger::CurrentContext.clear();
  }
  void TearDown() override { CSLogger::CurrentContext.clear(); }
};

TEST_F(ExceptionTest, ValidationToStringHidesRatherThanOverrides) {
  std::vector<ErrorInfo> errors = {{"a", "b"}};
  const ValidationException e(1083, "m", errors);
  const ConfigStoreException& base = e;
  EXPECT_EQ(base.toString(), "Error Code: 1083\nMessage: m\n");
  EXPECT_EQ(e.toString(), "Error Code: 1083\nMessage: m\nDetails: \na: b\n");
}

TEST_F(ExceptionTest, KeepsItsOwnCopyOfTheList) {
  std::vector<ErrorInfo> errors = {{"a", "b"}, {"c", "d"}};
  const ValidationException e(1083, "m", errors);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].subject, "a");
  EXPECT_EQ(errors[1].detail, "d");

  errors[0].subject = "changed";
  errors.push_back({"e", "f"});
  const std::vector<ErrorInfo>& kept = e.GetErrors();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].subject, "a");
  EXPECT_EQ(kept[0].detail, "b");
  EXPECT_EQ(kept[1].subject, "c");
  EXPECT_EQ(kept[1].detail, "d");
  EXPECT_NE(&kept, &errors);
}

std::string ThreadHex() {
  char text[32];
  std::snprintf(text, sizeof text, "%lx",
                static_cast<unsigned long>(pthread_self()));
  return text;
}

// The host calls one construction makes: the "[%d] %s" line at host level 2,
// then one back-trace line at host level 5.
std::vector<Call> ConstructionCalls(const std::string& expanded,
                                    const std::string& context = "") {
  const std::string error =
      "error [ConfigStore:" + ThreadHex() + context + "] ";
  const std::string info = "info [ConfigStore:" + ThreadHex() + context + "] ";
  return {
      {"LogV", {"2", error + "[%d] %s\n", error + expanded + "\n"}},
      {"CoreDump_CaptureFastBacktrace", {"2", "15", "frames", "count"}},
      {"CoreDump_Base64BacktraceFormat",
       {"3", "frames", "buffer", "1024", "configstore"}},
      {"LogV",
       {"5", info + "ConfigStoreException: %s\n",
        info + "ConfigStoreException: " + hostrt_recording::kBacktraceText +
            "\n"}},
  };
}

TEST_F(ExceptionTest, EveryConstructionLogsOneLineAndOneBacktrace) {
  std::vector<ErrorInfo> errors = {{"subject", "detail"}};
  const struct {
    const char* name;
    std::function<void()> construct;
    std::string expanded;
  } cases[] = {
      {"never thrown", [] { ConfigStoreException(1082, "Invalid JSON"); },
       "[1082] Invalid JSON"},
      {"thrown and caught",
       [] {
         try {
           throw ConfigStoreException(-5, "m");
         } catch (const ConfigStoreException&) {
         }
       },
       "[-5] m"},
      {"message is never a format",
       [] { ConfigStoreException(7, "100% %s %n"); }, "[7] 100% %s %n"},
      {"validation logs as its base",
       [&errors] { ValidationException(1083, "m", errors); }, "[1083] m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    hostrt_recording::Reset();
    c.construct();
    EXPECT_EQ(hostrt_recording::Calls(), ConstructionCalls(c.expanded));
  }
}

TEST_F(ExceptionTest, LogsWithTheThreadsContext) {
  CSLogger::CurrentContext["op"] = "load";
  CSLogger::CurrentContext["db"] = "main";
  ConfigStoreException(1001, "m");
  EXPECT_EQ(hostrt_recording::Calls(),
            ConstructionCalls("[1001] m", " db=main op=load"));
}

TEST_F(ExceptionTest, NullMessageIsRefusedBeforeAnythingIsLogged) {
  std::vector<ErrorInfo> errors = {{"a", "b"}};
  EXPECT_THROW(ConfigStoreException(1082, nullptr), std::logic_error);
  EXPECT_THROW(ValidationException(1083, nullptr, errors), std::logic_error);
  EXPECT_THROW(HostCtl::Lib::HostCtlException(nullptr), std::logic_error);
  EXPECT_TRUE(hostrt_recording::Calls().empty());
  EXPECT_EQ(errors.size(), 1u);
}

struct AssertionCase {
  const char* name;
  std::function<void()> trigger;
  const char* header;     // where the assertion is written
  const char* condition;  // as written there
};

const AssertionCase kAssertionCases[] = {
    {"MemberOfNonObject",
     [] {
       rapidjson::Value array(rapidjson::kArrayType);
       array.FindMember("jots");
     },
     "rapidjson/document.h", "IsObject()"},
    {"AppendToNonArray",
     [] {
       rapidjson::Document document;
       document.SetObject();
       rapidjson::Value value(1);
       document.PushBack(value, document.GetAllocator());
     },
     "rapidjson/document.h", "IsArray()"},
    {"StringOfNumber",
     [] {
       const rapidjson::Value number(5);
       number.GetString();
     },
     "rapidjson/document.h", "IsString()"},
    {"WriterEndWithoutStart",
     [] {
       rapidjson::StringBuffer out;
       rapidjson::Writer<rapidjson::StringBuffer> writer(out);
       writer.EndArray();
     },
     "rapidjson/writer.h", "level_stack_.GetSize() >= sizeof(Level)"},
};

// The hook's constant message: JSON error:"<header path>":<line>: <condition>
void ExpectHookMessage(const std::string& what, const AssertionCase& c) {
  const std::string opening = "JSON error:\"";
  ASSERT_EQ(what.compare(0, opening.size(), opening), 0) << what;
  const std::size_t pathEnd = what.find("\":", opening.size());
  ASSERT_NE(pathEnd, std::string::npos) << what;
  const std::string path =
      what.substr(opening.size(), pathEnd - opening.size());
  const std::string header = c.header;
  ASSERT_GE(path.size(), header.size());
  EXPECT_EQ(path.substr(path.size() - header.size()), header) << what;
  const std::size_t lineStart = pathEnd + 2;
  const std::size_t lineEnd = what.find(": ", lineStart);
  ASSERT_NE(lineEnd, std::string::npos) << what;
  ASSERT_GT(lineEnd, lineStart) << what;
  for (std::size_t i = lineStart; i < lineEnd; ++i) {
    EXPECT_TRUE(what[i] >= '0' && what[i] <= '9') << what;
  }
  EXPECT_EQ(what.substr(lineEnd + 2), c.condition);
}

class JsonAssertionTest : public ::testing::TestWithParam<AssertionCase> {
 protected:
  void SetUp() override { hostrt_recording::Reset(); }
};

TEST_P(JsonAssertionTest, RaisesConfigStoreException1082) {
  const AssertionCase& c = GetParam();
  try {
    c.trigger();
    FAIL() << "no exception";
  } catch (const ConfigStoreException& e) {
    EXPECT_EQ(typeid(e), typeid(ConfigStoreException));
    EXPECT_EQ(e.GetErrorCode(), 1082);
    ExpectHookMessage(e.what(), c);
    EXPECT_EQ(hostrt_recording::Calls(),
              ConstructionCalls("[1082] " + std::string(e.what())));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonAssertionTest, ::testing::ValuesIn(kAssertionCases),
    [](const ::testing::TestParamInfo<AssertionCase>& info) {
      return std::string(info.param.name);
    });

template <typename Handler>
void ExpectCaughtAs() {
  try {
    kAssertionCases[0].trigger();
    FAIL() << "no exception";
  } catch (const Handler& e) {
    const auto* thrown = dynamic_cast<const ConfigStoreException*>(&e);
    ASSERT_NE(thrown, nullptr);
    EXPECT_EQ(thrown->GetErrorCode(), 1082);
    EXPECT_EQ(std::string(e.what()).rfind("JSON error:", 0), 0u) << e.what();
  }
}

TEST(JsonAssertion, IsCaughtAtEveryLevelOfTheFamily) {
  ExpectCaughtAs<ConfigStoreException>();
  ExpectCaughtAs<HostCtl::Lib::HostCtlException>();
  ExpectCaughtAs<std::exception>();
}

}  // namespace
