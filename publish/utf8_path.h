// File names in UTF-8, as the rest of the tool holds text, on both systems
// (Windows' wide names included).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrune::publish {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace kestrune::publish
