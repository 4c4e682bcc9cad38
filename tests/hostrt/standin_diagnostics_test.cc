#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "cssupport/hostrt/hostrt.h"

namespace hostrt_test {
namespace {

constexpr int kSlots = 15;

struct Capture {
  bool ok = false;
  int count = -1;
  void* frames[kSlots] = {};
};

// Two captures from one activation of this function: the first keeps its own
// frame, the second skips it.
__attribute__((noinline)) void CaptureBothWays(Capture* keep, Capture* skip) {
  keep->ok =
      CoreDump_CaptureFastBacktrace(0, kSlots, keep->frames, &keep->count);
  skip->ok =
      CoreDump_CaptureFastBacktrace(1, kSlots, skip->frames, &skip->count);
  asm volatile("" ::: "memory");  // keeps the calls out of tail position
}

std::string Format(int count, void* const* frames, size_t size = 1024) {
  std::string buffer(size, '\x7f');
  CoreDump_Base64BacktraceFormat(count, frames, &buffer[0], size,
                                 "configstore");
  return buffer.substr(0, std::strlen(buffer.c_str()));
}

TEST(StandinBacktrace, SkipDropsInnermostFramesOfTheCaller) {
  Capture keep;
  Capture skip;
  CaptureBothWays(&keep, &skip);
  ASSERT_TRUE(keep.ok);
  ASSERT_TRUE(skip.ok);
  ASSERT_GE(keep.count, 3);
  ASSERT_GE(skip.count, 2);
  // keep: [CaptureBothWays, this test, ...]; skip: [this test, ...].
  EXPECT_EQ(skip.frames[0], keep.frames[1]);
  EXPECT_EQ(skip.frames[1], keep.frames[2]);
}

TEST(StandinBacktrace, MaxFramesBoundsTheCapture) {
  void* frames[3] = {nullptr, nullptr, &frames};
  int count = -1;
  ASSERT_TRUE(CoreDump_CaptureFastBacktrace(0, 2, frames, &count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(frames[2], static_cast<void*>(&frames));

  count = -1;
  EXPECT_TRUE(CoreDump_CaptureFastBacktrace(1000, 2, frames, &count));
  EXPECT_EQ(count, 0);
  count = -1;
  EXPECT_FALSE(CoreDump_CaptureFastBacktrace(0, 2, nullptr, &count));
  EXPECT_EQ(count, 0);
}

TEST(StandinBacktrace, RealCaptureNamesTheExecutableModule) {
  void* frames[kSlots];
  int count = 0;
  ASSERT_TRUE(CoreDump_CaptureFastBacktrace(0, kSlots, frames, &count));
  const std::string text = Format(count, frames);
  EXPECT_EQ(text.rfind("#0 hostrt_standin_test+0x", 0), 0u) << text;
  EXPECT_NE(text.find(" #1 "), std::string::npos) << text;
}

TEST(StandinBacktrace, FrameOutsideAnyModuleIsUnknown) {
  void* frames[] = {reinterpret_cast<void*>(0x10),
                    reinterpret_cast<void*>(0x2f)};
  EXPECT_EQ(Format(2, frames), "#0 ?+0x10 #1 ?+0x2f");
  EXPECT_EQ(Format(0, frames), "");
}

// Every size leaves a NUL inside the buffer, touches nothing beyond it and
// keeps whole entries of the full text only.
TEST(StandinBacktrace, TruncatesToWholeEntriesWithinTheBuffer) {
  void* frames[] = {reinterpret_cast<void*>(0x10),
                    reinterpret_cast<void*>(0x2f),
                    reinterpret_cast<void*>(0x3abc)};
  const std::string full = Format(3, frames);
  struct Case {
    size_t size;
    const char* expected;
  };
  for (const Case& c :
       {Case{1, ""}, Case{8, ""}, Case{10, "#0 ?+0x10"}, Case{19, "#0 ?+0x10"},
        Case{20, "#0 ?+0x10 #1 ?+0x2f"}, Case{full.size() + 1, full.c_str()}}) {
    SCOPED_TRACE(c.size);
    char buffer[64];
    std::memset(buffer, '\x7f', sizeof buffer);
    CoreDump_Base64BacktraceFormat(3, frames, buffer, c.size, "configstore");
    ASSERT_NE(std::memchr(buffer, '\0', c.size), nullptr);
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(buffer[c.size], '\x7f');
  }
  char untouched = '\x7f';
  CoreDump_Base64BacktraceFormat(3, frames, &untouched, 0, "configstore");
  EXPECT_EQ(untouched, '\x7f');
}

TEST(StandinUuid, RandomVersion4TextsInCanonicalLowerCaseForm) {
  std::set<std::string> seen;
  for (int i = 0; i < 2; ++i) {
    char* text = UUID_CreateRandom();
    ASSERT_NE(text, nullptr);
    const std::string uuid = text;
    std::free(text);
    ASSERT_EQ(uuid.size(), 36u) << uuid;
    for (size_t pos = 0; pos < uuid.size(); ++pos) {
      if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
        EXPECT_EQ(uuid[pos], '-') << uuid;
      } else {
        EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(uuid[pos])) &&
                    !std::isupper(static_cast<unsigned char>(uuid[pos])))
            << uuid;
      }
    }
    EXPECT_EQ(uuid[14], '4') << uuid;
    EXPECT_NE(std::string("89ab").find(uuid[19]), std::string::npos) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace hostrt_test
