// The exception family: printed forms, the log line and back-trace of every
// construction, the null message, and RapidJSON's assertions as exceptions.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <typeinfo>

#include "cssupport/errors/exceptions.h"
#include "cssupport/errors/json.h"
#include "hostrt/recording/recording_host.h"

namespace {

using HostCtl::Lib::HostCtlException;
using hostrt_recording::Call;
using KoraConfigStore::ConfigStoreException;
using KoraConfigStore::ValidationException;
using Errors = std::vector<KoraConfigStore::ErrorInfo>;

// Through a ConfigStoreException reference a ValidationException prints the
// base text; the caller's list is copied.
TEST(Exceptions, PrintCodeMessageAndDetails) {
  const struct {
    int code;
    const char* message;
    std::optional<Errors> errors;  // set: a ValidationException
    const char* printed;
  } cases[] = {
      {1082, "Invalid JSON", {}, "Error Code: 1082\nMessage: Invalid JSON\n"},
      {-2147483647 - 1, "m", {}, "Error Code: -2147483648\nMessage: m\n"},
      {1, "", {}, "Error Code: 1\nMessage: \n"},
      {1083, "m", Errors{}, "Error Code: 1083\nMessage: m\n"},
      {1083, "m", Errors{{"a", "b"}, {"c", "d"}},
       "Error Code: 1083\nMessage: m\nDetails: \na: b\nc: d\n"},
      {7, "%s", Errors{{"", ""}},
       "Error Code: 7\nMessage: %s\nDetails: \n: \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printed);
    Errors errors = c.errors.value_or(Errors{});
    std::optional<ValidationException> validation;
    std::optional<ConfigStoreException> plain;
    if (c.errors) validation.emplace(c.code, c.message, errors);
    if (!c.errors) plain.emplace(c.code, c.message);
    if (!errors.empty()) errors[0].subject = "changed";
    const ConfigStoreException& e = c.errors ? *validation : *plain;
    EXPECT_EQ(c.errors ? validation->toString() : e.toString(), c.printed);
    EXPECT_EQ(e.toString().find("Details"), std::string::npos);
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_EQ(e.GetErrorCode(), c.code);
  }
}

// The host calls of one construction: the "[%d] %s" line at host level 2,
// then one back-trace.
std::vector<Call> ConstructionCalls(const std::string& expanded) {
  char thread[32];
  std::snprintf(thread, sizeof thread, "%lx",
                static_cast<unsigned long>(pthread_self()));
  const std::string error = "error [ConfigStore:" + std::string(thread) + "] ";
  const std::string info = "info [ConfigStore:" + std::string(thread) + "] ";
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

// Also never thrown; a null message is refused by the library itself (not by
// std::string) before anything is logged.
TEST(Exceptions, EveryConstructionLogsOneLineAndOneBacktrace) {
  Errors errors = {{"subject", "detail"}};
  const struct {
    std::function<void()> construct;
    std::string expanded;  // empty: refused
  } cases[] = {
      {[] { ConfigStoreException(7, "100% %s %n"); }, "[7] 100% %s %n"},
      {[&errors] { ValidationException(1083, "m", errors); }, "[1083] m"},
      {[] { ConfigStoreException(1082, nullptr); }, ""},
      {[&errors] { ValidationException(1083, nullptr, errors); }, ""},
      {[] { HostCtlException(nullptr); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expanded);
    hostrt_recording::Reset();
    try {
      c.construct();
      EXPECT_EQ(hostrt_recording::Calls(), ConstructionCalls(c.expanded));
    } catch (const std::logic_error& e) {
      EXPECT_EQ(c.expanded, "");
      EXPECT_STREQ(e.what(), "exception message must not be null");
      EXPECT_TRUE(hostrt_recording::Calls().empty());
    }
  }
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
    const auto& e = static_cast<const ConfigStoreException&>(caught);
    EXPECT_EQ(e.GetErrorCode(), 1082);
    const std::string what = e.what();
    EXPECT_EQ(what.rfind("JSON error:\"", 0), 0u) << what;
    EXPECT_EQ(hostrt_recording::Calls(), ConstructionCalls("[1082] " + what));
  }
}

}  // namespace
