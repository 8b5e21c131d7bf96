#include "platform/cstring.h"

#include <cstdint>

#include "platform/codepage.h"

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

void Pad(std::u16string& out, std::u16string_view body, const FieldFormat& field, bool numeric) {
  const auto length = static_cast<int>(body.size());
  if (length >= field.width) {
    out += body;
    return;
  }
  const auto fill = static_cast<std::size_t>(field.width - length);
  if (field.left) {
    out += body;
    out.append(fill, u' ');
  } else if (field.zero && numeric) {
    // Zeros go between the sign and the digits.
    std::size_t sign = (!body.empty() && (body[0] == u'-' || body[0] == u'+' || body[0] == u' ')) ? 1 : 0;
    out += body.substr(0, sign);
    out.append(fill, u'0');
    out += body.substr(sign);
  } else {
    out.append(fill, u' ');
    out += body;
  }
}

std::u16string Digits(std::uint64_t value, unsigned base, bool upper, int precision) {
  std::u16string digits;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  while (value != 0) {
    digits.insert(digits.begin(), static_cast<char16_t>(set[value % base]));
    value /= base;
  }
  const int minimum = precision < 0 ? 1 : precision;
  while (static_cast<int>(digits.size()) < minimum) digits.insert(digits.begin(), u'0');
  return digits;
}

}  // namespace

std::u16string FormatWide(const char16_t* format, va_list args) {
  std::u16string out;
  if (!format) return out;
  for (const char16_t* p = format; *p; ++p) {
    if (*p != u'%') {
      out += *p;
      continue;
    }
    ++p;
    if (*p == u'%') {
      out += u'%';
      continue;
    }
    FieldFormat field;
    for (;; ++p) {
      if (*p == u'-') field.left = true;
      else if (*p == u'0') field.zero = true;
      else if (*p == u'+') field.plus = true;
      else if (*p == u' ') field.space = true;
      else break;
    }
    if (*p == u'*') {
      field.width = va_arg(args, int);
      ++p;
    }
    while (*p >= u'0' && *p <= u'9') field.width = field.width * 10 + (*p++ - u'0');
    if (*p == u'.') {
      ++p;
      field.precision = 0;
      while (*p >= u'0' && *p <= u'9') field.precision = field.precision * 10 + (*p++ - u'0');
    }
    int longs = 0;
    while (*p == u'l' || *p == u'h') longs += (*p++ == u'l') ? 1 : 0;
    switch (*p) {
      case u'd':
      case u'i': {
        const long long value = longs >= 2 ? va_arg(args, long long) : longs == 1 ? va_arg(args, long) : va_arg(args, int);
        const bool negative = value < 0;
        const auto magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
        std::u16string body = Digits(magnitude, 10, false, field.precision);
        if (negative) body.insert(body.begin(), u'-');
        else if (field.plus) body.insert(body.begin(), u'+');
        else if (field.space) body.insert(body.begin(), u' ');
        Pad(out, body, field, true);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        const unsigned long long value = longs >= 2 ? va_arg(args, unsigned long long)
                                         : longs == 1 ? va_arg(args, unsigned long)
                                                      : va_arg(args, unsigned int);
        const unsigned base = *p == u'u' ? 10 : 16;
        Pad(out, Digits(value, base, *p == u'X', field.precision), field, true);
        break;
      }
      case u'c': {
        const auto ch = static_cast<char16_t>(va_arg(args, int));
        Pad(out, std::u16string_view(&ch, 1), field, false);
        break;
      }
      case u's': {
        const char16_t* text = va_arg(args, const char16_t*);
        std::u16string_view body = text ? std::u16string_view(text) : std::u16string_view(u"(null)");
        if (field.precision >= 0 && body.size() > static_cast<std::size_t>(field.precision)) body = body.substr(0, field.precision);
        Pad(out, body, field, false);
        break;
      }
      case 0:
        return out;
      default:  // unknown conversion: shown as written
        out += u'%';
        out += *p;
        break;
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
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

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    char32_t cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      else cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace platform

CString CString::FromAnsi(std::string_view ansi) { return CString(platform::AnsiToWide(ansi)); }
CString CString::FromUtf8(std::string_view utf8) { return CString(platform::Utf8ToUtf16(utf8)); }
std::string CString::ToAnsi() const { return platform::WideToAnsi(m_text); }
std::string CString::ToUtf8() const { return platform::Utf16ToUtf8(m_text); }

void CString::Format(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::FormatV(const char16_t* format, va_list args) { m_text = platform::FormatWide(format, args); }

CString& CString::TrimRight(char16_t target) {
  while (!m_text.empty() && m_text.back() == target) m_text.pop_back();
  return *this;
}
