// The catalogue against tests/data/error_messages.txt (`cstool messages`).
#include "cssupport/errors/error_codes.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "tests/support/data_lines.h"

namespace {

TEST(ErrorCatalogue, EveryCodeHasItsTextAndEverythingElseIsUnknown) {
  const std::vector<std::string> lines =
      cssupport_test::DataLines("error_messages.txt");
  ASSERT_GT(lines.size(), 1u);
  const std::size_t textAt = lines[0].find("MESSAGE");
  std::map<int, std::string> expected;
  for (std::size_t i = 1; i < lines.size(); ++i)
    expected[std::stoi(lines[i])] = lines[i].substr(textAt);
  const int first = expected.begin()->first, last = expected.rbegin()->first;
  for (int code = first - 100; code <= last + 100; ++code)
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
