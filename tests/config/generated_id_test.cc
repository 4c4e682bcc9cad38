#include "cssupport/config/generated_id.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "hostrt/recording/recording_host.h"
#include "json_text.h"

namespace KoraConfigStore {
namespace {

using cssupport_test::ParseInto;
using cssupport_test::ToJson;
using rapidjson::Value;

// Walks `expected` without its "$N" ("cs_generated_id":"uuid-N") with each
// overload: the result must be `expected`, with one UUID_CreateRandom per
// identifier and no other host call; a second walk must add nothing.
void ExpectWalk(const std::string& schema_text, const std::string& expected) {
  SCOPED_TRACE(schema_text + " => " + expected);
  static const std::regex kMark(R"(\$(\d+))"), kMarkOut(R"(,?\$\d+)");
  rapidjson::Document schema, want, original;
  ParseInto(schema_text, schema);
  ParseInto(
      std::regex_replace(expected, kMark, R"("cs_generated_id":"uuid-$1")"),
      want);
  ParseInto(std::regex_replace(expected, kMarkOut, ""), original);
  const std::vector<hostrt_recording::Call> calls(
      std::count(expected.begin(), expected.end(), '$'),
      {"UUID_CreateRandom", {}});
  for (const bool whole : {true, false}) {
    rapidjson::Document config;
    config.CopyFrom(original, config.GetAllocator());
    hostrt_recording::Reset();
    whole ? PopulateGeneratedInstanceId(schema, config)
          : PopulateGeneratedInstanceId(schema, config, config.GetAllocator());
    EXPECT_EQ(ToJson(config), ToJson(want)) << "whole document: " << whole;
    EXPECT_EQ(hostrt_recording::Calls(), calls);
    hostrt_recording::Reset();
    PopulateGeneratedInstanceId(schema, config);
    EXPECT_EQ(ToJson(config), ToJson(want));
    EXPECT_TRUE(hostrt_recording::Calls().empty());
  }
}

constexpr char kId[] = "cs_generated_id";
const std::string kMarked = R"({"properties":{"cs_generated_id":{}}})";
// Names the walk must tell apart, and scalars, then a schema node that is an
// array.
const char* const kNames[] = {kId, "CS_generated_id", "cs_generated_i", "a",
                              "b"};
const char* const kLeaves[] = {"null", "true", "7", R"("cs_generated_id")",
                               R"([{"properties":{"cs_generated_id":{}}}])"};

// The first member named `name` of an object `value` (if `object_only`, an
// object member), else null.
const Value* First(const Value* value, const char* name,
                   bool object_only = false) {
  if (value == nullptr || !value->IsObject()) return nullptr;
  const auto m = value->FindMember(name);
  return m == value->MemberEnd() || (object_only && !m->value.IsObject())
             ? nullptr
             : &m->value;
}

std::string Close(std::string text, char bracket) {
  if (text.back() == ',') text.pop_back();
  return text + bracket;
}

// Random pairs (fixed seed); the generator reads the walk's rules on its own.
struct Generator {
  std::mt19937 rng{20260105u};
  int ids = 0, kept = 0;  // identifiers added in this pair, present overall
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

  std::string Schema(int depth) {
    if (depth == 0 || Pick(8) == 0) return kLeaves[Pick(5)];
    std::string s = R"({"type":"object")";
    if (Pick(5) != 0) {  // sometimes "properties" that is not an object
      std::string p = Pick(2) ? "{" : R"({"cs_generated_id":{},)";
      for (int i = Pick(4); i > 0; --i) {
        p += "\"" + std::string(kNames[Pick(5)]) + "\":" + Schema(depth - 1) +
             ",";
      }
      s += R"(,"properties":)" + (Pick(10) ? Close(p, '}') : kLeaves[Pick(5)]);
    }
    if (Pick(2) == 0) s += R"(,"items":)" + Schema(depth - 1);
    return s + "}";
  }

  // What the walk should make of a value generated for `schema` (null where
  // the walk does not reach), in ExpectWalk's notation; duplicate names and
  // present identifiers of any type come up.
  std::string Walked(const Value* schema, int depth) {
    const Value* properties = First(schema, "properties", true);
    int kind = depth == 0 ? 0 : Pick(4);  // leaf, object, array, as led
    if (kind == 3) kind = properties != nullptr ? 1 : 2;
    if (kind == 0) return kLeaves[Pick(4)];
    if (kind == 2) {
      std::string s = "[";
      for (int i = Pick(4); i > 0; --i) {
        s += Walked(First(schema, "items", true), depth - 1) + ",";
      }
      return Close(s, ']');
    }
    const bool marked = First(properties, kId) != nullptr, has = Pick(3) == 0;
    kept += marked && has;
    const std::string id = marked && !has ? "$" + std::to_string(++ids) : "";
    const int listed = properties != nullptr ? properties->MemberCount() : 0;
    std::string s = "{";
    for (int i = has ? -1 : 0, count = Pick(5); i < count; ++i) {
      const std::string name =  // a present identifier first, of any type;
          i < 0 ? kId           // then mostly listed names
          : listed > 0 && Pick(4) != 0
              ? properties->MemberBegin()[Pick(listed)].name.GetString()
              : kNames[Pick(5)];
      if (i >= 0 && name == kId) continue;
      s += "\"" + name +
           "\":" + Walked(First(properties, name.c_str()), depth - 1) + ",";
    }
    return Close(s + id, '}');
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

// Objects alternating with arrays 100,001 levels deep, each array holding the
// next object and a marked leaf; walked on a 256 KiB stack. Pre-order numbers
// the chain top-down, then the leaves bottom-up.
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
  hostrt_recording::Reset();
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 << 10);
  auto walk = [](void* d) -> void* {
    auto* docs = static_cast<rapidjson::Document*>(d);
    PopulateGeneratedInstanceId(docs[0], docs[1]);
    return nullptr;
  };
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, walk, docs), 0);
  pthread_join(thread, nullptr);
  auto id_of = [](const Value& object) -> std::string {
    const auto last = object.MemberEnd() - 1;
    return object.MemberCount() > 0 && last->name == kId
               ? last->value.GetString()
               : "";
  };
  const Value* object = &docs[1];
  for (int i = 1; i < kObjects; ++i, object = &(*object)["c"][0]) {
    ASSERT_EQ(id_of(*object), "uuid-" + std::to_string(i));
    ASSERT_EQ(id_of((*object)["c"][1]),
              "uuid-" + std::to_string(2 * kObjects - i));
  }
  EXPECT_EQ(id_of(*object), "uuid-" + std::to_string(kObjects));
}

}  // namespace
}  // namespace KoraConfigStore
