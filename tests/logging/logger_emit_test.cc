// Emission: the exact format each call hands the host.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "cssupport/logging/cs_logger.h"
#include "hostrt/recording/recording_host.h"

// Interposed: while fakeThreadId is set, pthread_self returns it.
namespace {
std::atomic<unsigned long> fakeThreadId{0};
}  // namespace
extern "C" pthread_t pthread_self() noexcept {
  static const auto real =
      reinterpret_cast<pthread_t (*)()>(dlsym(RTLD_NEXT, "pthread_self"));
  const unsigned long fake = fakeThreadId.load();
  return fake != 0 ? static_cast<pthread_t>(fake) : real();
}

namespace {

using namespace CSLogger;  // NOLINT: the severities
using hostrt_recording::Call;

// "<severity> [ConfigStore:<this thread in %lx><context>] ".
std::string Prefix(const std::string& severity, const std::string& ctx = "") {
  char id[32];
  std::snprintf(id, sizeof id, "%lx",
                static_cast<unsigned long>(pthread_self()));
  return severity + " [ConfigStore:" + id + ctx + "] ";
}

class LoggerEmit : public ::testing::Test {
 protected:
  void SetUp() override { hostrt_recording::Reset(), CurrentContext.clear(); }
  void TearDown() override { CurrentContext.clear(); }

  // Runs `emit` and returns the one host call it made.
  static Call LineOf(const std::function<void()>& emit) {
    hostrt_recording::Reset();
    emit();
    const auto calls = hostrt_recording::Calls();
    EXPECT_EQ(calls.size(), 1u);
    return calls.empty() ? Call{} : calls.front();
  }
};

// A kept trailing newline, a format that fills the inline buffer to its last
// byte, a line of the host's first expansion buffer's size, a code outside
// the catalogue as the tag (MatchesAPlainComposition takes known ones); the
// host expands each to itself.
TEST_F(LoggerEmit, ComposedFormatPerCall) {
  const std::string full(1023 - Prefix("info").size(), 'y'),
      host(255 - Prefix("info").size(), 'h');
  const struct {
    std::function<void()> emit;
    std::string level, format;
  } cases[] = {
      {[] { Log(CS_LOG_INFO, "done\n"); }, "5", Prefix("info") + "done\n\n"},
      {[&] { Log(CS_LOG_INFO, full.c_str()); }, "5",
       Prefix("info") + full + "\n"},
      {[&] { Log(CS_LOG_INFO, host.c_str()); }, "5",
       Prefix("info") + host + "\n"},
      {[] {
         LogErrCode(CS_LOG_WARN, static_cast<KoraConfigStore::CSErrorCodes>(
                                     -2147483647 - 1));
       },
       "3", Prefix("warn") + "[-2147483648]unknown message\n"},
  };
  for (const auto& c : cases) {
    const Call line = LineOf(c.emit);
    EXPECT_EQ(line.name, "LogV");
    EXPECT_EQ(line.args.at(0), c.level) << c.format;
    EXPECT_EQ(line.args.at(1), c.format);
    EXPECT_EQ(line.args.at(2), c.format);
  }
}

// Random %/NUL-laden contexts and names, lines far beyond the inline buffer,
// thread ids, each priority's name and host level, bad priorities.
TEST_F(LoggerEmit, MatchesAPlainComposition) {
  std::mt19937 random(13);
  const auto text = [&](std::size_t longest, const char* alphabet) {
    std::string s(random() % (longest + 1), ' ');
    for (char& c : s) c = alphabet[random() % 6];
    return s;
  };
  const char kAny[6] = {'%', '\0', 'a', '=', ' ', 'Z'};
  // `s` without NULs, each '%' written as `percent`.
  const auto literal = [](const std::string& s, const char* percent) {
    std::string out;
    for (const char c : s) out += c == '%' ? percent : std::string(c != 0, c);
    return out;
  };
  const char* const kNames[] = {"error", "warn", "info", "debug", "trivia"};
  for (int round = 0; round < 600; ++round) {
    SCOPED_TRACE(round);
    const std::size_t scale = round % 10 == 0 ? 40 : 1;  // some beyond 1 KiB
    fakeThreadId = ((0ul + random()) << 32 | random()) >> random() % 64 | 1;
    CurrentContext.clear();
    for (int n = random() % 7; n-- > 0;)
      CurrentContext[text(17 * scale, kAny)] = text(33 * scale, kAny);
    const int kind = round % 3, priority = static_cast<int>(random() % 7) - 1;
    const std::string tag = kind == 1   ? text(20 * scale, kAny)
                            : kind == 2 ? "[1001]"
                                        : "";
    const std::string format = kind == 2 ? "Failed to open database %s"
                                         : text(25 * scale, "abc ~=") + " %d";
    const auto emit = [&] {
      const auto p = static_cast<log_priority>(priority);
      if (kind == 0) Log(p, format.c_str(), 7);
      if (kind == 1) DBLog(tag, p, format.c_str(), 7);
      if (kind == 2) LogErrCode(p, KoraConfigStore::CS_ERR_DB_OPEN, "7");
    };
    hostrt_recording::Reset();
    if (priority < 0 || priority > 4) {
      EXPECT_THROW(emit(), std::out_of_range);
      EXPECT_TRUE(hostrt_recording::Calls().empty());
      continue;
    }
    // The format handed over, and the line the host expands from it.
    std::string handed, expanded;
    for (const auto& [key, value] : CurrentContext) {
      handed += " " + literal(key, "%%") + "=" + literal(value, "%%");
      expanded += " " + literal(key, "%") + "=" + literal(value, "%");
    }
    const Call line = LineOf(emit);
    EXPECT_EQ(line.args.at(0), std::string(1, "23567"[priority]));
    EXPECT_EQ(line.args.at(1), Prefix(kNames[priority], handed) +
                                   literal(tag, "%%") + format + "\n");
    EXPECT_EQ(line.args.at(2), Prefix(kNames[priority], expanded) +
                                   literal(tag, "%") +
                                   format.substr(0, format.size() - 2) + "7\n");
  }
  fakeThreadId = 0;
}

}  // namespace
