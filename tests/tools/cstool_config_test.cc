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

namespace {

namespace fs = std::filesystem;
using cssupport_test::ToJson;

const std::string kData = CSSUPPORT_SOURCE_DIR "/tests/data/";
const std::string kSchema = kData + "host_config.schema.json";
const std::string kConfig = kData + "host_config.json";
const std::string kBad = kData + "bad_config.json";
const std::string kAdded = "fill-ids: added 10 identifiers\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// `text` must be host_config.json with ten distinct UUIDs appended as the last
// members of their objects; returns its compact form.
std::string ExpectFilled(const std::string& text) {
  rapidjson::Document input, output;
  cssupport_test::ParseInto(ReadFile(kConfig), input);
  cssupport_test::ParseInto(text, output);
  static const std::regex kNewId(
      R"re(,?"cs_generated_id":"([0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12})"(?=\}))re");
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

  // Runs cstool on a 256 KiB stack, where nothing may recurse per nesting
  // level; its standard output and error end up in out_ and err_.
  int Run(const std::vector<std::string>& args) {
    std::string command = "ulimit -s 256; '" CSTOOL_PATH "'";
    for (const auto& arg : args) command += " '" + arg + "'";
    const int raw = std::system(
        (command + " >'" + root_ + ".out' 2>'" + root_ + ".err'").c_str());
    out_ = ReadFile(root_ + ".out");
    err_ = ReadFile(root_ + ".err");
    fs::remove(root_ + ".out"), fs::remove(root_ + ".err");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  std::string root_ = testing::TempDir() + "cstool_config_XXXXXX", out_, err_;
};

TEST_F(CstoolTest, FillIdsAddsTheMissingIdentifiers) {
  EXPECT_EQ(Run({"fill-ids", "--schema", kSchema, kConfig}), 0);
  EXPECT_EQ(err_, kAdded);
  EXPECT_EQ(out_, ExpectFilled(out_) + "\n");  // compact, on one line

  const std::string config = root_ + "/host.json";
  fs::copy_file(kConfig, config);
  ASSERT_EQ(::chmod(config.c_str(), 0640), 0);
  const bool root = ::chown(config.c_str(), 4321, 4322) == 0;
  EXPECT_EQ(
      Run({"fill-ids", "--schema", kSchema, config, "--in-place", "--pretty"}),
      0);
  EXPECT_EQ(out_ + "|" + err_, "|" + kAdded);
  const std::string text = ReadFile(config);
  EXPECT_NE(text.find("\n  \"network\": {\n"), std::string::npos) << text;
  ExpectFilled(text);
  // No temporary file left behind; the owner, group and permissions kept.
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), {}), 1);
  struct stat st;
  ASSERT_EQ(::stat(config.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(!root || (st.st_uid == 4321 && st.st_gid == 4322));

  const std::string deep =
      "{\"a\":" + std::string(200000, '[') + std::string(200000, ']') + "}";
  std::ofstream(config) << deep;
  EXPECT_EQ(Run({"fill-ids", "--schema", kSchema, config}), 0);
  EXPECT_EQ(out_, deep + "\n");
  EXPECT_EQ(Run({"upgrade-ctx", "/usr/lib/postLoadStore/libx.so"}), 0);
  EXPECT_EQ(out_, "2\n");
  EXPECT_EQ(Run({"upgrade-ctx", "/usr/lib/libpostLoadStore.so"}), 0);
  EXPECT_EQ(out_, "1\n");
}

TEST_F(CstoolTest, FillIdsRefusesBadInputAndWritesNothing) {
  const std::string copy = root_ + "/bad.json", deep = root_ + "/deep.json";
  fs::copy_file(kBad, copy);
  std::ofstream(deep) << std::string(100000, '[');
  const std::string kBadJson =
      ": invalid JSON: Missing a name for object member (at byte offset 98)\n";
  const std::pair<std::vector<std::string>, std::string> kRuns[] = {
      {{"fill-ids", "--schema", kBad, kConfig}, kBad + kBadJson},
      {{"fill-ids", "--schema", kSchema, copy, "--in-place"}, copy + kBadJson},
      {{"fill-ids", "--schema", kSchema, deep, "--in-place"},
       deep + ": invalid JSON: Invalid value (at byte offset 100000)\n"},
      {{"fill-ids", "--schema", kSchema, "/dev/null", "--in-place"},
       "/dev/null: --in-place needs a regular file\n"},
  };
  for (const auto& [args, err] : kRuns) {
    EXPECT_EQ(Run(args), 2);
    EXPECT_EQ(out_ + "|" + err_, "|cstool: " + err);
  }
  EXPECT_EQ(ReadFile(copy), ReadFile(kBad));
  EXPECT_EQ(ReadFile(deep), std::string(100000, '['));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), {}), 2);
}

}  // namespace
