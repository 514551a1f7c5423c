// Just enough of a test framework for the layer tests that run under Wine
// (no test library is built for MinGW here): named groups, checks that
// record where they failed, and a summary line.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

namespace kestrune::layer_tests {

struct Results {
  int passed = 0;
  int failed = 0;
};

inline Results& results() {
  static Results r;
  return r;
}

inline void Record(bool ok, const char* expression, const char* file, int line,
                   const std::string& detail = {}) {
  if (ok) {
    ++results().passed;
    return;
  }
  ++results().failed;
  std::printf("FAILED %s:%d: %s %s\n", file, line, expression, detail.c_str());
  std::fflush(stdout);
}

// Runs one group; an exception escaping it is a failure of that group.
inline void Group(const char* name, const std::function<void()>& body) {
  std::printf("[ group ] %s\n", name);
  std::fflush(stdout);
  try {
    body();
  } catch (const std::exception& error) {
    Record(false, name, __FILE__, __LINE__, std::string("threw: ") + error.what());
  }
}

template <typename T>
std::string Show(const T& value) {
  if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    std::string shown = "\"";
    for (const char c : std::string_view(value)) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte >= 0x7f) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", byte);
        shown += hex;
      } else {
        shown += c;
      }
    }
    return shown + "\"";
  } else if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>) {
    return std::to_string(static_cast<long long>(value));
  } else {
    return "(value)";
  }
}

template <typename A, typename B>
void CheckEqual(const A& actual, const B& expected, const char* expression, const char* file,
                int line) {
  const bool ok = actual == expected;
  Record(ok, expression, file, line,
         ok ? std::string() : "(got " + Show(actual) + ", want " + Show(expected) + ")");
}

inline int Summary() {
  std::printf("%d passed, %d failed\n", results().passed, results().failed);
  return results().failed == 0 ? 0 : 1;
}

}  // namespace kestrune::layer_tests

#define CHECK(expression) \
  ::kestrune::layer_tests::Record(static_cast<bool>(expression), #expression, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected)                                                      \
  ::kestrune::layer_tests::CheckEqual((actual), (expected), #actual " == " #expected, __FILE__, \
                                      __LINE__)
