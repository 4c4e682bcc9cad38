// Internal: parsing a whole JSON text with a nesting limit.
//
// Header-only so that tools linking the shared library, where the library's
// internals stay hidden, read the event record file by exactly the same
// rules as DumpJot.
#ifndef CSSUPPORT_EVENTS_BOUNDED_PARSE_H_
#define CSSUPPORT_EVENTS_BOUNDED_PARSE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "cssupport/errors/json.h"

namespace KoraConfigStore {
namespace internal {

// The deepest nesting of arrays and objects accepted; a root container is
// level 1. Deeper text counts as text that does not parse.
inline constexpr int kMaxJsonDepth = 1000;

// Forwards every parse event to `Target` and ends the parse as soon as the
// nesting exceeds kMaxJsonDepth.
template <typename Target>
class DepthLimitedHandler {
 public:
  using Ch = typename Target::Ch;

  explicit DepthLimitedHandler(Target& target) : target_(target) {}

  bool Null() { return target_.Null(); }
  bool Bool(bool b) { return target_.Bool(b); }
  bool Int(int i) { return target_.Int(i); }
  bool Uint(unsigned u) { return target_.Uint(u); }
  bool Int64(int64_t i) { return target_.Int64(i); }
  bool Uint64(uint64_t u) { return target_.Uint64(u); }
  bool Double(double d) { return target_.Double(d); }
  bool RawNumber(const Ch* s, rapidjson::SizeType n, bool copy) {
    return target_.RawNumber(s, n, copy);
  }
  bool String(const Ch* s, rapidjson::SizeType n, bool copy) {
    return target_.String(s, n, copy);
  }
  bool Key(const Ch* s, rapidjson::SizeType n, bool copy) {
    return target_.Key(s, n, copy);
  }
  bool StartObject() { return Enter() && target_.StartObject(); }
  bool EndObject(rapidjson::SizeType members) {
    --depth_;
    return target_.EndObject(members);
  }
  bool StartArray() { return Enter() && target_.StartArray(); }
  bool EndArray(rapidjson::SizeType elements) {
    --depth_;
    return target_.EndArray(elements);
  }

 private:
  bool Enter() { return ++depth_ <= kMaxJsonDepth; }

  Target& target_;
  int depth_ = 0;
};

// Parses all of `text` as exactly one JSON value into `document`: strict
// grammar (RapidJSON's default flags), JSON whitespace allowed around the
// value, nothing else after it (a NUL byte included), nesting at most
// kMaxJsonDepth. Strings are copied into the document's allocator.
//
// Returns false when the text does not parse; `document` then keeps its
// previous value and `result` holds the error and its byte offset:
// kParseErrorTermination for nesting beyond the limit,
// kParseErrorDocumentRootNotSingular for anything after the root value.
// Runs in constant stack space whatever the nesting; time and memory grow
// linearly with the text. Throws std::bad_alloc only.
inline bool ParseJsonText(const std::string& text,
                          rapidjson::Document& document,
                          rapidjson::ParseResult& result) {
  result.Clear();
  auto generate = [&text, &result](rapidjson::Document& target) {
    DepthLimitedHandler<rapidjson::Document> handler(target);
    // Peek() reads a NUL byte as the end of the text; whatever lies after
    // the root is checked by hand below.
    rapidjson::StringStream stream(text.c_str());
    rapidjson::Reader reader;
    constexpr unsigned kFlags =
        rapidjson::kParseIterativeFlag | rapidjson::kParseStopWhenDoneFlag;
    result = reader.Parse<kFlags>(stream, handler);
    if (result.IsError()) return false;
    for (std::size_t i = stream.Tell(); i < text.size(); ++i) {
      const char c = text[i];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
        result.Set(rapidjson::kParseErrorDocumentRootNotSingular, i);
        return false;
      }
    }
    return true;
  };
  document.Populate(generate);
  return !result.IsError();
}

inline bool ParseJsonText(const std::string& text,
                          rapidjson::Document& document) {
  rapidjson::ParseResult ignored;
  return ParseJsonText(text, document, ignored);
}

// "<reason> (at byte offset <n>)" for a failed ParseJsonText, in English.
inline std::string DescribeParseFailure(const rapidjson::ParseResult& result) {
  std::string reason =
      result.Code() == rapidjson::kParseErrorTermination
          ? "nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels"
          : rapidjson::GetParseError_En(result.Code());
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  return reason + " (at byte offset " + std::to_string(result.Offset()) + ")";
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_BOUNDED_PARSE_H_
