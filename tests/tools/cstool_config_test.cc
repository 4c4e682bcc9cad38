// cstool fill-ids and upgrade-ctx, run as a separate process on the files in
// tests/data/.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../config/json_text.h"
#include "cssupport/errors/json.h"

namespace {

namespace fs = std::filesystem;
using cssupport_test::ParseInto;
using cssupport_test::SameTree;
using cssupport_test::ToJson;
using rapidjson::Document;
using rapidjson::Value;

const std::string kDataDir = CSSUPPORT_SOURCE_DIR "/tests/data/";
const std::string kSchema = kDataDir + "host_config.schema.json";
const std::string kConfig = kDataDir + "host_config.json";
const std::string kBadConfig = kDataDir + "bad_config.json";

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Quote(const std::string& arg) { return "'" + arg + "'"; }

class CstoolTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "cstool_config_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const {
    return (dir_ / name).string();
  }

  RunResult Cstool(const std::vector<std::string>& args) const {
    std::string command = Quote(CSTOOL_PATH);
    for (const auto& arg : args) command += " " + Quote(arg);
    const std::string out = Path(".stdout"), err = Path(".stderr");
    command += " >" + Quote(out) + " 2>" + Quote(err);
    RunResult run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    fs::remove(out);
    fs::remove(err);
    return run;
  }

  // Files the test created plus whatever cstool left behind.
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  fs::path dir_;
};

bool IsUuidText(const Value& value) {
  if (!value.IsString() || value.GetStringLength() != 36) return false;
  const char* s = value.GetString();
  for (int i = 0; i < 36; ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? s[i] != '-'
             : !(std::isdigit(static_cast<unsigned char>(s[i])) ||
                 (s[i] >= 'a' && s[i] <= 'f'))) {
      return false;
    }
  }
  return true;
}

// Removes the identifiers that `input` does not have, checking each is a
// fresh UUID text; returns how many.
size_t StripNewIds(Value& output, const Value& input,
                   std::set<std::string>& seen) {
  static const Value kAbsent;
  size_t removed = 0;
  if (output.IsObject()) {
    auto id = output.FindMember("cs_generated_id");
    if (id != output.MemberEnd() &&
        !(input.IsObject() && input.HasMember("cs_generated_id"))) {
      EXPECT_EQ(id + 1, output.MemberEnd()) << "identifier not appended last";
      EXPECT_TRUE(IsUuidText(id->value)) << ToJson(id->value);
      EXPECT_TRUE(seen.insert(id->value.GetString()).second);
      output.EraseMember(id);
      ++removed;
    }
    for (auto& m : output.GetObject()) {
      const bool paired = input.IsObject() && input.HasMember(m.name);
      removed += StripNewIds(m.value, paired ? input[m.name] : kAbsent, seen);
    }
  } else if (output.IsArray()) {
    for (rapidjson::SizeType i = 0; i < output.Size(); ++i) {
      const bool paired = input.IsArray() && i < input.Size();
      removed += StripNewIds(output[i], paired ? input[i] : kAbsent, seen);
    }
  }
  return removed;
}

// `output_text` must be host_config.json plus new identifiers, as many as
// `stderr_text` reports, and at least one.
void ExpectFilled(const std::string& output_text,
                  const std::string& stderr_text) {
  Document input, output;
  ParseInto(ReadFile(kConfig), input);
  ParseInto(output_text, output);
  std::set<std::string> seen;
  const size_t added = StripNewIds(output, input, seen);
  EXPECT_GT(added, 0u);
  EXPECT_EQ(stderr_text,
            "fill-ids: added " + std::to_string(added) + " identifiers\n");
  EXPECT_TRUE(SameTree(output, input)) << ToJson(output);
}

TEST_F(CstoolTest, FillIdsWritesTheCompletedDocumentToStdout) {
  const RunResult run = Cstool({"fill-ids", "--schema", kSchema, kConfig});
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectFilled(run.out, run.err);
  // Compact output, one line.
  EXPECT_EQ(run.out.find('\n'), run.out.size() - 1);
}

TEST_F(CstoolTest, FillIdsIsIdempotent) {
  const RunResult first = Cstool({"fill-ids", "--schema", kSchema, kConfig});
  ASSERT_EQ(first.status, 0) << first.err;
  WriteFile(Path("filled.json"), first.out);

  const RunResult second =
      Cstool({"fill-ids", "--schema", kSchema, Path("filled.json")});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(second.err, "fill-ids: added 0 identifiers\n");
}

