#include "platform/win32/win32_text.h"

#include "platform/win32/win32_windows.h"

#include <limits>
#include <stdexcept>

namespace kestrune::win32 {

namespace {

int CheckedLength(std::size_t size) {
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw std::length_error("text too long to convert");
  }
  return static_cast<int>(size);
}

std::wstring ToWide(unsigned codePage, std::string_view text) {
  if (text.empty()) return {};
  const int length = CheckedLength(text.size());
  const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
  return wide;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int length = CheckedLength(utf16.size());
  const int needed =
      ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, narrow.data(), needed, nullptr,
                        nullptr);
  return narrow;
}

std::string AnsiToUtf8(std::string_view ansi) { return Narrow(ToWide(CP_ACP, ansi)); }

std::wstring WithWindowsLineBreaks(std::wstring_view text) {
  std::wstring result;
  result.reserve(text.size() + 4);
  for (std::size_t i = 0; i < text.size(); ++i) {
    result += text[i];
    const bool loneReturn = text[i] == L'\r' && (i + 1 == text.size() || text[i + 1] != L'\n');
    if (loneReturn) result += L'\n';
  }
  return result;
}

}  // namespace kestrune::win32
