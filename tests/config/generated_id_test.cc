#include "cssupport/config/generated_id.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cssupport/hostrt/recording/recording_host.h"
#include "json_text.h"

namespace KoraConfigStore {
namespace {

using cssupport_test::ParseInto;
using cssupport_test::SameTree;
using cssupport_test::ToJson;

// Every recorded host call must be a UUID_CreateRandom: the walk logs nothing.
size_t UuidCallsOnly() {
  const auto calls = hostrt_recording::Calls();
  for (const auto& call : calls) {
    EXPECT_EQ(call, (hostrt_recording::Call{"UUID_CreateRandom", {}}));
  }
  return calls.size();
}

struct WalkCase {
  const char* name;
  const char* schema;
  const char* config;
  const char* expected;  // after one walk; "uuid-N" in call order
};

class WalkTest : public testing::TestWithParam<WalkCase> {
 protected:
  void SetUp() override { hostrt_recording::Reset(); }
};

constexpr char kMarked[] = R"({"properties":{"cs_generated_id":{}}})";

const WalkCase kWalkCases[] = {
    {"EmptyObjectGainsOnlyTheId", kMarked, "{}",
     R"({"cs_generated_id":"uuid-1"})"},
    {"IdIsAppendedLast", kMarked, R"({"name":"a","mtu":9000})",
     R"({"name":"a","mtu":9000,"cs_generated_id":"uuid-1"})"},
    {"PresentStringBlocks", kMarked, R"({"cs_generated_id":"kept"})",
     R"({"cs_generated_id":"kept"})"},
    {"PresentEmptyStringBlocks", kMarked, R"({"cs_generated_id":""})",
     R"({"cs_generated_id":""})"},
    {"PresentNullBlocks", kMarked, R"({"a":1,"cs_generated_id":null})",
     R"({"a":1,"cs_generated_id":null})"},
    {"PresentNumberBlocks", kMarked, R"({"cs_generated_id":0})",
     R"({"cs_generated_id":0})"},
    {"PresentObjectBlocks", kMarked, R"({"cs_generated_id":{}})",
     R"({"cs_generated_id":{}})"},
    // Names are compared by length and bytes.
    {"CaseVariantOfMemberIsNotPresent", kMarked, R"({"CS_Generated_Id":"x"})",
     R"({"CS_Generated_Id":"x","cs_generated_id":"uuid-1"})"},
    {"MemberWithEmbeddedNulIsNotPresent", kMarked,
     R"({"cs_generated_id\u0000":"x"})",
     R"({"cs_generated_id\u0000":"x","cs_generated_id":"uuid-1"})"},
    {"CaseVariantOfPropertyIsNoMarker",
     R"({"properties":{"CS_GENERATED_ID":{}}})", "{}", "{}"},
    {"PropertyWithEmbeddedNulIsNoMarker",
     R"({"properties":{"cs_generated_id\u0000":{}}})", "{}", "{}"},
    {"MarkerValueIsNotInspected", R"({"properties":{"cs_generated_id":null}})",
     "{}", R"({"cs_generated_id":"uuid-1"})"},
    // Where the schema stops, the walk stops.
    {"NoPropertiesStopsEvenAboveMarkedSchemas",
     R"({"type":"object","child":{"properties":{"cs_generated_id":{}}}})",
     R"({"child":{}})", R"({"child":{}})"},
    {"ArrayAgainstPropertiesWithoutItems", kMarked, "[{}]", "[{}]"},
    {"ObjectAgainstItemsWithoutProperties",
     R"({"items":{"properties":{"cs_generated_id":{}}}})", R"({"a":{}})",
     R"({"a":{}})"},
    {"OnlyTheMarkedNestedObjectGains",
     R"({"properties":{"child":{"properties":{"cs_generated_id":{}}},
                       "other":{}}})",
     R"({"child":{"a":1},"other":{}})",
     R"({"child":{"a":1,"cs_generated_id":"uuid-1"},"other":{}})"},
    {"PreOrderOuterBeforeInner",
     R"({"properties":{"cs_generated_id":{},
                       "child":{"properties":{"cs_generated_id":{}}}}})",
     R"({"child":{}})",
     R"({"child":{"cs_generated_id":"uuid-2"},"cs_generated_id":"uuid-1"})"},
    {"UnlistedMembersAreNeverVisited",
     R"({"properties":{"listed":{"properties":{"cs_generated_id":{}}}}})",
     R"({"extra":{"listed":{}},"more":[{"listed":{}}],"listed":{}})",
     R"({"extra":{"listed":{}},"more":[{"listed":{}}],
         "listed":{"cs_generated_id":"uuid-1"}})"},
    {"EveryObjectElementGainsItsOwnId",
     R"({"items":{"properties":{"cs_generated_id":{}}}})",
     R"([{},1,"s",null,true,{"cs_generated_id":"keep"},[{}],{"a":1}])",
     R"([{"cs_generated_id":"uuid-1"},1,"s",null,true,
         {"cs_generated_id":"keep"},[{}],{"a":1,"cs_generated_id":"uuid-2"}])"},
    {"PropertiesUnderItemsUnderProperties",
     R"({"properties":{"hosts":{"items":{"properties":{
          "cs_generated_id":{},
          "nics":{"items":{"properties":{"cs_generated_id":{}}}}}}}}})",
     R"({"hosts":[{"nics":[{},{}]},{"nics":[{"mac":"x"}]}]})",
     R"({"hosts":[
          {"nics":[{"cs_generated_id":"uuid-2"},{"cs_generated_id":"uuid-3"}],
           "cs_generated_id":"uuid-1"},
          {"nics":[{"mac":"x","cs_generated_id":"uuid-5"}],
           "cs_generated_id":"uuid-4"}]})"},
    {"ArraysOfArrays",
     R"({"items":{"items":{"properties":{"cs_generated_id":{}}}}})",
     R"([[{}],[{},{}],{}])",
     R"([[{"cs_generated_id":"uuid-1"}],
         [{"cs_generated_id":"uuid-2"},{"cs_generated_id":"uuid-3"}],{}])"},
    // A present identifier member is still visited with its own sub-schema.
    {"PresentIdMemberIsWalkedWithItsSchema",
     R"({"properties":{"cs_generated_id":{"properties":{"cs_generated_id":{}}}}})",
     R"({"cs_generated_id":{}})",
     R"({"cs_generated_id":{"cs_generated_id":"uuid-1"}})"},
    // The first member of a name is the one used.
    {"FirstDuplicatePropertyWins",
     R"({"properties":{"child":{"properties":{"cs_generated_id":{}}},
                       "child":{}}})",
     R"({"child":{}})", R"({"child":{"cs_generated_id":"uuid-1"}})"},
    {"FirstDuplicatePropertiesKeywordWins",
     R"({"properties":{},"properties":{"cs_generated_id":{}}})", "{}", "{}"},
    {"FirstDuplicateItemsKeywordWins",
     R"({"items":{},"items":{"properties":{"cs_generated_id":{}}}})", "[{}]",
     "[{}]"},
    {"DuplicateConfigMembersAreEachVisited",
     R"({"properties":{"child":{"properties":{"cs_generated_id":{}}}}})",
     R"({"child":{},"child":{}})",
     R"({"child":{"cs_generated_id":"uuid-1"},
         "child":{"cs_generated_id":"uuid-2"}})"},
};

