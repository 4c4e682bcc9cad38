// Internal: parsing a whole JSON text in constant stack space.
//
// Header-only so that tools linking the shared library, where the library's
// internals stay hidden, read the event record file by exactly the same
// rules as DumpJot.
#ifndef CSSUPPORT_JSON_BOUNDED_PARSE_H_
#define CSSUPPORT_JSON_BOUNDED_PARSE_H_

#include <cstddef>
#include <string>

#include "cssupport/errors/json.h"

namespace KoraConfigStore {
namespace internal {

// Parses all of `text` as exactly one JSON value into `document`: strict
// grammar (RapidJSON's default flags), JSON whitespace allowed around the
// value, nothing else after it (a NUL byte included), any nesting depth.
// Strings are copied into the document's allocator.
//
// Returns false when the text does not parse; `document` then keeps its
// previous value and `result` holds the error and its byte offset
// (kParseErrorDocumentRootNotSingular for anything after the root value).
// Runs in constant stack space whatever the nesting (the iterative parser
// keeps open containers on the heap); time and memory grow linearly with the
// text. Destroying the document does not recurse either: its pool allocator
// frees nothing value by value. The reader's stack uses the document's
// stack allocator. Throws std::bad_alloc only, and only where the
// document's allocators throw (EventDocument's do); `document` then keeps
// its previous value.
template <typename Encoding, typename Allocator, typename StackAllocator>
bool ParseJsonText(
    const std::string& text,
    rapidjson::GenericDocument<Encoding, Allocator, StackAllocator>& document,
    rapidjson::ParseResult& result) {
  result.Clear();
  auto generate = [&text, &result](auto& target) {
    // Peek() reads a NUL byte as the end of the text; whatever lies after
    // the root is checked by hand below.
    rapidjson::GenericStringStream<Encoding> stream(text.c_str());
    rapidjson::GenericReader<Encoding, Encoding, StackAllocator> reader;
    constexpr unsigned kFlags =
        rapidjson::kParseIterativeFlag | rapidjson::kParseStopWhenDoneFlag;
    result = reader.template Parse<kFlags>(stream, target);
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

template <typename Encoding, typename Allocator, typename StackAllocator>
bool ParseJsonText(
    const std::string& text,
    rapidjson::GenericDocument<Encoding, Allocator, StackAllocator>& document) {
  rapidjson::ParseResult ignored;
  return ParseJsonText(text, document, ignored);
}

// "<reason> (at byte offset <n>)" for a failed ParseJsonText, in English.
inline std::string DescribeParseFailure(const rapidjson::ParseResult& result) {
  std::string reason = rapidjson::GetParseError_En(result.Code());
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  return reason + " (at byte offset " + std::to_string(result.Offset()) + ")";
}

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_JSON_BOUNDED_PARSE_H_
