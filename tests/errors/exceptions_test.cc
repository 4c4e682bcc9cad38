// Printed forms, construction logging and null messages of the exceptions.
#include <gtest/gtest.h>
#include <pthread.h>

#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include "cssupport/errors/exceptions.h"
#include "hostrt/recording/recording_host.h"

namespace {

using HostCtl::Lib::HostCtlException;
using KoraConfigStore::ConfigStoreException;
using KoraConfigStore::ValidationException;
using Errors = std::vector<KoraConfigStore::ErrorInfo>;
namespace rec = hostrt_recording;

// One construction's host calls: the "[%d] %s" line at level 2, a back-trace.
std::vector<rec::Call> ConstructionCalls(const std::string& line) {
  std::ostringstream id;
  id << "[ConfigStore:" << std::hex << pthread_self() << "] ";
  const std::string error = "error " + id.str(),
                    info = "info " + id.str() + "ConfigStoreException: ";
  return {
      {"LogV", {"2", error + "[%d] %s\n", error + line + "\n"}},
      {"CoreDump_CaptureFastBacktrace", {"2", "15", "frames", "count"}},
      {"CoreDump_Base64BacktraceFormat",
       {"3", "frames", "buffer", "1024", "configstore"}},
      {"LogV", {"5", info + "%s\n", info + rec::kBacktraceText + "\n"}},
  };
}

// Base-reference printing, list copies, null messages refused before logging.
TEST(Exceptions, PrintCodeMessageAndDetailsAndLogConstruction) {
  const struct {
    int code;
    const char* message;
    std::optional<Errors> errors;  // set: a ValidationException
    const char* printed;           // null: refused
  } cases[] = {
      {-2147483647 - 1, "%s", {}, "Error Code: -2147483648\nMessage: %s\n"},
      {1083, "m", Errors{}, "Error Code: 1083\nMessage: m\n"},
      {1083, "m", Errors{{"a", "b"}, {"c", "d"}},
       "Error Code: 1083\nMessage: m\nDetails: \na: b\nc: d\n"},
      {7, "%n", Errors{{"", ""}},
       "Error Code: 7\nMessage: %n\nDetails: \n: \n"},
      {1082, nullptr, {}, nullptr},
      {1083, nullptr, Errors{{"a", "b"}}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printed != nullptr ? c.printed : "null");
    Errors errors = c.errors.value_or(Errors{});
    rec::Reset();
    std::unique_ptr<ConfigStoreException> e;
    try {
      e.reset(c.errors ? new ValidationException(c.code, c.message, errors)
                       : new ConfigStoreException(c.code, c.message));
    } catch (const std::logic_error& refused) {
      EXPECT_STREQ(refused.what(), "exception message must not be null");
      EXPECT_TRUE(c.message == nullptr && rec::Calls().empty());
      continue;
    }
    ASSERT_NE(c.message, nullptr);
    EXPECT_EQ(rec::Calls(), ConstructionCalls("[" + std::to_string(c.code) +
                                              "] " + c.message));
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

}  // namespace
