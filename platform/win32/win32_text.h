// UTF-8 inside the program, UTF-16 at the Win32 calls: converted here only.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::win32 {

// Invalid sequences become U+FFFD rather than failing: text from the
// manifest or the system is shown, never rejected.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// 8-bit text in the system's ANSI code page, as UTF-8.
std::string AnsiToUtf8(std::string_view ansi);

// A lone carriage return, as the core writes line breaks in hints, turned
// into the CR LF pair that Win32 text controls break lines at.
std::wstring WithWindowsLineBreaks(std::wstring_view text);

}  // namespace kestrune::win32
