// The catalogue against tests/data/error_messages.txt (`cstool messages`).
#include "cssupport/errors/error_codes.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>

#include "tests/support/data_lines.h"

namespace {

TEST(ErrorCatalogue, EveryCodeHasItsTextAndEverythingElseIsUnknown) {
  std::map<int, std::string> expected;
  for (const std::string& line :
       cssupport_test::DataLines("error_messages.txt"))
    if (line.rfind("CODE", 0) != 0) expected[std::stoi(line)] = line.substr(7);
  ASSERT_EQ(expected.size(), 70u);
  for (int code = 900; code <= 1200; ++code)
    expected.emplace(code, "unknown message");
  for (int code : {0, -1, INT_MAX, INT_MIN})
    expected.emplace(code, "unknown message");
  for (const auto& [code, text] : expected) {
    const auto id = static_cast<KoraConfigStore::CSErrorCodes>(code);
    EXPECT_EQ(KoraConfigStore::ErrorMessageForId(id), text) << code;
    EXPECT_EQ(KoraConfigStore::ErrorMessageForId(id),
              KoraConfigStore::ErrorMessageForId(id));  // one pointer per code
  }
}

}  // namespace
