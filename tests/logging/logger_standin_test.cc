// End to end through the working stand-in host: the back-trace that a
// construction logs starts in the function that raised.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cssupport/errors/exceptions.h"
#include "cssupport/logging/cs_logger.h"

// The raisers; exported (the test links with -rdynamic) so that dladdr names
// them.
extern "C" __attribute__((noinline)) void cssupport_test_raise_plain() {
  KoraConfigStore::ConfigStoreException(1105, "plain");
}
extern "C" __attribute__((noinline)) void cssupport_test_raise_validation() {
  std::vector<KoraConfigStore::ErrorInfo> errors{{"a", "b"}};
  KoraConfigStore::ValidationException(1083, "validation", errors);
}

namespace {

// The stand-in writes "#0 <module>+0x<offset> ..." into a log file under
// /tmp/ (never the hypervisor's /var/log/).
TEST(LoggerStandIn, BacktraceStartsInTheFunctionThatRaised) {
  const std::string name = "cssupport-test-" + std::to_string(getpid());
  const std::string path = "/tmp/" + name + ".log";
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
    ASSERT_TRUE(std::regex_search(
        lines[1], m,
        std::regex("ConfigStoreException: #0 ([^+]+)\\+0x([0-9a-f]+)")))
        << lines[1];
    const std::string module = m[1];
    const unsigned long offset = std::stoul(m[2], nullptr, 16);
    Dl_info raiser{}, frame{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(raise), &raiser), 0);
    const std::string file = raiser.dli_fname;
    EXPECT_EQ(file.substr(file.rfind('/') + 1), module);
    // The frame holds a return address: the call lies just before it.
    const auto* address = static_cast<const char*>(raiser.dli_fbase) + offset;
    ASSERT_NE(dladdr(address - 1, &frame), 0);
    EXPECT_EQ(frame.dli_saddr, raiser.dli_saddr)
        << "first frame is in " << (frame.dli_sname ? frame.dli_sname : "?");
  }
}

}  // namespace
