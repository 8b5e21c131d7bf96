#pragma once
// The terminal's ANSI code page (949, Korean) through glibc's iconv.

#include <string>
#include <string_view>

namespace platform {

// Bytes that are not valid in code page 949 become U+FFFD; nothing fails.
std::u16string AnsiToWide(std::string_view ansi);
// Characters that code page 949 cannot hold become '?', as the platform's default character.
std::string WideToAnsi(std::u16string_view wide);

}  // namespace platform
