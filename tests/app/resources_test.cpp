// The program's compiled icon (app/bramble.rc) as the icon loader reads it. The
// dialog template is checked once, as Windows' own dialog manager makes it
// (tests/win32): what Linux makes of it shows in pixels (screenshots_test.cpp).

#include <gtest/gtest.h>

#include "platform/framework/afxwin.h"
#include "platform/window/window.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::TempTerminal;

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
