// The exception family: printed forms, the log line and back-trace of every
// construction, the null message, and RapidJSON's assertions as exceptions.
#include <gtest/gtest.h>
#include <pthread.h>

#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <typeinfo>

#include "cssupport/errors/exceptions.h"
#include "cssupport/errors/json.h"
#include "hostrt/recording/recording_host.h"

namespace {

using HostCtl::Lib::HostCtlException;
using KoraConfigStore::ConfigStoreException;
using KoraConfigStore::ValidationException;
using Errors = std::vector<KoraConfigStore::ErrorInfo>;

// The host calls of one construction: the "[%d] %s" line at host level 2,
// then one back-trace.
std::vector<hostrt_recording::Call> ConstructionCalls(
    const std::string& expanded) {
  std::ostringstream thread;
  thread << "[ConfigStore:" << std::hex << pthread_self() << "] ";
  const std::string error = "error " + thread.str(),
                    info = "info " + thread.str();
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

// Through a ConfigStoreException reference a ValidationException prints the
// base text; the caller's list is copied. Each construction logs one line and
// one back-trace; a null message is refused by the library itself (not by
// std::string) before anything is logged.
TEST(Exceptions, PrintCodeMessageAndDetailsAndLogConstruction) {
  const struct {
    int code;
    const char* message;
    std::optional<Errors> errors;  // set: a ValidationException
    const char* printed;           // null: refused
  } cases[] = {
      {1082, "Invalid JSON", {}, "Error Code: 1082\nMessage: Invalid JSON\n"},
      {-2147483647 - 1,
       "100% %s %n",
       {},
       "Error Code: -2147483648\nMessage: 100% %s %n\n"},
      {1, "", {}, "Error Code: 1\nMessage: \n"},
      {1083, "m", Errors{}, "Error Code: 1083\nMessage: m\n"},
      {1083, "m", Errors{{"a", "b"}, {"c", "d"}},
       "Error Code: 1083\nMessage: m\nDetails: \na: b\nc: d\n"},
      {7, "%s %n", Errors{{"", ""}},
       "Error Code: 7\nMessage: %s %n\nDetails: \n: \n"},
      {1082, nullptr, {}, nullptr},
      {1083, nullptr, Errors{{"a", "b"}}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printed != nullptr ? c.printed : "null");
    Errors errors = c.errors.value_or(Errors{});
    hostrt_recording::Reset();
    std::unique_ptr<ConfigStoreException> e;
    try {
      e.reset(c.errors ? new ValidationException(c.code, c.message, errors)
                       : new ConfigStoreException(c.code, c.message));
    } catch (const std::logic_error& refused) {
      EXPECT_STREQ(refused.what(), "exception message must not be null");
      EXPECT_TRUE(c.message == nullptr && hostrt_recording::Calls().empty());
      continue;
    }
    ASSERT_NE(c.message, nullptr);
    EXPECT_EQ(
        hostrt_recording::Calls(),
        ConstructionCalls("[" + std::to_string(c.code) + "] " + c.message));
    if (!errors.empty()) errors[0].subject = "changed";
    EXPECT_EQ(c.errors ? static_cast<ValidationException&>(*e).toString()
                       : e->toString(),
              c.printed);
    EXPECT_EQ(e->toString().find("Details"), std::string::npos);
    EXPECT_STREQ(e->what(), c.message);
    EXPECT_EQ(e->GetErrorCode(), c.code);
  }
  EXPECT_THROW(HostCtlException(nullptr), std::logic_error);
}

// Caught as std::exception, it is exactly a ConfigStoreException, and its
// construction logged like any other.
TEST(Exceptions, JsonAssertionRaises1082) {
  hostrt_recording::Reset();
  try {
    rapidjson::Value(rapidjson::kArrayType).FindMember("jots");
    FAIL() << "no exception";
  } catch (const std::exception& caught) {
    ASSERT_EQ(typeid(caught), typeid(ConfigStoreException));
    EXPECT_EQ(static_cast<const ConfigStoreException&>(caught).GetErrorCode(),
              1082);
    const std::string what = caught.what();
    EXPECT_EQ(what.rfind("JSON error:\"", 0), 0u) << what;
    EXPECT_EQ(hostrt_recording::Calls(), ConstructionCalls("[1082] " + what));
  }
}

}  // namespace
