// The terminal's debug printer. Its lines go where the host says, as
// UTF-8: standard error unless a test collects them; on Windows also to the
// debugger.

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/text/wide_text.h"
#include "platform/framework/host.h"

void NKDbgPrintfW(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  const platform::WString text = platform::FormatWide(format, args);
  va_end(args);
#ifdef _WIN32
  OutputDebugStringW(text.c_str());
#endif
  const std::string utf8 = platform::ToUtf8(text);
  if (const auto& output = platform::CurrentHost().debugOutput) {
    output(utf8);
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}
