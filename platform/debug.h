#pragma once
// The platform's debug printer: wide lines to standard error as UTF-8.

#include <functional>
#include <string>

// Formats like CString::Format and writes the text as it is (the format carries
// its own line ends).
void NKDbgPrintfW(const char16_t* format, ...);

namespace platform {

// Collects what NKDbgPrintfW prints while it lives, instead of standard error.
// Tests use it to see the exact lines.
class ScopedDebugCapture {
 public:
  ScopedDebugCapture();
  ~ScopedDebugCapture();
  ScopedDebugCapture(const ScopedDebugCapture&) = delete;
  ScopedDebugCapture& operator=(const ScopedDebugCapture&) = delete;
  const std::u16string& text() const { return m_text; }

 private:
  friend void ::NKDbgPrintfW(const char16_t* format, ...);
  std::u16string m_text;
  ScopedDebugCapture* m_previous;
};

}  // namespace platform
