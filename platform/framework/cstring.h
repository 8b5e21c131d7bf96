#pragma once
// The framework's CString: UTF-16 text, only as much of it as the system uses.

#include <string>
#include <string_view>

#include "platform/text/wide_text.h"

class CString {
 public:
  CString() = default;
  CString(const WCHAR* text) : m_text(text ? text : _T("")) {}     // NOLINT: implicit like the framework's
  CString(platform::WStringView text) : m_text(text) {}            // NOLINT
  CString(platform::WString text) : m_text(std::move(text)) {}      // NOLINT

  // Narrow text in the terminal's ANSI code page, converted as the framework does.
  static CString FromAnsi(std::string_view ansi);
  std::string ToAnsi() const;
  static CString FromUtf8(std::string_view utf8) { return CString(platform::FromUtf8(utf8)); }
  std::string ToUtf8() const { return platform::ToUtf8(m_text); }

  int GetLength() const { return static_cast<int>(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  const WCHAR* GetString() const { return m_text.c_str(); }
  operator const WCHAR*() const { return m_text.c_str(); }  // NOLINT: the framework's LPCTSTR conversion
  const platform::WString& str() const { return m_text; }

  void Format(const WCHAR* format, ...);

  // Removes every trailing occurrence of the one character.
  CString& TrimRight(WCHAR target) {
    while (!m_text.empty() && m_text.back() == target) m_text.pop_back();
    return *this;
  }

  friend bool operator==(const CString&, const CString&) = default;
  friend bool operator==(const CString& a, const WCHAR* b) { return a.m_text == (b ? b : _T("")); }

 private:
  platform::WString m_text;
};
