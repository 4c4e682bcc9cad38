// cstool fill-ids and upgrade-ctx, run as a separate process on tests/data/.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "../config/json_text.h"

#define DATA CSSUPPORT_SOURCE_DIR "/tests/data/"

namespace {

namespace fs = std::filesystem;
using namespace cssupport_test;

const std::string kFill = "fill-ids --schema " DATA "host_config.schema.json ";
const std::string kConfig = DATA "host_config.json",
                  kBad = DATA "bad_config.json";
const std::string kAdded = "fill-ids: added 10 identifiers\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// `text` is host_config.json plus ten distinct trailing v4 UUIDs; compacted.
std::string ExpectFilled(const std::string& text) {
  rapidjson::Document input, output;
  ParseInto(ReadFile(kConfig), input), ParseInto(text, output);
  static const std::regex kNewId(
      R"re(,?"cs_generated_id":"([0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12})"(?=\}))re");
  const std::string json = ToJson(output);
  const std::sregex_token_iterator id(json.begin(), json.end(), kNewId, 1), end;
  EXPECT_EQ(std::set<std::string>(id, end).size(), 10u) << json;
  EXPECT_EQ(std::regex_replace(json, kNewId, ""), ToJson(input));
  return json;
}

class CstoolTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(mkdtemp(root_.data()), nullptr); }
  void TearDown() override { fs::remove_all(root_); }

  // "status|out|err" of cstool on a 256 KiB stack: no recursion per level.
  std::string Run(const std::string& args) {
    const std::string cmd = "cd " + root_ + "; ulimit -s 256; " CSTOOL_PATH " ";
    const int raw = std::system((cmd + args + " >o 2>e").c_str());
    return std::to_string(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1) + "|" +
           (out_ = ReadFile(root_ + "/o")) + "|" + ReadFile(root_ + "/e");
  }

  std::string root_ = testing::TempDir() + "cstool_config_XXXXXX", out_;
};

TEST_F(CstoolTest, FillIdsAddsTheMissingIdentifiers) {
  const std::string config = root_ + "/host.json", run = Run(kFill + kConfig);
  EXPECT_EQ(run, "0|" + ExpectFilled(out_) + "\n|" + kAdded);  // compact
  fs::copy_file(kConfig, config);
  ASSERT_EQ(::chmod(config.c_str(), 0640), 0);
  const bool root = ::chown(config.c_str(), 4321, 4322) == 0;
  EXPECT_EQ(Run(kFill + config + " --in-place --pretty"), "0||" + kAdded);
  EXPECT_NE(ReadFile(config).find("\n  \"network\": {\n"), std::string::npos);
  ExpectFilled(ReadFile(config));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), {}), 3);  // no temp
  struct stat st;
  EXPECT_TRUE(::stat(config.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
  EXPECT_TRUE(!root || (st.st_uid == 4321 && st.st_gid == 4322));
  const std::string deep =
      "{\"a\":" + std::string(200000, '[') + std::string(200000, ']') + "}";
  std::ofstream(config) << deep;
  EXPECT_EQ(Run(kFill + config),
            "0|" + deep + "\n|fill-ids: added 0 identifiers\n");
  EXPECT_EQ(Run("upgrade-ctx /usr/lib/postLoadStore/libx.so"), "0|2\n|");
  EXPECT_EQ(Run("upgrade-ctx /usr/lib/libpostLoadStore.so"), "0|1\n|");
}

TEST_F(CstoolTest, FillIdsRefusesBadInputAndWritesNothing) {
  const std::string copy = root_ + "/bad.json", deep = root_ + "/deep.json";
  fs::copy_file(kBad, copy);
  std::ofstream(deep) << std::string(100000, '[');
  const std::string kBadJson =
      ": invalid JSON: Missing a name for object member (at byte offset 98)\n";
  const std::pair<std::string, std::string> kRuns[] = {
      {"fill-ids --schema " + kBad + " " + kConfig, kBad + kBadJson},
      {kFill + copy + " --in-place", copy + kBadJson},
      {kFill + deep + " --in-place",
       deep + ": invalid JSON: Invalid value (at byte offset 100000)\n"},
      {kFill + "/dev/null --in-place",
       "/dev/null: --in-place needs a regular file\n"},
  };
  for (const auto& [a, e] : kRuns) EXPECT_EQ(Run(a), "2||cstool: " + e);
  EXPECT_EQ(ReadFile(copy) + "|" + ReadFile(deep),
            ReadFile(kBad) + "|" + std::string(100000, '['));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), {}), 4);
}

}  // namespace
