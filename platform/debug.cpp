#include "platform/debug.h"

#include <cstdarg>
#include <cstdio>

#include "platform/cstring.h"

namespace platform {
namespace {
ScopedDebugCapture* g_capture = nullptr;
}

ScopedDebugCapture::ScopedDebugCapture() : m_previous(g_capture) { g_capture = this; }
ScopedDebugCapture::~ScopedDebugCapture() { g_capture = m_previous; }

}  // namespace platform

void NKDbgPrintfW(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::u16string text = platform::FormatWide(format, args);
  va_end(args);
  if (platform::g_capture) {
    platform::g_capture->m_text += text;
    return;
  }
  const std::string utf8 = platform::Utf16ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}
