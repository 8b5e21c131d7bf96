#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace platform {
namespace {

constexpr const char* kAnsiCodePage = "CP949";

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

}  // namespace

std::u16string AnsiToWide(std::string_view ansi) {
  std::u16string out;
  UniqueIconv cd = OpenConverter("UTF-16LE", kAnsiCodePage);
  if (!cd) {  // no code page support: keep ASCII, mark the rest
    for (unsigned char c : ansi) out += c < 0x80 ? static_cast<char16_t>(c) : u'\uFFFD';
    return out;
  }
  char* in = const_cast<char*>(ansi.data());
  std::size_t inLeft = ansi.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(*cd, &in, &inLeft, &outPtr, &outLeft);
    const std::size_t produced = sizeof buffer - outLeft;
    for (std::size_t i = 0; i + 1 < produced; i += 2) {
      out += static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) | (static_cast<unsigned char>(buffer[i + 1]) << 8));
    }
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off byte sequence: one replacement character, then go on.
      out += u'\uFFFD';
      ++in;
      --inLeft;
      iconv(*cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

std::string WideToAnsi(std::u16string_view wide) {
  std::string out;
  UniqueIconv cd = OpenConverter(kAnsiCodePage, "UTF-16LE");
  std::string bytes;
  bytes.reserve(wide.size() * 2);
  for (char16_t c : wide) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  if (!cd) {
    for (char16_t c : wide) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  char* in = bytes.data();
  std::size_t inLeft = bytes.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(*cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A character the code page lacks (or a lone surrogate): skip its code unit.
      out += '?';
      const std::size_t skip = inLeft >= 2 ? 2 : inLeft;
      in += skip;
      inLeft -= skip;
      iconv(*cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace platform
