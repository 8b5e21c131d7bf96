#pragma once
// Wide text as the terminal's system handles it: UTF-16 strings, their UTF-8
// form for the host, names compared without case for ASCII letters, and the wide
// printf of the terminal's C library. Every layer uses these; none has its own.

#include <algorithm>
#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/api/windows_api.h"

namespace platform {

// The terminal's ANSI code page (Korean), which the framework's narrow-to-wide
// conversions use. A Windows desktop has its own, so it is named, not assumed.
inline constexpr UINT kTerminalAnsiCodePage = 949;

using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;

std::string ToUtf8(WStringView text);
// Invalid bytes become U+FFFD.
WString FromUtf8(std::string_view text);

// File systems and the registry fold case for ASCII letters only, which is what
// names written on a PC differ in (LOGO.BMP); other characters match exactly.
template <typename Char>
constexpr Char FoldAscii(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}
template <typename Char>
bool SameNameNoCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  return std::ranges::equal(a, b, {}, FoldAscii<Char>, FoldAscii<Char>);
}

// The terminal's wide printf, by the C library's: %d %i %u %x %X %c %s (wide
// text) %%, with flags, width, precision and the l, ll and h sizes. An unknown
// conversion is copied.
WString FormatWide(const WCHAR* format, va_list args);

}  // namespace platform
