// Code pages on a POSIX host: the terminal's ANSI code page 949 (Korean) through
// glibc's iconv, and UTF-8.

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/wide_text.h"

namespace platform {
namespace {

// Converts with glibc's iconv; where the input holds what the target cannot take,
// `replacement` stands for its first `skip` bytes, and nothing fails. Nothing
// without the code page's converter.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view input,
                                   std::string_view replacement, std::size_t skip) {
  const iconv_t opened = iconv_open(to, from);
  if (opened == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  const std::unique_ptr<void, int (*)(iconv_t)> cd(opened, iconv_close);
  std::string out;
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(opened, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out += replacement;
      const std::size_t skipped = std::min(skip, inLeft);
      in += skipped;
      inLeft -= skipped;
      iconv(opened, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

// iconv's name for the terminal's code page.
std::string IconvAnsiName() { return "CP" + std::to_string(kTerminalAnsiCodePage); }

// Bytes that are not valid in code page 949 become U+FFFD, one for the first
// byte of each invalid or cut-off sequence.
WString AnsiToWide(std::string_view ansi) {
  WString out;
  if (const auto bytes = Convert("UTF-16LE", IconvAnsiName().c_str(), ansi, "\xFD\xFF", 1)) {
    for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
      out += static_cast<WCHAR>(static_cast<unsigned char>((*bytes)[i]) | (static_cast<unsigned char>((*bytes)[i + 1]) << 8));
    }
    return out;
  }
  // No code page support: ASCII kept, the rest marked.
  for (const unsigned char c : ansi) out += c < 0x80 ? static_cast<WCHAR>(c) : static_cast<WCHAR>(0xFFFD);
  return out;
}

// Characters that code page 949 cannot hold (and lone surrogates) become '?', as
// the platform's default character.
std::string WideToAnsi(WStringView wide) {
  std::string bytes;
  for (const WCHAR c : wide) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  if (auto converted = Convert(IconvAnsiName().c_str(), "UTF-16LE", bytes, "?", 2)) return std::move(*converted);
  std::string out;
  for (const WCHAR c : wide) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// What a conversion gives its caller: the count needed when there is no room
// asked for, else the count written, or 0 when it does not fit.
template <typename Char>
int Deliver(const std::basic_string<Char>& converted, Char* out, int outCount) {
  const auto size = static_cast<int>(converted.size());
  if (outCount == 0) return size;
  if (!out || outCount < size) {
    SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return 0;
  }
  std::copy(converted.begin(), converted.end(), out);
  return size;
}

bool KnownCodePage(UINT codePage) {
  return codePage == CP_UTF8 || codePage == kTerminalAnsiCodePage || codePage == CP_ACP;  // the terminal's
}

}  // namespace
}  // namespace platform

using namespace platform;

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, LPCSTR multiByte, int multiByteCount, LPWSTR wide,
                        int wideCount) {
  if (!multiByte || !KnownCodePage(codePage) || wideCount < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A count of -1 converts up to and with the terminating null.
  const std::string_view in(multiByte, multiByteCount < 0 ? std::char_traits<char>::length(multiByte) + 1
                                                          : static_cast<std::size_t>(multiByteCount));
  return Deliver(codePage == CP_UTF8 ? FromUtf8(in) : AnsiToWide(in), wide, wideCount);
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR wide, int wideCount, char* multiByte,
                        int multiByteCount, LPCSTR /*defaultChar*/, BOOL* usedDefaultChar) {
  if (!wide || !KnownCodePage(codePage) || multiByteCount < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const WStringView in(wide, wideCount < 0 ? std::char_traits<WCHAR>::length(wide) + 1
                                           : static_cast<std::size_t>(wideCount));
  std::string converted = codePage == CP_UTF8 ? ToUtf8(in) : WideToAnsi(in);
  if (usedDefaultChar) *usedDefaultChar = FALSE;
  return Deliver(converted, multiByte, multiByteCount);
}
