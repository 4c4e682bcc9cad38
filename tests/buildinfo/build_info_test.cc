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

// Symbol name -> size, from the shipped library's dynamic symbol table.
std::map<std::string, unsigned long> ExportedSizes() {
  std::map<std::string, unsigned long> sizes;
  const std::string command =
      std::string("nm -D -S --defined-only '") + CSSUPPORT_LIBRARY_FILE + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"),
                                             pclose);
  char line[512], address[64], size[64], type[8], name[256];
  while (pipe && std::fgets(line, sizeof line, pipe.get())) {
    if (std::sscanf(line, "%63s %63s %7s %255s", address, size, type, name) ==
        4) {
      sizes[name] = std::strtoul(size, nullptr, 16);
    }
  }
  return sizes;
}

TEST(BuildInfo, ShippedArraysAreExactlyTheirTexts) {
  const auto sizes = ExportedSizes();
  const std::map<std::string, const char*> texts = {
#define ENTRY_(name) {#name, name},
      CSSUPPORT_BUILD_TEXTS(ENTRY_)
#undef ENTRY_
  };
  for (const auto& [name, text] : texts) {
    ASSERT_EQ(sizes.count(name), 1u) << name << " is not exported";
    EXPECT_EQ(sizes.at(name), std::strlen(text) + 1) << name;
  }
  int siblings = 0;
#define CHECK_RECORD_(name) \
  ++siblings;               \
  EXPECT_EQ(sizes.count(#name) ? sizes.at(#name) : 0, 16u) << #name;
  CHECK_RECORD_(gProductVersion)
  CSSUPPORT_SIBLING_VERSIONS(CHECK_RECORD_)
#undef CHECK_RECORD_
  EXPECT_EQ(siblings, 7);
}

}  // namespace
