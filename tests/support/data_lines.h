// The expected data of tests/data/, read once per test.
#ifndef CSSUPPORT_TESTS_SUPPORT_DATA_LINES_H_
#define CSSUPPORT_TESTS_SUPPORT_DATA_LINES_H_

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace cssupport_test {

// The lines of tests/data/`name`; fails the current test when it is missing.
inline std::vector<std::string> DataLines(const std::string& name) {
  std::ifstream in(CSSUPPORT_SOURCE_DIR "/tests/data/" + name);
  EXPECT_TRUE(in.good()) << name;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace cssupport_test

#endif  // CSSUPPORT_TESTS_SUPPORT_DATA_LINES_H_