TEST_F(CstoolTest, FillIdsPrettyToOutputFile) {
  const std::string out = Path("out.json");
  const RunResult run =
      Cstool({"fill-ids", "--schema", kSchema, kConfig, "--pretty", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string text = ReadFile(out);
  EXPECT_NE(text.find("\n  \"network\": {\n"), std::string::npos) << text;
  ExpectFilled(text, run.err);
  EXPECT_EQ(Listing(), std::set<std::string>{"out.json"});
}

TEST_F(CstoolTest, FillIdsInPlaceReplacesTheFileWhole) {
  const std::string config = Path("host.json");
  WriteFile(config, ReadFile(kConfig));
  ASSERT_EQ(::chmod(config.c_str(), 0640), 0);

  const RunResult run =
      Cstool({"fill-ids", "--schema", kSchema, config, "--in-place"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  ExpectFilled(ReadFile(config), run.err);
  // No temporary file left behind, permissions kept.
  EXPECT_EQ(Listing(), std::set<std::string>{"host.json"});
  struct stat st;
  ASSERT_EQ(::stat(config.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(CstoolTest, FillIdsRefusesBadJsonAndWritesNothing) {
  rapidjson::Document expected;
  const std::string bad_text = ReadFile(kBadConfig);
  expected.Parse(bad_text.c_str());
  ASSERT_TRUE(expected.HasParseError());
  std::string reason = rapidjson::GetParseError_En(expected.GetParseError());
  reason.pop_back();  // the final full stop
  reason +=
      " (at byte offset " + std::to_string(expected.GetErrorOffset()) + ")";

  const std::string copy = Path("bad.json");
  WriteFile(copy, bad_text);
  const struct {
    std::vector<std::string> args;
    std::string named;
  } kRuns[] = {
      {{"fill-ids", "--schema", kSchema, kBadConfig}, kBadConfig},
      {{"fill-ids", "--schema", kBadConfig, kConfig}, kBadConfig},
      {{"fill-ids", "--schema", kSchema, kBadConfig, "-o", Path("out.json")},
       kBadConfig},
      {{"fill-ids", "--schema", kSchema, copy, "--in-place"}, copy},
  };
  for (const auto& r : kRuns) {
    SCOPED_TRACE(r.args.back());
    const RunResult run = Cstool(r.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(r.named + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(copy), bad_text);
  EXPECT_EQ(Listing(), std::set<std::string>{"bad.json"});
}

TEST_F(CstoolTest, FillIdsRefusesMissingAndEmptyFiles) {
  WriteFile(Path("empty.json"), "");
  WriteFile(Path("trailing.json"), std::string("{}\0{}", 5));
  const std::string kMissing = Path("missing.json");
  for (const std::string& config :
       {kMissing, Path("empty.json"), Path("trailing.json")}) {
    SCOPED_TRACE(config);
    const RunResult run = Cstool({"fill-ids", "--schema", kSchema, config});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("cstool: " + config + ": ", 0), 0u) << run.err;
  }
}

std::string Nested(int levels, const char* open, const char* close) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += open;
  for (int i = 0; i < levels; ++i) text += close;
  return text;
}

TEST_F(CstoolTest, FillIdsRefusesNestingDeeperThanAThousandLevels) {
  WriteFile(Path("arrays1000.json"), Nested(1000, "[", "]"));
  WriteFile(Path("arrays1001.json"), Nested(1001, "[", "]"));
  WriteFile(Path("objects1001.json"), Nested(1001, "{\"a\":", "}"));

  const RunResult at_limit =
      Cstool({"fill-ids", "--schema", kSchema, Path("arrays1000.json")});
  EXPECT_EQ(at_limit.status, 0) << at_limit.err;
  EXPECT_EQ(at_limit.out, Nested(1000, "[", "]") + "\n");

  for (const char* name : {"arrays1001.json", "objects1001.json"}) {
    const std::string path = Path(name);
    const std::string before = ReadFile(path);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"fill-ids", "--schema", kSchema, path, "--in-place"},
             {"fill-ids", "--schema", path, kConfig}}) {
      SCOPED_TRACE(args[3] + " " + args[2]);
      const RunResult run = Cstool(args);
      EXPECT_EQ(run.status, 2);
      EXPECT_EQ(run.out, "");
      EXPECT_NE(run.err.find(path + ": "), std::string::npos) << run.err;
      EXPECT_NE(run.err.find("nesting deeper than 1000 levels"),
                std::string::npos)
          << run.err;
    }
    EXPECT_EQ(ReadFile(path), before);
  }
}

TEST_F(CstoolTest, UpgradeCtxPrintsTheContextOfThePath) {
  const struct {
    const char* path;
    const char* printed;
  } kCases[] = {
      {"/usr/lib/postLoadStore/libx.so", "2\n"},
      {"/usr/lib/libpostLoadStore.so", "1\n"},
      {"relative/postLoadStoreOld/x.so", "2\n"},
      {"libx.so", "1\n"},
  };
  for (const auto& c : kCases) {
    const RunResult run = Cstool({"upgrade-ctx", c.path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.printed) << c.path;
  }
}

}  // namespace
