// Test helpers: JSON text in and out of RapidJSON values.
#ifndef CSSUPPORT_TESTS_SUPPORT_JSON_TEXT_H_
#define CSSUPPORT_TESTS_SUPPORT_JSON_TEXT_H_

#include <gtest/gtest.h>

#include <string>

#include "cssupport/errors/json.h"

namespace cssupport_test {

// Parses `text`; fails the current test when it is not valid JSON.
inline void ParseInto(const std::string& text, rapidjson::Document& document) {
  document.Parse(text.c_str(), text.size());
  ASSERT_FALSE(document.HasParseError())
      << rapidjson::GetParseError_En(document.GetParseError()) << " at "
      << document.GetErrorOffset() << " in " << text;
}

// Compact, members in stored order, duplicates kept: equal text, equal tree.
inline std::string ToJson(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace cssupport_test

#endif  // CSSUPPORT_TESTS_SUPPORT_JSON_TEXT_H_
