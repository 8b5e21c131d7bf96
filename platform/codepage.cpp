#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <functional>
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

}  // namespace

std::u16string AnsiToWide(std::string_view ansi) {
  std::u16string out;
  UniqueIconv cd = OpenConverter("UTF-16LE", kAnsiCodePage);
  if (!cd) {  // no code page support: keep ASCII, mark the rest
    for (unsigned char c : ansi) out += c < 0x80 ? static_cast<char16_t>(c) : u'\uFFFD';
    return out;
  }
  Transcode(
      *cd, ansi,
      [&](std::string_view bytes) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
          out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
      },
      [&] {
        // An invalid or cut-off byte sequence: one replacement character for its first byte.
        out += u'\uFFFD';
        return std::size_t{1};
      });
  return out;
}

std::string WideToAnsi(std::u16string_view wide) {
  std::string out;
  UniqueIconv cd = OpenConverter(kAnsiCodePage, "UTF-16LE");
  if (!cd) {
    for (char16_t c : wide) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  std::string bytes;
  bytes.reserve(wide.size() * 2);
  for (char16_t c : wide) {
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

}  // namespace platform
