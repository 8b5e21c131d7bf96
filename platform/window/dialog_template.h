#pragma once
// A dialog template as the resource compiler writes it, in the classic (not
// extended) format: the dialog's header, then one item per control, each
// starting on a four-byte boundary.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/api/wide_text.h"

namespace platform::window {

// A name that is either a number or a text, as resources and classes are named.
struct NameOrNumber {
  std::optional<WORD> number;
  WString text;
  friend bool operator==(const NameOrNumber&, const NameOrNumber&) = default;
};

// The predefined control classes, by the numbers the compiler writes for them.
inline constexpr WORD kButtonClass = 0x0080;
inline constexpr WORD kEditClass = 0x0081;
inline constexpr WORD kStaticClass = 0x0082;

struct DialogItem {
  DWORD style;
  DWORD exStyle;
  std::int16_t x, y, cx, cy;  // dialog units
  int id;                     // IDC_STATIC is -1
  NameOrNumber windowClass;
  NameOrNumber title;
};

struct DialogTemplate {
  DWORD style;
  DWORD exStyle;
  std::int16_t x, y, cx, cy;
  NameOrNumber menu;
  NameOrNumber windowClass;
  WString title;
  WORD fontPoints = 0;  // with DS_SETFONT
  WString fontName;
  std::vector<DialogItem> items;
};

// Nothing for an extended template or for bytes that end inside the template.
std::optional<DialogTemplate> ParseDialogTemplate(std::span<const std::byte> bytes);

}  // namespace platform::window
