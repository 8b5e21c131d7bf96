#pragma once
// A small UTF-16 string in the shape of the framework's CString: only what the
// dialog and the device code use.

#include <cstdarg>
#include <string>
#include <string_view>

using WCHAR = char16_t;
using LPCWSTR = const char16_t*;

class CString {
 public:
  CString() = default;
  CString(const char16_t* text) : m_text(text ? text : u"") {}  // NOLINT: implicit like the framework's
  CString(std::u16string_view text) : m_text(text) {}           // NOLINT
  CString(std::u16string text) : m_text(std::move(text)) {}     // NOLINT

  // Narrow text in the terminal's ANSI code page, as the framework converts it.
  static CString FromAnsi(std::string_view ansi);
  static CString FromUtf8(std::string_view utf8);
  std::string ToAnsi() const;
  std::string ToUtf8() const;

  int GetLength() const { return static_cast<int>(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  const char16_t* GetString() const { return m_text.c_str(); }
  operator const char16_t*() const { return m_text.c_str(); }  // NOLINT: LPCTSTR conversion
  const std::u16string& str() const { return m_text; }

  // printf-style: %d %i %u %x %X %c %s (wide text) %%, with flags, width and precision.
  void Format(const char16_t* format, ...);
  void FormatV(const char16_t* format, va_list args);

  // Removes every trailing occurrence of the one character.
  CString& TrimRight(char16_t target);

  CString& operator+=(std::u16string_view more) {
    m_text += more;
    return *this;
  }
  friend bool operator==(const CString&, const CString&) = default;
  friend bool operator==(const CString& a, const char16_t* b) { return a.m_text == (b ? b : u""); }

 private:
  std::u16string m_text;
};

namespace platform {

// Formats like the wide printf family on the terminal; the engine behind
// CString::Format and NKDbgPrintfW.
std::u16string FormatWide(const char16_t* format, va_list args);

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace platform
