// Internal: the error catalogue's entries, as the log emission reads them,
// and its rows as written, for code that iterates the catalogue.
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

// One entry of CSSUPPORT_ERROR_CATALOGUE as written there.
struct CatalogueRow {
  CSErrorCodes code;
  const char* name;  // the enumerator's name, "CS_ERR_DB_OPEN"
  const char* text;
};

#define CSSUPPORT_CATALOGUE_ROW_(name, code, text) {name, #name, text},
// Every entry of the catalogue, in its (ascending) code order. Header-only
// and constant, so that code outside the library (cstool, the benchmarks)
// iterates the very list the library files, without knowing its range.
inline constexpr CatalogueRow kCatalogueRows[] = {
    CSSUPPORT_ERROR_CATALOGUE(CSSUPPORT_CATALOGUE_ROW_)};
#undef CSSUPPORT_CATALOGUE_ROW_

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
