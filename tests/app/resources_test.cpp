// The program's compiled resources (app/bramble.rc) as the dialog manager and the
// icon loader read them.

#include <gtest/gtest.h>

#include "platform/framework/afxwin.h"
#include "platform/api/dialog_template.h"
#include "platform/window/window.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::TempTerminal;
using platform::DialogTemplate;

constexpr DWORD kButton = 0x50010000;   // child, visible, tab stop, push button
constexpr DWORD kLabel = 0x50020000;    // child, visible, group, left
constexpr DWORD kEdit = 0x50830080;     // child, visible, border, group, tab stop, auto h-scroll
constexpr DWORD kGroupBox = 0x50000007;  // child, visible, group box
constexpr DWORD kCentred = 0x50020001;   // child, visible, group, centred
constexpr WORD kButtonClass = 0x80, kEditClass = 0x81, kStaticClass = 0x82;

struct Control {
  int id;
  WORD windowClass;
  DWORD style;
  std::u16string text;
  std::array<int, 4> rectangle;
  friend bool operator==(const Control&, const Control&) = default;
};

TEST(Resources, Dialog102HoldsTheSixteenControlsInTabOrder) {
  const TempTerminal terminal;
  const HMODULE module = ::GetModuleHandleW(nullptr);
  const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(102), RT_DIALOG);
  ASSERT_NE(found, nullptr);
  const auto* bytes = static_cast<const std::byte*>(::LockResource(::LoadResource(module, found)));
  const std::optional<DialogTemplate> dialog = platform::ParseDialogTemplate({bytes, ::SizeofResource(module, found)});
  ASSERT_TRUE(dialog.has_value());
  EXPECT_EQ(std::tuple(dialog->style, dialog->exStyle), std::tuple(0x900000C8u, 0x80040000u));
  EXPECT_EQ(std::tuple(dialog->x, dialog->y, dialog->cx, dialog->cy), std::tuple(0, 0, 451, 299));
  EXPECT_EQ(std::tuple(dialog->fontPoints, dialog->fontName, dialog->title), std::tuple(9, u"MS Shell Dlg", u""));
  EXPECT_FALSE(dialog->menu.number || !dialog->menu.text.empty());

  const std::vector<Control> expected = {
      {1000, kButtonClass, kButton, u"이미지열기", {349, 8, 84, 19}},
      {1001, kButtonClass, kButton, u"변환", {349, 33, 84, 19}},
      {-1, kStaticClass, kLabel, u"가로:", {357, 161, 20, 8}},
      {-1, kStaticClass, kLabel, u"세로:", {357, 183, 20, 8}},
      {-1, kStaticClass, kLabel, u"비트수:", {357, 204, 15, 8}},
      {1003, kEditClass, kEdit, u"", {379, 158, 47, 17}},
      {1004, kEditClass, kEdit, u"", {379, 200, 47, 17}},
      {1005, kEditClass, kEdit, u"", {379, 179, 47, 17}},
      {-1, kButtonClass, kGroupBox, u"파일 정보", {349, 143, 83, 78}},
      {1012, kStaticClass, kCentred, u"이미지를 열어주세요.\nlogo.bmp 파일(800x480 24bit)을 SD 카드에 넣어주세요.", {32, 12, 292, 27}},
      {-1, kStaticClass, kLabel, u"모델:", {357, 98, 20, 8}},
      {-1, kStaticClass, kLabel, u"버전:", {357, 118, 18, 8}},
      {1006, kEditClass, kEdit, u"", {379, 96, 47, 17}},
      {1008, kEditClass, kEdit, u"", {379, 115, 47, 17}},
      {-1, kButtonClass, kGroupBox, u"시스템", {349, 85, 83, 53}},
      {1002, kButtonClass, kButton, u"로고 초기화", {349, 59, 84, 19}},
  };
  std::vector<Control> compiled;
  for (const auto& item : dialog->items) {
    compiled.push_back({item.id, item.windowClass.number.value_or(0), item.style, item.title.text,
                        {item.x, item.y, item.cx, item.cy}});
  }
  EXPECT_EQ(compiled, expected);
}

TEST(Resources, IconGroup128HasNineImagesThreeSizesAtThreeDepths) {
  const TempTerminal terminal;
  const auto* icon = static_cast<const platform::window::Icon*>(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128)));
  ASSERT_NE(icon, nullptr);
  std::vector<std::tuple<int, int, int>> images;
  for (const auto& image : icon->images) images.emplace_back(image.width, image.height, image.bitCount);
  EXPECT_EQ(images, (std::vector<std::tuple<int, int, int>>{{48, 48, 4}, {32, 32, 4}, {16, 16, 4}, {48, 48, 8}, {32, 32, 8},
                                                             {16, 16, 8}, {48, 48, 24}, {32, 32, 24}, {16, 16, 24}}));
  // A transparent corner and an opaque middle: the mask was applied.
  const auto& large = icon->images.front();
  EXPECT_EQ(std::tuple(large.pixels.front() >> 24, large.pixels[24 * 48 + 24] >> 24), std::tuple(0u, 0xFFu));
}

}  // namespace
