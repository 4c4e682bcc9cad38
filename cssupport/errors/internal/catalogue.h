// Internal: the error catalogue's entries, as the log emission reads them.
#ifndef CSSUPPORT_ERRORS_INTERNAL_CATALOGUE_H_
#define CSSUPPORT_ERRORS_INTERNAL_CATALOGUE_H_

#include <cstdint>

#include "cssupport/errors/error_codes.h"

namespace KoraConfigStore::internal {

// A code's catalogue text with what a log line takes from it made once: the
// text's length and the line's tag, "[<code>]".
struct CatalogueEntry {
  std::int32_t code;
  std::uint16_t textSize;
  std::uint8_t tagSize;
  const char* text;
  char tag[8];  // "[<code>]", then zero bytes
};

// The text of every code the catalogue does not hold; ErrorMessageForId
// returns this very array.
inline constexpr char kUnknownMessage[] = "unknown message";

// The entry filed under `code`, or null when the catalogue holds none. Built
// like ErrorMessageForId's catalogue (it is the same one): on the first call,
// allocating nothing; then one table read indexed by the code, no lock. Never
// throws; thread-safe. Entries live as long as the library is loaded.
const CatalogueEntry* FindCatalogueEntry(CSErrorCodes code) noexcept;

}  // namespace KoraConfigStore::internal

#endif  // CSSUPPORT_ERRORS_INTERNAL_CATALOGUE_H_