TEST_P(WalkTest, MatchesExpectedDocument) {
  const WalkCase& c = GetParam();
  rapidjson::Document schema, config, expected;
  ParseInto(c.schema, schema);
  ParseInto(c.config, config);
  ParseInto(c.expected, expected);
  size_t expected_ids = 0;
  for (const char* p = c.expected; (p = std::strstr(p, "\"uuid-")) != nullptr;
       ++p) {
    ++expected_ids;
  }

  PopulateGeneratedInstanceId(schema, config);

  EXPECT_TRUE(SameTree(config, expected))
      << "got      " << ToJson(config) << "\nexpected " << ToJson(expected);
  EXPECT_EQ(UuidCallsOnly(), expected_ids);

  // A second walk finds every identifier in place.
  hostrt_recording::Reset();
  PopulateGeneratedInstanceId(schema, config);
  EXPECT_TRUE(SameTree(config, expected)) << ToJson(config);
  EXPECT_EQ(UuidCallsOnly(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, WalkTest, testing::ValuesIn(kWalkCases),
                         [](const auto& info) { return info.param.name; });

// Schema nodes consulted as objects that are not objects count as objects
// without members, whatever their type.
TEST(WalkSchemaNodeTypesTest, NonObjectNodesStopTheWalkQuietly) {
  const char* const kNodes[] = {
      "null",
      "true",
      "false",
      "0",
      "-1.5",
      "18446744073709551615",
      R"("cs_generated_id")",
      "[]",
      R"(["cs_generated_id"])",
      R"([{"properties":{"cs_generated_id":{}}}])",
  };
  // Each template puts the node where the walk reads an object, above a
  // configuration that would gain identifiers if the node were an object
  // listing "cs_generated_id" or "child".
  const struct {
    const char* schema_template;  // "@" is replaced by the node
    const char* config;
  } kPlaces[] = {
      {"@", R"({"child":{}})"},
      {"@", "[{}]"},
      {R"({"properties":@})", R"({"child":{},"cs_generated_id":{}})"},
      {R"({"properties":{"child":@}})", R"({"child":{"x":{}}})"},
      {R"({"properties":{"child":@}})", R"({"child":[{}]})"},
      {R"({"items":@})", R"([{},[{}]])"},
      {R"({"items":{"items":@}})", R"([[{}],[[{}]]])"},
  };
  for (const char* node : kNodes) {
    for (const auto& place : kPlaces) {
      std::string schema_text = place.schema_template;
      schema_text.replace(schema_text.find('@'), 1, node);
      SCOPED_TRACE(schema_text + " over " + place.config);
      rapidjson::Document schema, config, original;
      ParseInto(schema_text, schema);
      ParseInto(place.config, config);
      ParseInto(place.config, original);
      hostrt_recording::Reset();

      EXPECT_NO_THROW(PopulateGeneratedInstanceId(schema, config));
      EXPECT_TRUE(SameTree(config, original)) << ToJson(config);
      EXPECT_EQ(UuidCallsOnly(), 0u);
    }
  }
}

constexpr char kHostSchema[] = R"({"properties":{
    "cs_generated_id":{},
    "hosts":{"items":{"properties":{
        "cs_generated_id":{},
        "nics":{"items":{"properties":{"cs_generated_id":{}}}}}}}}})";
