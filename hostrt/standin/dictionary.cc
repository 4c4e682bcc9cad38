#include "hostrt/standin/dictionary.h"

#include "hostrt/format_v.h"
#include "hostrt/standin/locks.h"

#include <cstdarg>
#include <new>
#include <string>
#include <utility>

namespace hostrt_standin {
namespace {

// One lock for all dictionaries: a process uses them while it sets up, and
// the fork handlers then have one lock to take, not one per dictionary.
std::mutex dictionariesMutex;

// Stores `make()` under the expanded key; without memory for the key, the
// value or the entry, the dictionary stays as it was.
template <typename Make>
void Store(Dictionary* dict, const char* format, va_list args, Make make) {
  if (dict == nullptr || format == nullptr) return;
  try {
    std::string key = hostrt_internal::FormatV(format, args);
    Dictionary::Value value = make();
    const Held lock(dictionariesMutex);
    dict->entries[std::move(key)] = std::move(value);
  } catch (...) {
  }
}

template <typename T>
std::optional<T> Find(const Dictionary* dict, const char* key) {
  if (dict == nullptr || key == nullptr) return std::nullopt;
  const Held lock(dictionariesMutex);
  const auto it = dict->entries.find(key);
  if (it == dict->entries.end()) return std::nullopt;
  const T* value = std::get_if<T>(&it->second);
  if (value == nullptr) return std::nullopt;
  return *value;
}

}  // namespace

std::mutex& DictionariesMutex() { return dictionariesMutex; }

std::optional<std::string> DictString(const Dictionary* dict, const char* key) {
  return Find<std::string>(dict, key);
}

std::optional<bool> DictBool(const Dictionary* dict, const char* key) {
  return Find<bool>(dict, key);
}

std::optional<long> DictLong(const Dictionary* dict, const char* key) {
  return Find<long>(dict, key);
}

}  // namespace hostrt_standin

extern "C" {

// Null when there is no memory for it.
Dictionary* Dictionary_Create(void) { return new (std::nothrow) Dictionary; }

void Dictionary_Free(Dictionary* dict) { delete dict; }

void Dict_SetString(Dictionary* dict, const char* value, const char* key, ...) {
  va_list args;
  va_start(args, key);
  hostrt_standin::Store(dict, key, args, [value] {
    return std::string(value != nullptr ? value : "");
  });
  va_end(args);
}

void Dict_SetBool(Dictionary* dict, bool value, const char* key, ...) {
  va_list args;
  va_start(args, key);
  hostrt_standin::Store(dict, key, args, [value] { return value; });
  va_end(args);
}

void Dict_SetLong(Dictionary* dict, long value, const char* key, ...) {
  va_list args;
  va_start(args, key);
  hostrt_standin::Store(dict, key, args, [value] { return value; });
  va_end(args);
}

}  // extern "C"
