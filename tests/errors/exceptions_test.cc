// The exception family: printed forms, copying, the log line and back-trace
// of every construction, and RapidJSON's assertions raised as exceptions.
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

TEST(Exceptions, PrintCodeMessageAndDetails) {
  const struct {
    int code;
    const char* message;
    std::optional<Errors> errors;  // set: a ValidationException
    const char* printed;
  } cases[] = {
      {1082, "Invalid JSON", {}, "Error Code: 1082\nMessage: Invalid JSON\n"},
      {-2147483647 - 1, "m", {}, "Error Code: -2147483648\nMessage: m\n"},
      {1001, "", {}, "Error Code: 1001\nMessage: \n"},
      {1, "%s %d%%", {}, "Error Code: 1\nMessage: %s %d%%\n"},
      {1083, "m", Errors{}, "Error Code: 1083\nMessage: m\n"},
      {1083, "m", Errors{{"a", "b"}, {"c", "d"}},
       "Error Code: 1083\nMessage: m\nDetails: \na: b\nc: d\n"},
      {7, "m", Errors{{"", ""}}, "Error Code: 7\nMessage: m\nDetails: \n: \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printed);
    const auto expect = [&c](const auto& e) {
      EXPECT_EQ(e.toString(), c.printed);
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.GetErrorCode(), c.code);
    };
    Errors errors = c.errors.value_or(Errors{});
    if (c.errors) expect(ValidationException(c.code, c.message, errors));
    if (!c.errors) expect(ConfigStoreException(c.code, c.message));
  }
}

TEST(Exceptions, ValidationKeepsACopyAndHidesTheBaseToString) {
  Errors errors = {{"a", "b"}};
  const ValidationException e(1083, "m", errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].subject + errors[0].detail, "ab");
  errors[0].subject = "changed";
  errors.push_back({"e", "f"});
  const ConfigStoreException& base = e;
  EXPECT_EQ(base.toString(), "Error Code: 1083\nMessage: m\n");
  EXPECT_EQ(e.toString(), "Error Code: 1083\nMessage: m\nDetails: \na: b\n");
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

TEST(Exceptions, EveryConstructionLogsOneLineAndOneBacktrace) {
  Errors errors = {{"subject", "detail"}};
  const struct {
    std::function<void()> construct;
    std::string expanded;
  } cases[] = {
      {[] { ConfigStoreException(1082, "Invalid JSON"); },
       "[1082] Invalid JSON"},
      {[] { ConfigStoreException(7, "100% %s %n"); }, "[7] 100% %s %n"},
      {[&errors] { ValidationException(1083, "m", errors); }, "[1083] m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expanded);
    hostrt_recording::Reset();
    c.construct();
    EXPECT_EQ(hostrt_recording::Calls(), ConstructionCalls(c.expanded));
  }
}

TEST(Exceptions, NullMessageIsRefusedBeforeAnythingIsLogged) {
  hostrt_recording::Reset();
  Errors errors = {{"a", "b"}};
  EXPECT_THROW(ConfigStoreException(1082, nullptr), std::logic_error);
  EXPECT_THROW(ValidationException(1083, nullptr, errors), std::logic_error);
  EXPECT_THROW(HostCtlException(nullptr), std::logic_error);
  EXPECT_TRUE(hostrt_recording::Calls().empty());
}

// A failed RapidJSON precondition, caught as `Handler`.
template <typename Handler>
void ExpectJsonAssertionCaughtAs() {
  hostrt_recording::Reset();
  try {
    rapidjson::Value array(rapidjson::kArrayType);
    array.FindMember("jots");
    FAIL() << "no exception";
  } catch (const Handler& caught) {
    const auto* e = dynamic_cast<const ConfigStoreException*>(&caught);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(typeid(*e), typeid(ConfigStoreException));
    EXPECT_EQ(e->GetErrorCode(), 1082);
    const std::string what = e->what();
    EXPECT_EQ(what.rfind("JSON error:", 0), 0u) << what;
    EXPECT_EQ(hostrt_recording::Calls(), ConstructionCalls("[1082] " + what));
  }
}

TEST(Exceptions, JsonAssertionIsCaughtAtEveryLevelOfTheFamily) {
  ExpectJsonAssertionCaughtAs<ConfigStoreException>();
  ExpectJsonAssertionCaughtAs<HostCtlException>();
  ExpectJsonAssertionCaughtAs<std::exception>();
}

}  // namespace
