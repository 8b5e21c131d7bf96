#include "platform/text/wide_text.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <vector>

namespace platform {
namespace {

bool IsDigit(WCHAR c) { return c >= _T('0') && c <= _T('9'); }

// One field by the C library's wide printf, from a conversion spelled for it.
template <typename Value>
void AppendField(WString& out, const std::wstring& conversion, Value value) {
  std::vector<wchar_t> field(256);
  int length = -1;
  while ((length = std::swprintf(field.data(), field.size(), conversion.c_str(), value)) < 0 &&
         field.size() < (1u << 24)) {
    field.resize(field.size() * 4);
  }
  for (int i = 0; i < length; ++i) out += static_cast<WCHAR>(field[static_cast<std::size_t>(i)]);
}

}  // namespace

WString FormatWide(const WCHAR* format, va_list args) {
  WString out;
  for (const WCHAR* p = format; p && *p; ++p) {
    if (*p != _T('%')) {
      out += *p;
      continue;
    }
    if (*++p == _T('%')) {
      out += _T('%');
      continue;
    }
    // The flags, width and precision as written; the sizes only say which argument
    // comes, which reaches the library as the widest of its kind.
    std::wstring conversion = L"%";
    for (; *p == _T('-') || *p == _T('0') || *p == _T('+') || *p == _T(' '); ++p) {
      conversion += static_cast<wchar_t>(*p);
    }
    if (*p == _T('*')) {
      conversion += std::to_wstring(std::max(va_arg(args, int), 0));
      ++p;
    }
    for (; IsDigit(*p); ++p) conversion += static_cast<wchar_t>(*p);
    if (*p == _T('.')) {
      for (conversion += L'.', ++p; IsDigit(*p); ++p) conversion += static_cast<wchar_t>(*p);
    }
    int longs = 0;
    for (; *p == _T('l') || *p == _T('h'); ++p) longs += *p == _T('l') ? 1 : 0;
    switch (*p) {
      case _T('d'):
      case _T('i'):
        AppendField(out, conversion + L"lld",
                    longs >= 2 ? va_arg(args, long long) : longs == 1 ? va_arg(args, long) : va_arg(args, int));
        break;
      case _T('u'):
      case _T('x'):
      case _T('X'):
        AppendField(out, conversion + L"ll" + static_cast<wchar_t>(*p),
                    longs >= 2   ? va_arg(args, unsigned long long)
                    : longs == 1 ? va_arg(args, unsigned long)
                                 : va_arg(args, unsigned int));
        break;
      case _T('c'):
        AppendField(out, conversion + L"lc", static_cast<wint_t>(static_cast<WCHAR>(va_arg(args, int))));
        break;
      case _T('s'): {
        const WCHAR* text = va_arg(args, const WCHAR*);
        const WStringView shown = text ? WStringView(text) : WStringView(_T("(null)"));
        AppendField(out, conversion + L"ls", std::wstring(shown.begin(), shown.end()).c_str());
        break;
      }
      case 0:
        return out;
      default:  // an unknown conversion: its letter is shown after the percent sign
        out += _T('%');
        out += *p;
        break;
    }
  }
  return out;
}

std::string ToUtf8(WStringView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = static_cast<char16_t>(text[i]);
    const bool high = cp >= 0xD800 && cp <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(text[++i]) - 0xDC00u);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

WString FromUtf8(std::string_view text) {
  WString out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    char32_t cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      else cp = (cp << 6) | (next & 0x3F);
    }
    // The shortest form only: an overlong one (C0 80 for U+0000) would smuggle a
    // character past a check of the bytes.
    constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (!valid || (extra > 0 && cp < kShortest[extra]) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += static_cast<WCHAR>(0xFFFD);
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<WCHAR>(0xD800 + (cp >> 10));
      out += static_cast<WCHAR>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<WCHAR>(cp);
    }
  }
  return out;
}

}  // namespace platform
