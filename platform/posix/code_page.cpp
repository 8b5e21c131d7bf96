// Code pages on a POSIX host: the terminal's ANSI code page 949 (Korean) through
// glibc's iconv, and UTF-8.

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text/wide_text.h"

namespace platform {
namespace {

// iconv's name for the terminal's code page.
std::string IconvAnsiName() { return "CP" + std::to_string(kTerminalAnsiCodePage); }

struct IconvCloser {
  void operator()(iconv_t* cd) const {
    iconv_close(*cd);
    delete cd;
  }
};
using UniqueIconv = std::unique_ptr<iconv_t, IconvCloser>;

UniqueIconv OpenConverter(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return UniqueIconv(new iconv_t(cd));
}

// Converts `input` piece by piece into `output`. Where the input holds something
// the target cannot take, `invalid` is told and answers how many input bytes to
// pass over; nothing fails.
void Transcode(iconv_t cd, std::string_view input, const std::function<void(std::string_view)>& output,
               const std::function<std::size_t()>& invalid) {
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    output(std::string_view(buffer, sizeof buffer - outLeft));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      const std::size_t skip = std::min(invalid(), inLeft);
      in += skip;
      inLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

// Bytes that are not valid in code page 949 become U+FFFD; nothing fails.
WString AnsiToWide(std::string_view ansi) {
  WString out;
  UniqueIconv cd = OpenConverter("UTF-16LE", IconvAnsiName().c_str());
  if (!cd) {  // no code page support: keep ASCII, mark the rest
    for (unsigned char c : ansi) out += c < 0x80 ? static_cast<WCHAR>(c) : static_cast<WCHAR>(0xFFFD);
    return out;
  }
  Transcode(
      *cd, ansi,
      [&](std::string_view bytes) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
          out += static_cast<WCHAR>(static_cast<unsigned char>(bytes[i]) |
                                    (static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
      },
      [&] {
        // An invalid or cut-off byte sequence: one replacement character for its first byte.
        out += static_cast<WCHAR>(0xFFFD);
        return std::size_t{1};
      });
  return out;
}

// Characters that code page 949 cannot hold become '?', as the platform's default
// character.
std::string WideToAnsi(WStringView wide) {
  std::string out;
  UniqueIconv cd = OpenConverter(IconvAnsiName().c_str(), "UTF-16LE");
  if (!cd) {
    for (const WCHAR c : wide) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  std::string bytes;
  bytes.reserve(wide.size() * 2);
  for (const WCHAR c : wide) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  Transcode(
      *cd, bytes, [&](std::string_view converted) { out += converted; },
      [&] {
        // A character the code page lacks (or a lone surrogate): the platform's default character.
        out += '?';
        return std::size_t{2};
      });
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
