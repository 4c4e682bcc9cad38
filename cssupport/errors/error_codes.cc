#include "cssupport/errors/error_codes.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "cssupport/errors/internal/catalogue.h"

namespace KoraConfigStore {
namespace {

using internal::CatalogueEntry;
using internal::CatalogueRow;
using internal::kCatalogueRows;

constexpr std::int32_t kFirstCode = kCatalogueRows[0].code;
constexpr std::int32_t kLastCode = std::end(kCatalogueRows)[-1].code;

// Codes strictly ascend, so that each is filed once and has a slot of its own
// in Catalogue; and each fits a tag, "[" six digits at most "]".
constexpr bool CodesAscendAndFitTags() {
  for (std::size_t i = 1; i < std::size(kCatalogueRows); ++i)
    if (kCatalogueRows[i].code <= kCatalogueRows[i - 1].code) return false;
  return kFirstCode >= 0 && kLastCode <= 999999;
}
static_assert(CodesAscendAndFitTags(),
              "catalogue codes strictly ascending, from 0 to 999999");

// The entries in a table indexed by code - kFirstCode, held in the object;
// the slot of a code in the range that the catalogue does not file has no
// text. A lookup, of a filed code or not, reads at most one slot.
class Catalogue {
 public:
  // Out of line, so that a lookup's path stays short. Allocates nothing.
  [[gnu::noinline, gnu::cold]] Catalogue() {
    for (const CatalogueRow& row : kCatalogueRows) Insert(row);
  }

  const CatalogueEntry* Find(std::int32_t code) const {
    // Unsigned, so that a code below the range wraps to an index past its end.
    const std::uint32_t index = static_cast<std::uint32_t>(code) -
                                static_cast<std::uint32_t>(kFirstCode);
    if (index >= kSlots) return nullptr;
    const CatalogueEntry& entry = slots_[index];
    return entry.text != nullptr ? &entry : nullptr;
  }

 private:
  static constexpr std::size_t kSlots = kLastCode - kFirstCode + 1;

  void Insert(const CatalogueRow& from) {
    CatalogueEntry& entry = slots_[from.code - kFirstCode];
    entry.code = from.code;
    entry.text = from.text;
    entry.textSize = static_cast<std::uint16_t>(std::strlen(from.text));
    entry.tag[0] = '[';
    char* end = std::to_chars(entry.tag + 1, std::end(entry.tag) - 1,
                              static_cast<std::int32_t>(from.code))
                    .ptr;
    *end++ = ']';
    entry.tagSize = static_cast<std::uint8_t>(end - entry.tag);
  }

  CatalogueEntry slots_[kSlots] = {};
};

[[gnu::always_inline]] inline const CatalogueEntry* Find(CSErrorCodes code) {
  // A function-local static: built once, on first use, with the language's
  // synchronised initialisation.
  static const Catalogue catalogue;
  return catalogue.Find(code);
}

}  // namespace

namespace internal {

const CatalogueEntry* FindCatalogueEntry(CSErrorCodes code) noexcept {
  return Find(code);
}

}  // namespace internal

const char* ErrorMessageForId(CSErrorCodes code) {
  const CatalogueEntry* entry = Find(code);
  return entry == nullptr ? internal::kUnknownMessage : entry->text;
}

}  // namespace KoraConfigStore
