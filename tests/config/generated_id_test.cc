#include "cssupport/config/generated_id.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "hostrt/recording/recording_host.h"
#include "tests/support/json_text.h"

namespace KoraConfigStore {
namespace {

using cssupport_test::ParseInto;
using cssupport_test::ToJson;
using rapidjson::Value;
namespace rec = hostrt_recording;

// Both overloads turn `expected` less its "$N" into `expected`, N host calls.
void ExpectWalk(const std::string& schema_text, const std::string& expected) {
  SCOPED_TRACE(schema_text + " => " + expected);
  static const std::regex kMark(R"(\$(\d+))"), kMarkOut(R"(,?\$\d+)");
  const std::vector<rec::Call> calls(
      std::count(expected.begin(), expected.end(), '$'),
      {"UUID_CreateRandom", {}});
  rapidjson::Document schema, config;
  ParseInto(schema_text, schema);
  for (const bool whole : {true, false}) {
    ParseInto(std::regex_replace(expected, kMarkOut, ""), config);
    rec::Reset();
    whole ? PopulateGeneratedInstanceId(schema, config)
          : PopulateGeneratedInstanceId(schema, config, config.GetAllocator());
    EXPECT_EQ(
        ToJson(config),
        std::regex_replace(expected, kMark, R"("cs_generated_id":"uuid-$1")"))
        << "whole document: " << whole;
    EXPECT_EQ(rec::Calls(), calls);
  }
}

constexpr char kId[] = "cs_generated_id";
const std::string kMarked = R"({"properties":{"cs_generated_id":{}}})";
// Names the walk must tell apart; scalars, then a schema node that is an array.
const char* const kNames[] = {kId, "CS_generated_id", "cs_generated_i", "a",
                              "b"};
const char* const kLeaves[] = {"null", "true", "7", R"("cs_generated_id")",
                               R"([{"properties":{"cs_generated_id":{}}}])"};

// The member `name` of `value`, if both exist and (`object`) it is an object.
const Value* First(const Value* value, const char* name, bool object = false) {
  if (value == nullptr || !value->IsObject()) return nullptr;
  const auto m = value->FindMember(name);
  if (m == value->MemberEnd() || (object && !m->value.IsObject()))
    return nullptr;
  return &m->value;
}

// `open`, the parts joined by commas, `close`.
std::string List(char open, const std::vector<std::string>& parts, char close) {
  std::string s(1, open);
  for (const std::string& part : parts) s += (s.size() > 1 ? "," : "") + part;
  return s + close;
}

// Random pairs (fixed seed); the generator reads the walk's rules on its own.
struct Generator {
  std::mt19937 rng{20260105u};
  int ids = 0, kept = 0;  // identifiers added in this pair, present overall
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

  std::string Schema(int depth) {
    if (depth == 0 || Pick(8) == 0) return kLeaves[Pick(5)];
    std::vector<std::string> p, s = {R"("type":"object")"};
    if (Pick(2) == 0) p.push_back(R"("cs_generated_id":{})");
    for (int i = Pick(4); i > 0; --i)
      p.push_back("\"" + std::string(kNames[Pick(5)]) +
                  "\":" + Schema(depth - 1));
    // Sometimes no "properties", or one that is not an object.
    if (Pick(5) != 0)
      s.push_back(R"("properties":)" +
                  (Pick(10) ? List('{', p, '}') : kLeaves[Pick(5)]));
    if (Pick(2) == 0) s.push_back(R"("items":)" + Schema(depth - 1));
    return List('{', s, '}');
  }

