#include "cssupport/config/generated_id.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "cssupport/hostrt/hostrt.h"

namespace KoraConfigStore {
namespace {

using Allocator = rapidjson::MemoryPoolAllocator<rapidjson::CrtAllocator>;
using Value = rapidjson::GenericValue<rapidjson::UTF8<char>, Allocator>;
using rapidjson::SizeType;

constexpr char kIdName[] = "cs_generated_id";
constexpr char kProperties[] = "properties";
constexpr char kItems[] = "items";

template <SizeType N>
constexpr SizeType Length(const char (&)[N]) {
  return N - 1;
}

struct FreeText {
  void operator()(char* text) const { std::free(text); }
};

// The value of the first member of `object` named exactly `name`, or null.
// `object` must be an object.
const Value* FindFirst(const Value& object, const char* name, SizeType length) {
  for (auto m = object.MemberBegin(), end = object.MemberEnd(); m != end; ++m) {
    if (m->name.GetStringLength() == length &&
        std::memcmp(m->name.GetString(), name, length) == 0) {
      return &m->value;
    }
  }
  return nullptr;
}

// Whether `object` has a member named `name`. Scans from the back: an
// identifier this walk added is the last member.
bool HasMember(const Value& object, const char* name, SizeType length) {
  for (auto m = object.MemberEnd(), begin = object.MemberBegin(); m != begin;) {
    --m;
    if (m->name.GetStringLength() == length &&
        std::memcmp(m->name.GetString(), name, length) == 0) {
      return true;
    }
  }
  return false;
}

// The "properties" object of `schema`, or null when there is none or it is
// not an object (then it lists nothing, the marker included).
const Value* PropertiesOf(const Value& schema) {
  if (!schema.IsObject()) return nullptr;
  const Value* properties = FindFirst(schema, kProperties, Length(kProperties));
  return properties != nullptr && properties->IsObject() ? properties : nullptr;
}

bool IsMarked(const Value* properties) {
  return properties != nullptr &&
         FindFirst(*properties, kIdName, Length(kIdName)) != nullptr;
}

// A non-object "items" value has no "properties" and no "items" of its own,
// so nothing beneath it could be reached.
const Value* ItemsOf(const Value& schema) {
  if (!schema.IsObject()) return nullptr;
  const Value* items = FindFirst(schema, kItems, Length(kItems));
  return items != nullptr && items->IsObject() ? items : nullptr;
}

// Appends "cs_generated_id" with a new identifier, name and text copied into
// `allocator`. The host's text is freed before this returns, also when the
// allocator throws.
void AppendId(Value& object, Allocator& allocator) {
  const std::unique_ptr<char, FreeText> text(UUID_CreateRandom());
  Value name(kIdName, Length(kIdName), allocator);
  Value id(text.get(), static_cast<SizeType>(std::strlen(text.get())),
           allocator);
  object.AddMember(name, id, allocator);
}

void WalkValue(const Value& schema, Value& config, Allocator& allocator);

void WalkObject(const Value* properties, bool marked, Value& object,
                Allocator& allocator) {
  if (properties == nullptr) return;
  if (marked && !HasMember(object, kIdName, Length(kIdName))) {
    AppendId(object, allocator);
  }
  for (auto m = object.MemberBegin(), end = object.MemberEnd(); m != end; ++m) {
    Value& value = m->value;
    // A scalar ends the descent whatever its schema, so its sub-schema need
    // not be looked up.
    if (!value.IsObject() && !value.IsArray()) continue;
    const Value* sub =
        FindFirst(*properties, m->name.GetString(), m->name.GetStringLength());
    if (sub != nullptr) WalkValue(*sub, value, allocator);
  }
}

// The elements share one reading of the "items" schema.
void WalkArray(const Value* items, Value& array, Allocator& allocator) {
  if (items == nullptr) return;
  const Value* properties = PropertiesOf(*items);
  const bool marked = IsMarked(properties);
  const Value* nested_items = ItemsOf(*items);
  if (properties == nullptr && nested_items == nullptr) return;
  for (auto e = array.Begin(), end = array.End(); e != end; ++e) {
    if (e->IsObject()) {
      WalkObject(properties, marked, *e, allocator);
    } else if (e->IsArray()) {
      WalkArray(nested_items, *e, allocator);
    }
  }
}

void WalkValue(const Value& schema, Value& config, Allocator& allocator) {
  if (config.IsObject()) {
    const Value* properties = PropertiesOf(schema);
    WalkObject(properties, IsMarked(properties), config, allocator);
  } else if (config.IsArray()) {
    WalkArray(ItemsOf(schema), config, allocator);
  }
}

}  // namespace

void PopulateGeneratedInstanceId(const Value& schema, Value& config,
                                 Allocator& allocator) {
  WalkValue(schema, config, allocator);
}

void PopulateGeneratedInstanceId(
    const Value& schema,
    rapidjson::GenericDocument<rapidjson::UTF8<char>, Allocator,
                               rapidjson::CrtAllocator>& config) {
  PopulateGeneratedInstanceId(schema, config, config.GetAllocator());
}

}  // namespace KoraConfigStore
