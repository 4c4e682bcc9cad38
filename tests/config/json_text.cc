#include "json_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace cssupport_test {

void ParseInto(const std::string& text, rapidjson::Document& document) {
  document.Parse(text.c_str(), text.size());
  ASSERT_FALSE(document.HasParseError())
      << rapidjson::GetParseError_En(document.GetParseError()) << " at "
      << document.GetErrorOffset() << " in " << text;
}

std::string ToJson(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

bool SameTree(const rapidjson::Value& a, const rapidjson::Value& b) {
  if (a.GetType() != b.GetType()) return false;
  if (a.IsObject()) {
    if (a.MemberCount() != b.MemberCount()) return false;
    for (auto ma = a.MemberBegin(), mb = b.MemberBegin(); ma != a.MemberEnd();
         ++ma, ++mb) {
      if (!SameTree(ma->name, mb->name) || !SameTree(ma->value, mb->value)) {
        return false;
      }
    }
    return true;
  }
  if (a.IsArray()) {
    if (a.Size() != b.Size()) return false;
    for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
      if (!SameTree(a[i], b[i])) return false;
    }
    return true;
  }
  if (a.IsString()) {
    return a.GetStringLength() == b.GetStringLength() &&
           std::memcmp(a.GetString(), b.GetString(), a.GetStringLength()) == 0;
  }
  return a == b;
}

}  // namespace cssupport_test