  // What the walk should make of a value generated for `schema` (null where
  // the walk does not reach), in ExpectWalk's notation; duplicate names and
  // present identifiers of any type come up.
  std::string Walked(const Value* schema, int depth) {
    const Value* properties = First(schema, "properties", true);
    int kind = depth == 0 ? 0 : Pick(4);  // leaf, object, array, as led
    if (kind == 3) kind = properties != nullptr ? 1 : 2;
    std::vector<std::string> parts;
    if (kind == 0) return kLeaves[Pick(4)];
    if (kind == 2) {
      for (int i = Pick(4); i > 0; --i)
        parts.push_back(Walked(First(schema, "items", true), depth - 1));
      return List('[', parts, ']');
    }
    const bool marked = First(properties, kId) != nullptr, has = Pick(3) == 0;
    kept += marked && has;
    const std::string id = "$" + std::to_string(marked && !has ? ++ids : 0);
    const int listed = properties != nullptr ? properties->MemberCount() : 0;
    for (int i = has ? -1 : 0, count = Pick(5); i < count; ++i) {
      const std::string name =  // a present identifier first, of any type;
          i < 0 ? kId           // then mostly listed names
          : listed > 0 && Pick(4) != 0
              ? properties->MemberBegin()[Pick(listed)].name.GetString()
              : kNames[Pick(5)];
      if (i < 0 || name != kId)
        parts.push_back("\"" + name + "\":" +
                        Walked(First(properties, name.c_str()), depth - 1));
    }
    if (id != "$0") parts.push_back(id);
    return List('{', parts, '}');
  }
};

TEST(GeneratedIdTest, Walks) {
  // Names compare exactly, in the configuration and in the schema.
  ExpectWalk(kMarked, R"({"cs_generated_id\u0000":2,$1})");
  ExpectWalk(R"({"properties":{"cs_generated_id\u0000":{}}})", "{}");
  Generator gen;
  int added = 0;
  for (int pair = 0; pair < 5000 && !testing::Test::HasFailure(); ++pair) {
    const std::string schema_text = gen.Schema(5);
    rapidjson::Document schema;
    ParseInto(schema_text, schema);
    gen.ids = 0;
    ExpectWalk(schema_text, gen.Walked(&schema, 6));
    added += gen.ids;
  }
  EXPECT_GT(added, 1000);  // enough of both outcomes to mean something
  EXPECT_GT(gen.kept, 500);
}

// 100,001 levels on a 256 KiB stack: the chain top-down, then leaves up.
TEST(GeneratedIdTest, DeepNestingOnASmallStack) {
  constexpr int kObjects = 50001;
  std::string schema_text, config_text;
  for (int i = 1; i < kObjects; ++i) {
    schema_text += R"({"properties":{"cs_generated_id":{},"c":{"items":)";
    config_text += R"({"c":[)";
  }
  schema_text += kMarked + std::string(3 * (kObjects - 1), '}');
  config_text += "{}";
  for (int i = 1; i < kObjects; ++i) config_text += ",{}]}";
  rapidjson::Document docs[2];
  docs[0].Parse<rapidjson::kParseIterativeFlag>(schema_text.c_str());
  docs[1].Parse<rapidjson::kParseIterativeFlag>(config_text.c_str());
  ASSERT_FALSE(docs[0].HasParseError() || docs[1].HasParseError());
  rec::Reset();
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 << 10);
  pthread_t thread;
  auto walk = [](void* d) -> void* {
    auto* docs = static_cast<rapidjson::Document*>(d);
    return PopulateGeneratedInstanceId(docs[0], docs[1]), nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, walk, docs), 0);
  pthread_join(thread, nullptr);
  auto id = [](const Value& v) { return std::string(v[kId].GetString()); };
  const Value* object = &docs[1];
  for (int i = 1; i < kObjects; ++i, object = &(*object)["c"][0]) {
    ASSERT_EQ(id(*object), "uuid-" + std::to_string(i));
    ASSERT_EQ(id((*object)["c"][1]),
              "uuid-" + std::to_string(2 * kObjects - i));
  }
  EXPECT_EQ(id(*object), "uuid-" + std::to_string(kObjects));
}

}  // namespace
}  // namespace KoraConfigStore
