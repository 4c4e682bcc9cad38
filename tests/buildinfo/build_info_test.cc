// Build data: texts agree with the build; shipped arrays are exact.
#include "cssupport/buildinfo/build_info.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

TEST(BuildInfo, TextsAgreeWithEachOtherAndTheBuild) {
  const std::string number = CSSUPPORT_EXPECTED_BUILD_NUMBER,
                    version = CSSUPPORT_EXPECTED_PRODUCT_VERSION;
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

// By the shipped library's dynamic symbol table; version records are 16 bytes.
TEST(BuildInfo, ShippedArraysAreExactlyTheirTexts) {
  std::map<std::string, unsigned long> sizes;
  FILE* nm = popen("nm -D -S --defined-only '" CSSUPPORT_LIBRARY_FILE "'", "r");
  char line[512], size[64], name[256];
  while (nm != nullptr && std::fgets(line, sizeof line, nm) != nullptr)
    if (std::sscanf(line, "%*s %63s %*s %255s", size, name) == 2)
      sizes[name] = std::stoul(size, nullptr, 16);
  if (nm != nullptr) pclose(nm);
#define TEXT_(name) EXPECT_EQ(sizes[#name], std::strlen(name) + 1) << #name;
#define RECORD_(name) EXPECT_EQ(sizes[#name], 16u) << #name;
  CSSUPPORT_BUILD_TEXTS(TEXT_)
  RECORD_(gProductVersion)
  CSSUPPORT_SIBLING_VERSIONS(RECORD_)
}

// The list is written by hand; the data source defines the texts.
TEST(BuildInfo, TextListNamesEveryTextTheDataSourceDefines) {
  std::ifstream in(CSSUPPORT_SOURCE_DIR
                   "/cssupport/buildinfo/build_data.cc.in");
  const std::string source{std::istreambuf_iterator<char>(in), {}};
  const std::regex text(R"(const char (\w+)\[\] =)");
  std::vector<std::string> defined, listed;
  for (std::sregex_iterator it(source.begin(), source.end(), text), end;
       it != end; ++it)
    defined.push_back((*it)[1]);
#define NAME_(name) listed.push_back(#name);
  CSSUPPORT_BUILD_TEXTS(NAME_)
  EXPECT_EQ(listed, defined);
}

}  // namespace
