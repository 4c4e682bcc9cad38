// Internal: serialising a JSON value in constant stack space.
//
// Header-only so that tools linking the shared library, where the library's
// internals stay hidden, write documents exactly as DumpJot does.
#ifndef CSSUPPORT_JSON_WRITE_JSON_H_
#define CSSUPPORT_JSON_WRITE_JSON_H_

#include <vector>

#include "cssupport/errors/json.h"

namespace KoraConfigStore {
namespace internal {

// Hands a string value to `Target::Key`, with the length and copy flag that
// GenericValue::Accept reports for it.
template <typename Encoding, typename Target>
class KeyForwarder
    : public rapidjson::BaseReaderHandler<Encoding,
                                          KeyForwarder<Encoding, Target>> {
 public:
  explicit KeyForwarder(Target& target) : target_(target) {}

  bool String(const typename Encoding::Ch* s, rapidjson::SizeType n,
              bool copy) {
    return target_.Key(s, n, copy);
  }

 private:
  Target& target_;
};

// Sends `value` to `handler` (a rapidjson::Writer, PrettyWriter or any other
// handler) as the same calls, with the same arguments and in the same order,
// as value.Accept(handler), so a writer produces the same bytes. Stops at the
// first call that returns false and returns false; true otherwise.
//
// Unlike Accept it does not recurse: the open containers are kept on the
// heap, so the stack stays constant whatever the nesting, and time and extra
// memory grow linearly with the value. Throws what the handler throws,
// std::bad_alloc, and ConfigStoreException (1082) for an object member whose
// name is not a string, where Accept fails the same assertion.
template <typename Encoding, typename Allocator, typename Handler>
bool WriteJson(const rapidjson::GenericValue<Encoding, Allocator>& value,
               Handler& handler) {
  using Value = rapidjson::GenericValue<Encoding, Allocator>;
  struct Open {
    const Value* container;
    rapidjson::SizeType next;  // index of the next member or element
  };
  std::vector<Open> open;
  const Value* pending = &value;
  for (;;) {
    if (pending->IsObject()) {
      if (!handler.StartObject()) return false;
      open.push_back({pending, 0});
    } else if (pending->IsArray()) {
      if (!handler.StartArray()) return false;
      open.push_back({pending, 0});
    } else if (!pending->Accept(handler)) {  // a scalar: no recursion
      return false;
    }
    pending = nullptr;
    while (pending == nullptr) {
      if (open.empty()) return true;
      Open& top = open.back();
      const Value& container = *top.container;
      if (container.IsObject()) {
        if (top.next < container.MemberCount()) {
          const auto& member = container.MemberBegin()[top.next++];
          RAPIDJSON_ASSERT(member.name.IsString());
          KeyForwarder<Encoding, Handler> key(handler);
          if (!member.name.Accept(key)) return false;
          pending = &member.value;
        } else {
          open.pop_back();
          if (!handler.EndObject(container.MemberCount())) return false;
        }
      } else if (top.next < container.Size()) {
        pending = &container[top.next++];
      } else {
        open.pop_back();
        if (!handler.EndArray(container.Size())) return false;
      }
    }
  }
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_JSON_WRITE_JSON_H_
