// A small JSON writer for the test driver's reports.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kestrune::e2e {

inline std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// Builds one JSON object field by field.
class JsonObject {
 public:
  JsonObject& Raw(std::string_view key, const std::string& json) {
    if (!body_.empty()) body_ += ",";
    body_ += JsonString(key) + ":" + json;
    return *this;
  }
  JsonObject& Text(std::string_view key, std::string_view value) {
    return Raw(key, JsonString(value));
  }
  JsonObject& Number(std::string_view key, long long value) {
    return Raw(key, std::to_string(value));
  }
  JsonObject& Bool(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
  std::string str() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

class JsonArray {
 public:
  void Add(const std::string& json) {
    if (!body_.empty()) body_ += ",";
    body_ += json;
  }
  std::string str() const { return "[" + body_ + "]"; }

 private:
  std::string body_;
};

}  // namespace kestrune::e2e
