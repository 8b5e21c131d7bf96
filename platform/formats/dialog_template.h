#pragma once
// A dialog template as the resource compiler writes it, in the classic (not
// extended) format: the dialog's header, then one item per control, each
// starting on a four-byte boundary. And the terminal's rule that puts a
// template's controls on its screen, which every host draws by.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/text/wide_text.h"

namespace platform {

// A name that is either a number or a text, as resources and classes are named.
struct NameOrNumber {
  std::optional<WORD> number;
  WString text;
  friend bool operator==(const NameOrNumber&, const NameOrNumber&) = default;
};

class LittleEndianReader;

// The resource format's two habits, for every reader of compiled resources
// (templates, .res entries, version blocks). Fields start on four-byte
// boundaries:
inline constexpr std::size_t AlignToDword(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }
// Wide text up to its null, which must come before `end`; `at` moves past the null.
std::optional<WString> ReadResourceText(const LittleEndianReader& in, std::size_t& at, std::size_t end);
// A type, name, class or menu: 0xFFFF and a number, a 0 for none, or text up to
// its null; `at` moves past it. Nothing when it does not end before `end`.
std::optional<NameOrNumber> ReadNameOrNumber(const LittleEndianReader& in, std::size_t& at, std::size_t end);

// The predefined control classes, by the numbers the compiler writes for them.
inline constexpr WORD kButtonClass = 0x0080;
inline constexpr WORD kEditClass = 0x0081;

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

// The terminal's screen, which a dialog template fills.
inline constexpr int kScreenWidth = 800;
inline constexpr int kScreenHeight = 480;

// Where `item` lies on the terminal's screen, in pixels of the dialog's client
// area. Each edge converts on its own (x × 800 / cx, y × 480 / cy, rounded), so
// that the template fills the screen and neighbours keep their gaps, whatever
// font the dialog is drawn in.
RECT ItemRectOnScreen(const DialogTemplate& dialog, const DialogItem& item);

}  // namespace platform
