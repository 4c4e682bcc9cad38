// Test helpers: JSON text in and out of RapidJSON values.
#ifndef CSSUPPORT_TESTS_CONFIG_JSON_TEXT_H_
#define CSSUPPORT_TESTS_CONFIG_JSON_TEXT_H_

#include <string>

#include "cssupport/errors/json.h"

namespace cssupport_test {

// Parses `text` (which must be valid JSON) into a document; fails the current
// test otherwise.
void ParseInto(const std::string& text, rapidjson::Document& document);

// The compact form of `value`, members in stored order (duplicates kept).
std::string ToJson(const rapidjson::Value& value);

// Equality that respects member order and duplicate names, unlike
// rapidjson::Value's operator==.
bool SameTree(const rapidjson::Value& a, const rapidjson::Value& b);

}  // namespace cssupport_test

#endif  // CSSUPPORT_TESTS_CONFIG_JSON_TEXT_H_
