// The exported build data: the relations between the symbols, and that each
// text array in the shipped library is exactly its text plus the terminator.
#include "cssupport/buildinfo/build_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(BuildInfo, TextsAgreeWithEachOtherAndTheBuild) {
  const std::string number = gBuildNumberNumericString;
  EXPECT_EQ(number, CSSUPPORT_EXPECTED_BUILD_NUMBER);
  EXPECT_EQ(number, std::to_string(gBuildNumberNumeric));
  EXPECT_EQ(std::string(gBuildNumber), "build-" + number);
  EXPECT_EQ(std::string(gBuildVersion), std::string("Release") + gBuildNumber);
  EXPECT_EQ(
      std::string(gProductVersionString),
      std::string(CSSUPPORT_EXPECTED_PRODUCT_VERSION) + " " + gBuildNumber);
  EXPECT_EQ(std::string(gKoraReleaseVersionString),
            std::string(CSSUPPORT_EXPECTED_PRODUCT_VERSION) + "-" +
                CSSUPPORT_EXPECTED_RELEASE_SEQUENCE + "." + number);
}

TEST(BuildInfo, ReleaseVersionSplitsIntoProductVersionAndThreeNumbers) {
  const std::string release = gKoraReleaseVersionString;
  const auto dash = release.find('-');
  ASSERT_NE(dash, std::string::npos);
  EXPECT_EQ(std::string(gProductVersionString)
                .compare(0, dash + 1, release.substr(0, dash) + " "),
            0);
  const std::string tail = release.substr(dash + 1);
  int parts = 0;
  long last = -1;
  for (std::size_t start = 0; start <= tail.size();) {
    const std::size_t dot = std::min(tail.find('.', start), tail.size());
    const std::string part = tail.substr(start, dot - start);
    ASSERT_FALSE(part.empty()) << release;
    ASSERT_EQ(part.find_first_not_of("0123456789"), std::string::npos)
        << release;
    last = std::stol(part);
    ++parts;
    start = dot + 1;
  }
  EXPECT_EQ(parts, 3);
  EXPECT_EQ(last, gBuildNumberNumeric);
  EXPECT_TRUE(EndsWith(release, std::string(".") + gBuildNumberNumericString));
}

TEST(BuildInfo, ProductBuildIsZeroEverywhere) {
  EXPECT_STREQ(gProductBuildNumberNumericString, "0");
  EXPECT_STREQ(gProductBuildNumber, "product-build-0");
  EXPECT_EQ(gProductBuildNumberNumeric, 0);
  for (int32_t part : gProductVersion.part) EXPECT_EQ(part, 0);
}

TEST(BuildInfo, DeclaredArraysAreExactlyTheirText) {
  const struct {
    const char* name;
    const char* text;
    std::size_t size;
  } arrays[] = {
      {"gBuildNumberNumericString", gBuildNumberNumericString,
       sizeof gBuildNumberNumericString},
      {"gBuildNumber", gBuildNumber, sizeof gBuildNumber},
      {"gBuildVersion", gBuildVersion, sizeof gBuildVersion},
      {"gProductVersionString", gProductVersionString,
       sizeof gProductVersionString},
      {"gKoraReleaseVersionString", gKoraReleaseVersionString,
       sizeof gKoraReleaseVersionString},
      {"gProductBuildNumberNumericString", gProductBuildNumberNumericString,
       sizeof gProductBuildNumberNumericString},
      {"gProductBuildNumber", gProductBuildNumber, sizeof gProductBuildNumber},
  };
  for (const auto& a : arrays) {
    EXPECT_EQ(std::strlen(a.text) + 1, a.size) << a.name;
  }
}

// Reads the symbol sizes of the shipped library from its dynamic symbol table.
std::map<std::string, unsigned long> ExportedDataSizes() {
  std::map<std::string, unsigned long> sizes;
  const std::string command =
      std::string("nm -D -S --defined-only '") + CSSUPPORT_LIBRARY_FILE + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"),
                                             pclose);
  if (!pipe) return sizes;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get())) {
    char address[64], size[64], type[8], name[256];
    if (std::sscanf(line, "%63s %63s %7s %255s", address, size, type, name) ==
        4) {
      sizes[name] = std::strtoul(size, nullptr, 16);
    }
  }
  return sizes;
}

TEST(BuildInfo, ShippedSymbolsHaveTheDefaultBuildSizes) {
  const auto sizes = ExportedDataSizes();
  ASSERT_FALSE(sizes.empty())
      << "nm found no symbols in " << CSSUPPORT_LIBRARY_FILE;
  // Exact texts plus terminators; with the default configuration (an
  // eight-digit build number, a d.d.d product version, a d.dd sequence) these
  // are 9, 15, 22, 21, 20, 2 and 16 bytes.
  const std::map<std::string, std::size_t> expected = {
      {"gBuildNumberNumericString", std::strlen(gBuildNumberNumericString) + 1},
      {"gBuildNumber", std::strlen(gBuildNumber) + 1},
      {"gBuildVersion", std::strlen(gBuildVersion) + 1},
      {"gProductVersionString", std::strlen(gProductVersionString) + 1},
      {"gKoraReleaseVersionString", std::strlen(gKoraReleaseVersionString) + 1},
      {"gProductBuildNumberNumericString", 2},
      {"gProductBuildNumber", 16},
      {"gBuildNumberNumeric", 4},
      {"gProductBuildNumberNumeric", 4},
      {"gProductVersion", 16},
  };
  for (const auto& [name, size] : expected) {
    ASSERT_TRUE(sizes.count(name)) << name << " is not exported";
    EXPECT_EQ(sizes.at(name), size) << name;
  }
  if (std::strlen(gBuildNumberNumericString) == 8 &&
      std::strlen(CSSUPPORT_EXPECTED_PRODUCT_VERSION) == 5 &&
      std::strlen(CSSUPPORT_EXPECTED_RELEASE_SEQUENCE) == 4) {
    EXPECT_EQ(sizes.at("gBuildNumberNumericString"), 9u);
    EXPECT_EQ(sizes.at("gBuildNumber"), 15u);
    EXPECT_EQ(sizes.at("gBuildVersion"), 22u);
    EXPECT_EQ(sizes.at("gProductVersionString"), 21u);
    EXPECT_EQ(sizes.at("gKoraReleaseVersionString"), 20u);
  }
}

TEST(BuildInfo, SixSiblingRecordsAreExported) {
  const auto sizes = ExportedDataSizes();
  int count = 0;
#define CHECK_SIBLING_(name) \
  ++count;                   \
  EXPECT_EQ(sizes.count(#name) ? sizes.at(#name) : 0, 16u) << #name;
  CSSUPPORT_SIBLING_VERSIONS(CHECK_SIBLING_)
#undef CHECK_SIBLING_
  EXPECT_EQ(count, 6);
}

}  // namespace
