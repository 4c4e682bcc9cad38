// Random schema/configuration pairs, generated with a fixed seed, checked
// against an independent reading of the walk's rules.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <string>

#include "cssupport/config/generated_id.h"
#include "cssupport/hostrt/recording/recording_host.h"
#include "json_text.h"

namespace KoraConfigStore {
namespace {

using cssupport_test::SameTree;
using cssupport_test::ToJson;
using rapidjson::Value;
using Allocator = rapidjson::Document::AllocatorType;

constexpr char kId[] = "cs_generated_id";
// Names the generator draws from: the marker, near misses of it, and a few
// ordinary names so that duplicates happen.
const char* const kNames[] = {
    "cs_generated_id", "CS_generated_id", "cs_generated_i", "a", "b", "list"};

bool NameIs(const Value& name, const char* text) {
  return name.GetStringLength() == std::strlen(text) &&
         std::memcmp(name.GetString(), text, name.GetStringLength()) == 0;
}

const Value* First(const Value& object, const char* name) {
  for (const auto& m : object.GetObject()) {
    if (NameIs(m.name, name)) return &m.value;
  }
  return nullptr;
}

const Value* First(const Value& object, const Value& name) {
  for (const auto& m : object.GetObject()) {
    if (SameTree(m.name, name)) return &m.value;
  }
  return nullptr;
}

class Generator {
 public:
  Generator(unsigned seed, Allocator& schema_alloc, Allocator& config_alloc)
      : rng_(seed), sa_(schema_alloc), ca_(config_alloc) {}

  Value Schema(int depth) {
    if (depth == 0 || Chance(10)) return NonObject(sa_);
    Value schema(rapidjson::kObjectType);
    if (Chance(20)) schema.AddMember("type", "object", sa_);
    if (Chance(75)) {
      Value properties(rapidjson::kObjectType);
      if (Chance(8)) {
        properties = NonObject(sa_);
      } else {
        const int count = Pick(4);
        for (int i = 0; i < count; ++i) {
          const char* name = kNames[Pick(std::size(kNames))];
          properties.AddMember(Value(name, sa_), Schema(depth - 1), sa_);
        }
        if (Chance(45)) properties.AddMember(kId, Schema(depth - 1), sa_);
      }
      schema.AddMember("properties", properties, sa_);
    }
    if (Chance(50)) schema.AddMember("items", Schema(depth - 1), sa_);
    return schema;
  }

  // A configuration that mostly follows `schema`, with noise: unlisted
  // members, values of the wrong type, present identifiers of any type.
  Value Config(const Value* schema, int depth) {
    if (depth == 0 || schema == nullptr || !schema->IsObject() || Chance(10)) {
      return Noise(depth);
    }
    const Value* properties = First(*schema, "properties");
    const Value* items = First(*schema, "items");
    const bool object =
        properties != nullptr && (items == nullptr || Chance(50));
    if (object) {
      Value config(rapidjson::kObjectType);
      bool has_id = false;
      if (properties->IsObject()) {
        for (const auto& p : properties->GetObject()) {
          if (NameIs(p.name, kId)) {
            if (has_id || Chance(70)) continue;
            has_id = true;
          } else if (Chance(25)) {
            continue;
          }
          config.AddMember(Value(p.name, ca_), Config(&p.value, depth - 1),
                           ca_);
        }
      }
      AddNoiseMembers(config, has_id, depth);
      return config;
    }
    if (items != nullptr) {
      Value config(rapidjson::kArrayType);
      const int count = Pick(5);
      for (int i = 0; i < count; ++i) {
        config.PushBack(Config(items, depth - 1), ca_);
      }
      return config;
    }
    return Noise(depth);
  }

 private:
  bool Chance(int percent) {
    return std::uniform_int_distribution<int>(0, 99)(rng_) < percent;
  }
  int Pick(size_t n) {
    return std::uniform_int_distribution<int>(0, static_cast<int>(n) - 1)(rng_);
  }

  Value NonObject(Allocator& a) {
    switch (Pick(6)) {
      case 0:
        return Value();
      case 1:
        return Value(Chance(50));
      case 2:
        return Value(Pick(100));
      case 3:
        return Value(kId, a);
      case 4: {
        Value array(rapidjson::kArrayType);
        Value marked(rapidjson::kObjectType);
        Value properties(rapidjson::kObjectType);
        properties.AddMember(kId, Value(rapidjson::kObjectType), a);
        marked.AddMember("properties", properties, a);
        array.PushBack(marked, a);
        return array;
      }
      default:
        return Value("text", a);
    }
  }

  // Unlisted or mismatched content, possibly shaped like marked objects.
  Value Noise(int depth) {
    if (depth <= 0) return NonObject(ca_);
    switch (Pick(4)) {
      case 0: {
        Value object(rapidjson::kObjectType);
        AddNoiseMembers(object, false, depth);
        return object;
      }
      case 1: {
        Value array(rapidjson::kArrayType);
        const int count = Pick(3);
        for (int i = 0; i < count; ++i) array.PushBack(Noise(depth - 1), ca_);
        return array;
      }
      default:
        return NonObject(ca_);
    }
  }

