#include "cssupport/config/generated_id.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <utility>
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
  static const std::regex kMark(R"(\$(\d+))"), kMarkOut(R"(,?\$\d+)"),
      kAdded(R"(,?"cs_generated_id":"uuid-\d+")");
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
    // Nothing but the identifiers changed.
    EXPECT_EQ(std::regex_replace(ToJson(config), kAdded, ""), ToJson(original));
    hostrt_recording::Reset();
    PopulateGeneratedInstanceId(schema, config);
    EXPECT_EQ(ToJson(config), ToJson(want));
    EXPECT_TRUE(hostrt_recording::Calls().empty());
  }
}

const std::string kMarked = R"({"properties":{"cs_generated_id":{}}})";
const std::string kItemsMarked = R"({"items":)" + kMarked + "}";

TEST(GeneratedIdTest, Walks) {
  const std::pair<std::string, std::string> kCases[] = {
      // Pre-order through properties/items/properties: an object's own
      // identifier is appended last before its members are visited.
      {R"({"properties":{"cs_generated_id":{},"hosts":{"items":{"properties":{
           "cs_generated_id":{},"nics":{"items":)" +
           kMarked + "}}}}}}",
       R"({"hosts":[{"nics":[{$3},{$4}],$2},{"nics":[{"a":1,$6}],$5},
                    {"cs_generated_id":2}],$1})"},
      // A present member blocks whatever its type.
      {kItemsMarked, R"([{"cs_generated_id":"k","a":1},{"cs_generated_id":""},
           {"cs_generated_id":null},{"cs_generated_id":0},
           {"cs_generated_id":false},{"cs_generated_id":{}},
           {"cs_generated_id":[]}])"},
      // Names compare exactly, in the configuration and in the schema.
      {kMarked,
       R"({"CS_Generated_Id":1,"cs_generated_id\u0000":2,"cs_gen":3,$1})"},
      {R"({"properties":{"CS_GENERATED_ID":{},"cs_generated_id\u0000":{},
                         "cs_generated_i":{}}})",
       "{}"},
      {R"({"properties":{"cs_generated_id":null}})", "{$1}"},
      // Where the schema stops, the walk stops.
      {R"({"type":"object","child":)" + kMarked + "}", R"({"child":{}})"},
      {kMarked, "[{}]"},
      {kItemsMarked, R"({"a":{}})"},
      {R"({"properties":{"listed":)" + kMarked + "}}",
       R"({"extra":{"listed":{}},"more":[{"listed":{}}],"listed":{$1}})"},
      {kItemsMarked, R"([{$1},1,"s",null,true,[{}],{"a":1,$2}])"},
      {R"({"items":)" + kItemsMarked + "}", "[[{$1}],[{$2},{$3}],{}]"},
      // Duplicates: the schema's first member counts; the configuration's
      // are each visited.
      {R"({"properties":{"child":)" + kMarked + R"(,"child":{}}})",
       R"({"child":{$1},"child":{$2}})"},
  };
  for (const auto& [schema, expected] : kCases) ExpectWalk(schema, expected);
}

// Random pairs (fixed seed); the generator reads the walk's rules on its own.
constexpr char kId[] = "cs_generated_id";
const char* const kNames[] = {kId, "CS_generated_id", "cs_generated_i", "a",
                              "b"};
// Scalars, then a schema node that is an array.
const char* const kLeaves[] = {"null", "true", "7", R"("cs_generated_id")",
                               R"([{"properties":{"cs_generated_id":{}}}])"};

// The first member named `name` of an object `value` (if `object_only`, an
// object member), else null.
const Value* First(const Value* value, const char* name,
                   bool object_only = false) {
  if (value == nullptr || !value->IsObject()) return nullptr;
  for (const auto& m : value->GetObject()) {
    if (std::strcmp(m.name.GetString(), name) == 0) {
      return object_only && !m.value.IsObject() ? nullptr : &m.value;
    }
  }
  return nullptr;
}

std::string Close(std::string text, char bracket) {
  if (text.back() == ',') text.pop_back();
  return text + bracket;
}

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
  // the walk does not reach), in ExpectWalk's notation.
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

TEST(GeneratedIdTest, RandomPairs) {
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
  schema_text += kMarked;
  config_text += "{}";
  for (int i = 1; i < kObjects; ++i) {
    schema_text += "}}}";
    config_text += ",{}]}";
  }
  rapidjson::Document docs[2];
  docs[0].Parse<rapidjson::kParseIterativeFlag>(schema_text.c_str());
  docs[1].Parse<rapidjson::kParseIterativeFlag>(config_text.c_str());
  ASSERT_FALSE(docs[0].HasParseError() || docs[1].HasParseError());
  hostrt_recording::Reset();
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 << 10);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* d) -> void* {
                  auto* docs = static_cast<rapidjson::Document*>(d);
                  PopulateGeneratedInstanceId(docs[0], docs[1]);
                  return nullptr;
                },
                docs),
            0);
  pthread_join(thread, nullptr);
  auto id_of = [](const Value& object) -> std::string {
    const auto last = object.MemberEnd() - 1;
    return object.MemberCount() > 0 && last->name == kId
               ? last->value.GetString()
               : "";
  };
  std::vector<std::string> got, want;
  for (const Value* object = &docs[1];;) {
    got.push_back(id_of(*object));
    const auto c = object->FindMember("c");
    if (c == object->MemberEnd()) break;
    got.push_back(id_of(c->value[1]));
    object = &c->value[0];
  }
  for (int i = 1; i < kObjects; ++i) {
    want.push_back("uuid-" + std::to_string(i));
    want.push_back("uuid-" + std::to_string(2 * kObjects - i));
  }
  want.push_back("uuid-" + std::to_string(kObjects));
  EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace KoraConfigStore
