#include "platform/text_stream.h"

#include <sys/types.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace platform {
namespace {

struct TextCookie {
  std::string text;
  std::size_t position = 0;
};

ssize_t ReadCookie(void* cookie, char* buffer, std::size_t size) {
  auto* state = static_cast<TextCookie*>(cookie);
  const std::size_t count = std::min(size, state->text.size() - state->position);
  std::memcpy(buffer, state->text.data() + state->position, count);
  state->position += count;
  return static_cast<ssize_t>(count);
}

int CloseCookie(void* cookie) {
  delete static_cast<TextCookie*>(cookie);
  return 0;
}

}  // namespace

UniqueFile OpenTextFile(const std::filesystem::path& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return nullptr;
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return nullptr;

  auto cookie = std::make_unique<TextCookie>();
  cookie->text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    cookie->text += raw[i];
  }
  cookie_io_functions_t functions{};
  functions.read = ReadCookie;
  functions.close = CloseCookie;
  std::FILE* file = fopencookie(cookie.get(), "r", functions);
  if (!file) return nullptr;
  cookie.release();  // the stream owns it now and frees it on close
  return UniqueFile(file);
}

}  // namespace platform
