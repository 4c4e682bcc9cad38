// The exported build data: the relations between the symbols, and that each
// array in the shipped library is exactly its text plus the terminator.
#include "cssupport/buildinfo/build_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(BuildInfo, TextsAgreeWithEachOtherAndTheBuild) {
  const std::string number = CSSUPPORT_EXPECTED_BUILD_NUMBER;
  const std::string version = CSSUPPORT_EXPECTED_PRODUCT_VERSION;
  EXPECT_EQ(gBuildNumberNumericString, number);
  EXPECT_EQ(std::to_string(gBuildNumberNumeric), number);
  EXPECT_EQ(gBuildNumber, "build-" + number);
  EXPECT_EQ(gBuildVersion, "Releasebuild-" + number);
  EXPECT_EQ(gProductVersionString, version + " build-" + number);
  EXPECT_EQ(gKoraReleaseVersionString,
            version + "-" + CSSUPPORT_EXPECTED_RELEASE_SEQUENCE + "." + number);
  EXPECT_STREQ(gProductBuildNumberNumericString, "0");
  EXPECT_STREQ(gProductBuildNumber, "product-build-0");
  EXPECT_EQ(gProductBuildNumberNumeric, 0);
  for (int32_t part : gProductVersion.part) EXPECT_EQ(part, 0);
}

// Each exported text is exactly its bytes and the terminator, each version
// record 16 bytes, by the shipped library's dynamic symbol table.
TEST(BuildInfo, ShippedArraysAreExactlyTheirTexts) {
  std::map<std::string, unsigned long> sizes;
  const std::string command =
      std::string("nm -D -S --defined-only '") + CSSUPPORT_LIBRARY_FILE + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"),
                                             pclose);
  char line[512], size[64], name[256];
  while (pipe && std::fgets(line, sizeof line, pipe.get())) {
    if (std::sscanf(line, "%*s %63s %*s %255s", size, name) == 2) {
      sizes[name] = std::strtoul(size, nullptr, 16);
    }
  }
  int records = 0;
#define TEXT_(name) EXPECT_EQ(sizes[#name], std::strlen(name) + 1) << #name;
#define RECORD_(name) \
  ++records;          \
  EXPECT_EQ(sizes[#name], 16u) << #name;
  CSSUPPORT_BUILD_TEXTS(TEXT_)
  RECORD_(gProductVersion)
  CSSUPPORT_SIBLING_VERSIONS(RECORD_)
#undef TEXT_
#undef RECORD_
  EXPECT_EQ(records, 7);
}

}  // namespace