constexpr char kHostConfig[] =
    R"({"hosts":[{"nics":[{},{}]},{"nics":[]},{"cs_generated_id":"h"}]})";

TEST(WalkOverloadsTest, DocumentAndValueFormsAgree) {
  rapidjson::Document schema, by_document, by_value;
  ParseInto(kHostSchema, schema);
  ParseInto(kHostConfig, by_document);
  ParseInto(kHostConfig, by_value);

  hostrt_recording::Reset();
  PopulateGeneratedInstanceId(schema, by_document);
  const size_t document_calls = UuidCallsOnly();
  hostrt_recording::Reset();
  PopulateGeneratedInstanceId(schema, by_value, by_value.GetAllocator());
  const size_t value_calls = UuidCallsOnly();

  EXPECT_EQ(document_calls, 5u);
  EXPECT_EQ(value_calls, document_calls);
  EXPECT_TRUE(SameTree(by_document, by_value)) << ToJson(by_document) << "\n"
                                               << ToJson(by_value);
  EXPECT_STREQ(by_value["cs_generated_id"].GetString(), "uuid-1");
  EXPECT_STREQ(by_value["hosts"][0]["nics"][1]["cs_generated_id"].GetString(),
               "uuid-4");
}

TEST(WalkOverloadsTest, WalksASubValueWithItsSubSchema) {
  rapidjson::Document schema, config;
  ParseInto(kHostSchema, schema);
  ParseInto(kHostConfig, config);
  hostrt_recording::Reset();

  PopulateGeneratedInstanceId(schema["properties"]["hosts"], config["hosts"],
                              config.GetAllocator());

  EXPECT_EQ(UuidCallsOnly(), 4u);
  EXPECT_FALSE(config.HasMember("cs_generated_id"));
  EXPECT_STREQ(config["hosts"][0]["cs_generated_id"].GetString(), "uuid-1");
  EXPECT_STREQ(config["hosts"][2]["cs_generated_id"].GetString(), "h");
}

}  // namespace
}  // namespace KoraConfigStore
