// cstool messages | message CODE | build-info
#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "cssupport/buildinfo/build_info.h"
#include "cssupport/errors/error_codes.h"
#include "cssupport/errors/internal/catalogue.h"

namespace cstool {
namespace {

using KoraConfigStore::CSErrorCodes;
using KoraConfigStore::ErrorMessageForId;
using KoraConfigStore::internal::CatalogueRow;
using KoraConfigStore::internal::kCatalogueRows;

bool IsCatalogued(int code) {
  for (const CatalogueRow& row : kCatalogueRows)
    if (row.code == code) return true;
  return false;
}

// One line per catalogue entry, in its order; the name column is as wide as
// the longest name.
void PrintMessages() {
  int nameWidth = 0;
  for (const CatalogueRow& row : kCatalogueRows)
    nameWidth = std::max(nameWidth, static_cast<int>(std::strlen(row.name)));
  Print("%-6s %-*s %s\n", "CODE", nameWidth, "NAME", "MESSAGE");
  for (const CatalogueRow& row : kCatalogueRows)
    Print("%-6d %-*s %s\n", static_cast<int>(row.code), nameWidth, row.name,
          ErrorMessageForId(row.code));
}

// The int that `text` writes in decimal, sign allowed: ErrorMessageForId
// takes any int, so "+1082" is 1082 and "-1082" a code without a message.
// Anything else (blanks, hexadecimal, out of the int range) is a usage error.
int ParseCode(const std::string& text) {
  const bool plus = text.size() > 1 && text[0] == '+' && text[1] != '-';
  const char* end = text.data() + text.size();
  int value = 0;
  const auto [stop, error] = std::from_chars(text.data() + plus, end, value);
  if (text.empty() || error != std::errc() || stop != end) {
    throw CommandError{kExitUsage, "'" + text +
                                       "' is not an error code (expected a "
                                       "decimal number such as 1082)"};
  }
  return value;
}

void PrintMessage(const std::string& text) {
  const int code = ParseCode(text);
  Print("%s\n", ErrorMessageForId(static_cast<CSErrorCodes>(code)));
  if (!IsCatalogued(code)) throw CommandError{kExitFailure, ""};
}

void PrintVersion(const char* name, const CSVersionRecord& v) {
  Print("%-34s %" PRId32 ".%" PRId32 ".%" PRId32 ".%" PRId32 "\n", name,
        v.part[0], v.part[1], v.part[2], v.part[3]);
}

void PrintBuildInfo() {
  Print("%-34s %" PRId32 "\n", "gBuildNumberNumeric", gBuildNumberNumeric);
#define CSTOOL_PRINT_TEXT_(name) Print("%-34s %s\n", #name, name);
  CSSUPPORT_BUILD_TEXTS(CSTOOL_PRINT_TEXT_)
#undef CSTOOL_PRINT_TEXT_
  Print("%-34s %" PRId32 "\n", "gProductBuildNumberNumeric",
        gProductBuildNumberNumeric);
  PrintVersion("gProductVersion", gProductVersion);
#define CSTOOL_PRINT_SIBLING_(name) PrintVersion(#name, name);
  CSSUPPORT_SIBLING_VERSIONS(CSTOOL_PRINT_SIBLING_)
#undef CSTOOL_PRINT_SIBLING_
}

}  // namespace

void RegisterInfoCommands(CLI::App& app) {
  app.add_subcommand("messages",
                     "List every error code with its name and message text")
      ->callback(PrintMessages);

  auto* message =
      app.add_subcommand("message", "Print the message text of one error code");
  auto code = std::make_shared<std::string>();
  message
      ->add_option("CODE", *code,
                   "Error code in decimal, e.g. 1082; a code without a "
                   "message prints \"unknown message\" and exits 1")
      ->required();
  message->callback([code] { PrintMessage(*code); });

  app.add_subcommand("build-info", "Print the build identification data")
      ->callback(PrintBuildInfo);
}

}  // namespace cstool
