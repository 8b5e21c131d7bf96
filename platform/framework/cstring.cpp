#include "platform/framework/cstring.h"

#include <cstdarg>
#include <climits>

CString CString::FromAnsi(std::string_view ansi) {
  if (ansi.empty() || ansi.size() > INT_MAX) return {};
  const int length = static_cast<int>(ansi.size());
  platform::WString wide(static_cast<std::size_t>(length), WCHAR{});
  // Each byte gives at most one character, so the buffer always has room.
  const int written = MultiByteToWideChar(platform::kTerminalAnsiCodePage, 0, ansi.data(), length, wide.data(), length);
  wide.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  return CString(std::move(wide));
}

std::string CString::ToAnsi() const {
  if (m_text.empty() || m_text.size() > INT_MAX / 2) return {};
  const int length = static_cast<int>(m_text.size());
  // A double-byte code page needs at most two bytes a character.
  std::string narrow(static_cast<std::size_t>(length) * 2, '\0');
  const int written = WideCharToMultiByte(platform::kTerminalAnsiCodePage, 0, m_text.data(), length, narrow.data(),
                                          length * 2, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  return narrow;
}

void CString::Format(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  m_text = platform::FormatWide(format, args);
  va_end(args);
}
