#include "cssupport/errors/error_codes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using KoraConfigStore::CSErrorCodes;
using KoraConfigStore::ErrorMessageForId;

const char* Text(int code) {
  return ErrorMessageForId(static_cast<CSErrorCodes>(code));
}

TEST(ErrorCatalogue, TextsAtTheBlockEdgesAndPlaceholders) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {1001, "Failed to open database %s"},
      {1018, "Invalid database type"},
      {1030, "Invalid type, %s"},
      {1041, "%s: Object is null"},
      {1062, "All ConfigStoreObjects are not for the same schema."},
      {1080, "Failed to parse JSON String"},
      {1082, "Invalid JSON"},
      {1083, "Validation Error: '%s' %s"},
      {1084, "Failed to validate Cached config"},
      {1085, "Failed to validate Default config"},
      {1092, "Failed to validate Auto config"},
      {1100, "Invalid Argument"},
      {1102, "Kernix_ForkExec failed, errno: %s"},
      {1103, "Failed to wait for child process: %d, errno: %s"},
      {1104, "Child process terminated with exit value: %d"},
      {1105, "ConfigStore internal error"},
  };
  for (const auto& c : cases) EXPECT_STREQ(Text(c.code), c.text) << c.code;
}

TEST(ErrorCatalogue, GapsAndBoundsAreUnknown) {
  for (int code : {0, -1, 1000, 1019, 1025, 1029, 1063, 1079, 1093, 1099, 1106,
                   2000, 0x7fffffff, static_cast<int>(0x80000000u)}) {
    EXPECT_STREQ(Text(code), "unknown message") << code;
  }
}

TEST(ErrorCatalogue, HoldsExactlySeventyCodesInFourBlocks) {
  std::vector<int> known;
  for (int code = 900; code <= 1200; ++code) {
    if (std::strcmp(Text(code), "unknown message") != 0) known.push_back(code);
  }
  ASSERT_EQ(known.size(), 70u);
  for (int code : known) {
    const bool in_block = (code >= 1001 && code <= 1018) ||
                          (code >= 1030 && code <= 1062) ||
                          (code >= 1080 && code <= 1092) ||
                          (code >= 1100 && code <= 1105);
    EXPECT_TRUE(in_block) << code;
  }
  // Every code has its own text: no accidental copy-paste duplicates.
  std::set<std::string> texts;
  for (int code : known) texts.insert(Text(code));
  EXPECT_EQ(texts.size(), known.size());
}

TEST(ErrorCatalogue, SameCodeSamePointer) {
  EXPECT_EQ(Text(1001), Text(1001));
  EXPECT_EQ(Text(1082), ErrorMessageForId(KoraConfigStore::CS_ERR_INVALID_JSON));
  EXPECT_EQ(Text(1019), Text(1019));
  EXPECT_EQ(Text(1019), Text(42));  // one shared "unknown message"
}

TEST(ErrorCatalogue, EnumeratorsCarryTheirNumbers) {
  EXPECT_EQ(KoraConfigStore::CS_ERR_DB_OPEN, 1001);
  EXPECT_EQ(KoraConfigStore::CS_ERR_INVALID_JSON, 1082);
  EXPECT_EQ(KoraConfigStore::CS_ERR_INTERNAL, 1105);
  EXPECT_EQ(sizeof(CSErrorCodes), 4u);
}

}  // namespace
