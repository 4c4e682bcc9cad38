// Internal to the stand-in host: the dictionary object and typed look-ups.
#ifndef CSSUPPORT_HOSTRT_STANDIN_DICTIONARY_H_
#define CSSUPPORT_HOSTRT_STANDIN_DICTIONARY_H_

#include <map>
#include <optional>
#include <string>
#include <variant>

#include "cssupport/hostrt/hostrt.h"

struct Dictionary {
  using Value = std::variant<std::string, bool, long>;

  std::map<std::string, Value> entries;
};

namespace hostrt_standin {

// The entry under `key` when it is present and of the asked kind; nullopt
// otherwise, also for a null dictionary. Thread-safe.
std::optional<std::string> DictString(const Dictionary* dict, const char* key);
std::optional<bool> DictBool(const Dictionary* dict, const char* key);
std::optional<long> DictLong(const Dictionary* dict, const char* key);

}  // namespace hostrt_standin

#endif  // CSSUPPORT_HOSTRT_STANDIN_DICTIONARY_H_