  void AddNoiseMembers(Value& object, bool has_id, int depth) {
    const int count = Pick(3);
    for (int i = 0; i < count; ++i) {
      const char* name = kNames[Pick(std::size(kNames))];
      if (std::strcmp(name, kId) == 0) {
        if (has_id) continue;
        has_id = true;
      }
      object.AddMember(Value(name, ca_), Noise(depth - 1), ca_);
    }
  }

  std::mt19937 rng_;
  Allocator& sa_;
  Allocator& ca_;
};

struct Tally {
  int next_id = 0;      // identifiers added so far, in walk order
  int preexisting = 0;  // reached marked objects that already had one
};

// Follows the schema through `after`, comparing with `before`: every marked
// object reached ends with exactly one identifier, and one it gained is its
// last member, numbered in pre-order. What the walk must not touch is left to
// the comparison with the identifiers stripped.
void Check(const Value* schema, const Value& before, const Value& after,
           const std::string& path, Tally& tally) {
  if (schema == nullptr || !schema->IsObject()) return;
  const Value* properties = First(*schema, "properties");
  const Value* items = First(*schema, "items");
  if (before.IsObject() && properties != nullptr && properties->IsObject()) {
    ASSERT_TRUE(after.IsObject()) << path;
    if (First(*properties, kId) != nullptr) {
      int ids = 0;
      for (const auto& m : after.GetObject()) ids += NameIs(m.name, kId);
      EXPECT_EQ(ids, 1) << path;
      if (First(before, kId) != nullptr) {
        ++tally.preexisting;
      } else {
        const auto& last = after.MemberEnd()[-1];
        const std::string expected = "uuid-" + std::to_string(++tally.next_id);
        EXPECT_TRUE(NameIs(last.name, kId) && last.value.IsString() &&
                    last.value.GetString() == expected)
            << path << ": " << ToJson(after) << " expected " << expected;
      }
    }
    // Members keep their order; the walk only appends.
    auto a = after.MemberBegin();
    for (auto b = before.MemberBegin(); b != before.MemberEnd(); ++a, ++b) {
      Check(First(*properties, b->name), b->value, a->value,
            path + "/" + b->name.GetString(), tally);
    }
  } else if (before.IsArray() && items != nullptr) {
    ASSERT_TRUE(after.IsArray() && after.Size() == before.Size()) << path;
    for (rapidjson::SizeType i = 0; i < before.Size(); ++i) {
      Check(items, before[i], after[i], path + "/" + std::to_string(i), tally);
    }
  }
}

// Drops every identifier the walk could have added (the double's texts).
void StripAdded(Value& value) {
  if (value.IsObject()) {
    for (auto m = value.MemberBegin(); m != value.MemberEnd();) {
      if (NameIs(m->name, kId) && m->value.IsString() &&
          std::strncmp(m->value.GetString(), "uuid-", 5) == 0) {
        m = value.EraseMember(m);
      } else {
        StripAdded(m->value);
        ++m;
      }
    }
  } else if (value.IsArray()) {
    for (auto& e : value.GetArray()) StripAdded(e);
  }
}

TEST(GeneratedIdPropertyTest, RandomPairsWalkedTwice) {
  constexpr int kPairs = 2000;
  constexpr int kDepth = 5;
  Tally total;
  for (int pair = 0; pair < kPairs; ++pair) {
    SCOPED_TRACE("pair " + std::to_string(pair));
    rapidjson::Document schema, config, original;
    Generator gen(20260105u + pair, schema.GetAllocator(),
                  config.GetAllocator());
    static_cast<Value&>(schema) = gen.Schema(kDepth);
    static_cast<Value&>(config) = gen.Config(&schema, kDepth + 1);
    original.CopyFrom(config, original.GetAllocator());

    hostrt_recording::Reset();
    PopulateGeneratedInstanceId(schema, config);
    const int calls = static_cast<int>(
        hostrt_recording::CallsNamed("UUID_CreateRandom").size());
    EXPECT_EQ(hostrt_recording::Calls().size(), static_cast<size_t>(calls));

    Tally tally;
    Check(&schema, original, config, "", tally);
    EXPECT_EQ(tally.next_id, calls);

    rapidjson::Document stripped;
    stripped.CopyFrom(config, stripped.GetAllocator());
    StripAdded(stripped);
    EXPECT_TRUE(SameTree(stripped, original)) << ToJson(stripped) << "\n"
                                              << ToJson(original);

    rapidjson::Document once;
    once.CopyFrom(config, once.GetAllocator());
    hostrt_recording::Reset();
    PopulateGeneratedInstanceId(schema, config);
    EXPECT_TRUE(hostrt_recording::Calls().empty());
    EXPECT_TRUE(SameTree(config, once));

    total.next_id += tally.next_id;
    total.preexisting += tally.preexisting;
    if (testing::Test::HasFailure()) break;
  }
  // The generator must exercise both outcomes often enough to mean anything.
  EXPECT_GT(total.next_id, kPairs / 2);
  EXPECT_GT(total.preexisting, kPairs / 20);
}

}  // namespace
}  // namespace KoraConfigStore
