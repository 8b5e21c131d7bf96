#include "platform/text/wide_text.h"

#include <cstdint>

namespace platform {
namespace {

struct FieldFormat {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  int width = 0;
  int precision = -1;
};

void Pad(WString& out, WStringView body, const FieldFormat& field, bool numeric) {
  const auto length = static_cast<int>(body.size());
  if (length >= field.width) {
    out += body;
    return;
  }
  const auto fill = static_cast<std::size_t>(field.width - length);
  if (field.left) {
    out += body;
    out.append(fill, _T(' '));
  } else if (field.zero && numeric) {
    // Zeros go between the sign and the digits.
    const bool signed_ = !body.empty() && (body[0] == _T('-') || body[0] == _T('+') || body[0] == _T(' '));
    const std::size_t sign = signed_ ? 1 : 0;
    out += body.substr(0, sign);
    out.append(fill, _T('0'));
    out += body.substr(sign);
  } else {
    out.append(fill, _T(' '));
    out += body;
  }
}

WString Digits(std::uint64_t value, unsigned base, bool upper, int precision) {
  WString digits;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  while (value != 0) {
    digits.insert(digits.begin(), static_cast<WCHAR>(set[value % base]));
    value /= base;
  }
  const int minimum = precision < 0 ? 1 : precision;
  while (static_cast<int>(digits.size()) < minimum) digits.insert(digits.begin(), _T('0'));
  return digits;
}

}  // namespace

WString FormatWide(const WCHAR* format, va_list args) {
  WString out;
  if (!format) return out;
  for (const WCHAR* p = format; *p; ++p) {
    if (*p != _T('%')) {
      out += *p;
      continue;
    }
    ++p;
    if (*p == _T('%')) {
      out += _T('%');
      continue;
    }
    FieldFormat field;
    for (;; ++p) {
      if (*p == _T('-')) field.left = true;
      else if (*p == _T('0')) field.zero = true;
      else if (*p == _T('+')) field.plus = true;
      else if (*p == _T(' ')) field.space = true;
      else break;
    }
    if (*p == _T('*')) {
      field.width = va_arg(args, int);
      ++p;
    }
    while (*p >= _T('0') && *p <= _T('9')) field.width = field.width * 10 + (*p++ - _T('0'));
    if (*p == _T('.')) {
      ++p;
      field.precision = 0;
      while (*p >= _T('0') && *p <= _T('9')) field.precision = field.precision * 10 + (*p++ - _T('0'));
    }
    int longs = 0;
    while (*p == _T('l') || *p == _T('h')) longs += (*p++ == _T('l')) ? 1 : 0;
    switch (*p) {
      case _T('d'):
      case _T('i'): {
        const long long value = longs >= 2 ? va_arg(args, long long) : longs == 1 ? va_arg(args, long) : va_arg(args, int);
        const bool negative = value < 0;
        const auto magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
        WString body = Digits(magnitude, 10, false, field.precision);
        if (negative) body.insert(body.begin(), _T('-'));
        else if (field.plus) body.insert(body.begin(), _T('+'));
        else if (field.space) body.insert(body.begin(), _T(' '));
        Pad(out, body, field, true);
        break;
      }
      case _T('u'):
      case _T('x'):
      case _T('X'): {
        const unsigned long long value = longs >= 2 ? va_arg(args, unsigned long long)
                                         : longs == 1 ? va_arg(args, unsigned long)
                                                      : va_arg(args, unsigned int);
        const unsigned base = *p == _T('u') ? 10 : 16;
        Pad(out, Digits(value, base, *p == _T('X'), field.precision), field, true);
        break;
      }
      case _T('c'): {
        const auto ch = static_cast<WCHAR>(va_arg(args, int));
        Pad(out, WStringView(&ch, 1), field, false);
        break;
      }
      case _T('s'): {
        const WCHAR* text = va_arg(args, const WCHAR*);
        WStringView body = text ? WStringView(text) : WStringView(_T("(null)"));
        if (field.precision >= 0 && body.size() > static_cast<std::size_t>(field.precision)) {
          body = body.substr(0, static_cast<std::size_t>(field.precision));
        }
        Pad(out, body, field, false);
        break;
      }
      case 0:
        return out;
      default:  // unknown conversion: shown as written
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
