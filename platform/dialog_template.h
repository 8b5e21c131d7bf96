#pragma once
// A dialog resource as data: the template and its controls in dialog units, and
// their conversion to the pixels of the terminal's 800 x 480 screen.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/window.h"

// Window and control styles with the platform's values.
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_GROUP = 0x00020000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD DS_MODALFRAME = 0x80;
inline constexpr DWORD DS_SETFONT = 0x40;
inline constexpr DWORD DS_FIXEDSYS = 0x08;
inline constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
inline constexpr DWORD WS_EX_CAPTIONOKBTN = 0x80000000;
inline constexpr DWORD BS_PUSHBUTTON = 0x0;
inline constexpr DWORD BS_GROUPBOX = 0x7;
inline constexpr DWORD SS_LEFT = 0x0;
inline constexpr DWORD SS_CENTER = 0x1;
inline constexpr DWORD ES_AUTOHSCROLL = 0x80;
inline constexpr int IDC_STATIC = -1;

namespace platform {

enum class ControlKind { PushButton, Label, Edit, GroupBox, StaticText };

struct DialogControl {
  int id;
  ControlKind kind;
  DWORD style;
  std::u16string_view text;
  RECT units;  // left, top, width, height in dialog units, as the resource gives them
};

struct DialogTemplate {
  int id;
  std::uint16_t language;
  DWORD style;
  DWORD exStyle;
  RECT units;  // position and size in dialog units
  std::u16string_view caption;
  std::u16string_view fontName;
  int fontPoints;
  std::span<const DialogControl> controls;
};

// The template's 451 x 299 units fill the 800 x 480 screen. Edges convert
// separately, so neighbouring controls keep their gaps.
inline constexpr int kScreenWidth = 800;
inline constexpr int kScreenHeight = 480;
inline constexpr int kTemplateWidthUnits = 451;
inline constexpr int kTemplateHeightUnits = 299;

constexpr LONG UnitsToPixelsX(LONG units) {
  return static_cast<LONG>((2 * units * kScreenWidth + kTemplateWidthUnits) / (2 * kTemplateWidthUnits));
}
constexpr LONG UnitsToPixelsY(LONG units) {
  return static_cast<LONG>((2 * units * kScreenHeight + kTemplateHeightUnits) / (2 * kTemplateHeightUnits));
}
// A control's rectangle in pixels: left, top, right, bottom (exclusive).
constexpr RECT ControlPixels(const RECT& units) {
  return RECT{UnitsToPixelsX(units.left), UnitsToPixelsY(units.top), UnitsToPixelsX(units.left + units.right),
              UnitsToPixelsY(units.top + units.bottom)};
}

}  // namespace platform
