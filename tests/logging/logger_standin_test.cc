// End to end through the stand-in host: a construction's back-trace.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <vector>

#include <gtest/gtest.h>

#include "cssupport/errors/exceptions.h"
#include "cssupport/logging/cs_logger.h"

// The raisers; exported (linked with -rdynamic) so that dladdr names them.
extern "C" __attribute__((noinline)) void cssupport_test_raise_plain() {
  KoraConfigStore::ConfigStoreException(1105, "plain");
}
extern "C" __attribute__((noinline)) void cssupport_test_raise_validation() {
  std::vector<KoraConfigStore::ErrorInfo> errors{{"a", "b"}};
  KoraConfigStore::ValidationException(1083, "validation", errors);
}

namespace {

// The stand-in writes "#0 <module>+0x<offset> ..." into /tmp/<name>.log.
TEST(LoggerStandIn, BacktraceStartsInTheFunctionThatRaised) {
  const std::string name = "cssupport-test-" + std::to_string(getpid()),
                    path = "/tmp/" + name + ".log";
  for (void (*raise)() :
       {cssupport_test_raise_plain, cssupport_test_raise_validation}) {
    std::remove(path.c_str());
    CSLogger::LogInit(name);
    raise();
    CSLogger::LogExit();
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::remove(path.c_str());
    ASSERT_EQ(lines.size(), 2u);
    std::smatch m;
    const std::regex trace("ConfigStoreException: #0 ([^+]+)\\+0x([0-9a-f]+)");
    ASSERT_TRUE(std::regex_search(lines[1], m, trace)) << lines[1];
    const unsigned long offset = std::stoul(m[2], nullptr, 16);
    Dl_info raiser{}, frame{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(raise), &raiser), 0);
    EXPECT_EQ(std::filesystem::path(raiser.dli_fname).filename(), m[1].str());
    const auto* address = static_cast<const char*>(raiser.dli_fbase) + offset;
    ASSERT_NE(dladdr(address - 1, &frame), 0);
    EXPECT_EQ(frame.dli_saddr, raiser.dli_saddr);  // the return address - 1
  }
}

}  // namespace
