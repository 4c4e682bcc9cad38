#include "cssupport/config/generated_id.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "cssupport/hostrt/hostrt.h"

namespace KoraConfigStore {
namespace {

// Short names for the header's.
using Allocator = ConfigJsonAllocator;
using Value = ConfigJsonValue;
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
// allocator throws. A host that has no identifier to give (null) is out of
// memory: std::bad_alloc, and the object gains nothing.
void AppendId(Value& object, Allocator& allocator) {
  const std::unique_ptr<char, FreeText> text(UUID_CreateRandom());
  if (text == nullptr) throw std::bad_alloc();
  Value name(kIdName, Length(kIdName), allocator);
  Value id(text.get(), static_cast<SizeType>(std::strlen(text.get())),
           allocator);
  object.AddMember(name, id, allocator);
}

// The walk in pre-order over an explicit stack on the heap, so the call stack
// stays the same at any nesting depth. Each entry is a container whose
// children are being visited in stored order. An object's member list is
// complete (its identifier appended) before its entry is pushed, and later
// steps change only deeper objects, so the iterators held stay valid.
class Walk {
 public:
  explicit Walk(Allocator& allocator) : allocator_(allocator) {}

  void Run(const Value& schema, Value& config) {
    EnterValue(schema, config);
    while (!stack_.empty()) {
      Entry& top = stack_.back();
      if (top.array) {
        if (top.element == top.element_end) {
          stack_.pop_back();
        } else {
          // Entering may grow the stack and move `top`: read it first.
          Value& element = *top.element++;
          if (element.IsObject()) {
            EnterObject(top.properties, top.marked, element);
          } else if (element.IsArray()) {
            EnterArray(top.nested_items, element);
          }
        }
      } else if (top.member == top.member_end) {
        stack_.pop_back();
      } else {
        const auto member = top.member++;
        // A scalar ends the descent whatever its schema, so its sub-schema
        // need not be looked up.
        if (!member->value.IsObject() && !member->value.IsArray()) continue;
        const Value* sub = FindFirst(*top.properties, member->name.GetString(),
                                     member->name.GetStringLength());
        if (sub != nullptr) EnterValue(*sub, member->value);
      }
    }
  }

 private:
  struct Entry {
    // An object's "properties"; for an array, those of its "items", which
    // every element object shares, with whether they carry the marker, and
    // the "items" of its "items" for element arrays.
    const Value* properties;
    const Value* nested_items;
    Value::MemberIterator member, member_end;
    Value::ValueIterator element, element_end;
    bool array;
    bool marked;
  };
  static_assert(sizeof(Entry) <= 56, "the heap stack's cost per level");

  void EnterValue(const Value& schema, Value& config) {
    if (config.IsObject()) {
      const Value* properties = PropertiesOf(schema);
      EnterObject(properties, IsMarked(properties), config);
    } else if (config.IsArray()) {
      EnterArray(ItemsOf(schema), config);
    }
  }

  void EnterObject(const Value* properties, bool marked, Value& object) {
    if (properties == nullptr) return;
    if (marked && !HasMember(object, kIdName, Length(kIdName))) {
      AppendId(object, allocator_);
    }
    Entry entry{};
    entry.properties = properties;
    entry.member = object.MemberBegin();
    entry.member_end = object.MemberEnd();
    stack_.push_back(entry);
  }

  void EnterArray(const Value* items, Value& array) {
    if (items == nullptr) return;
    Entry entry{};
    entry.array = true;
    entry.properties = PropertiesOf(*items);
    entry.marked = IsMarked(entry.properties);
    entry.nested_items = ItemsOf(*items);
    if (entry.properties == nullptr && entry.nested_items == nullptr) return;
    entry.element = array.Begin();
    entry.element_end = array.End();
    stack_.push_back(entry);
  }

  Allocator& allocator_;
  std::vector<Entry> stack_;
};

}  // namespace

void PopulateGeneratedInstanceId(const Value& schema, Value& config,
                                 Allocator& allocator) {
  Walk(allocator).Run(schema, config);
}

void PopulateGeneratedInstanceId(const Value& schema,
                                 ConfigJsonDocument& config) {
  PopulateGeneratedInstanceId(schema, config, config.GetAllocator());
}

}  // namespace KoraConfigStore
